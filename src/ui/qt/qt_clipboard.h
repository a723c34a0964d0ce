// The desktop's clipboard through Qt. Qt's clipboard belongs to the UI thread: a text set there
// is set at once; a worker hands the text to the UI thread and waits until it has been set there,
// so that it learns the outcome. The text counts as handed over when the clipboard, read back,
// then holds it.
#pragma once

#include <memory>

#include "platform/clipboard.h"

namespace nicops::ui::qt {

class UiCallQueue;

class QtClipboard final : public platform::Clipboard {
public:
    // Must be created on the UI thread.
    QtClipboard();
    ~QtClipboard() override;
    QtClipboard(const QtClipboard&) = delete;
    QtClipboard& operator=(const QtClipboard&) = delete;

    // False without a GUI application (a process without one has no desktop clipboard) or when
    // the clipboard does not hold the text afterwards. Called on a worker, it waits until the UI
    // thread's event loop has run the set: a UI thread that waits for that worker meanwhile
    // would never get to it.
    bool setText(const std::string& gbk) override;

private:
    std::unique_ptr<UiCallQueue> uiCalls_;
};

}  // namespace nicops::ui::qt
