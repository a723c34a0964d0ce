// The desktop's clipboard through Qt. Qt's clipboard belongs to the UI thread: a text set there
// is set at once; one set on a worker is handed to the UI thread, which sets it a moment later
// (the worker doesn't wait). Qt reports no failure, so setText answers true.
#pragma once

#include "platform/clipboard.h"

namespace nicops::ui::qt {

class QtClipboard final : public platform::Clipboard {
public:
    bool setText(const std::string& gbk) override;
};

}  // namespace nicops::ui::qt
