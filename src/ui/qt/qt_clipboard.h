// The desktop's clipboard through Qt. Qt's clipboard belongs to the UI thread: a text set there
// is set at once; a worker hands the text to the UI thread and waits until it has been set there,
// so it learns the outcome. The outcome is read back: the text counts as handed over when the
// clipboard then holds it.
#pragma once

#include "platform/clipboard.h"

namespace nicops::ui::qt {

class QtClipboard final : public platform::Clipboard {
public:
    // False without a GUI application (no desktop clipboard) or when the clipboard does not hold
    // the text afterwards. Called on a worker, it blocks until the UI thread's event loop has run
    // the set: a UI thread that waits for that worker would never get to it.
    bool setText(const std::string& gbk) override;
};

}  // namespace nicops::ui::qt
