#include "ui/win32/win32_call_queue.h"

#include <utility>

namespace nicops::ui::win32 {

Win32CallQueue::Win32CallQueue(HWND window)
    : window_(window), uiThread_(GetWindowThreadProcessId(window, nullptr)) {}

void Win32CallQueue::run(std::function<void()> call) {
    if (GetCurrentThreadId() == uiThread_) {
        runPending();
        call();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(call));
    }
    PostMessageW(window_, kRunPendingMessage, 0, 0);
}

void Win32CallQueue::runPending() {
    for (;;) {
        std::function<void()> next;
        {
            std::lock_guard lock(mutex_);
            if (pending_.empty()) {
                return;
            }
            next = std::move(pending_.front());
            pending_.pop_front();
        }
        next();
    }
}

}  // namespace nicops::ui::win32
