// View calls carried over to the window's UI thread: a call made on a worker is queued (under a
// mutex) and a message posted to the window, so the worker never waits; a call made on the UI
// thread first runs what was queued before it, then itself, so calls keep their order.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

namespace nicops::ui::win32 {

// The message the window answers by calling runPending().
inline constexpr UINT kRunPendingMessage = WM_APP + 1;

class Win32CallQueue {
public:
    // Calls are posted to `window`, whose thread is the UI thread.
    explicit Win32CallQueue(HWND window);

    void run(std::function<void()> call);
    // Runs every queued call, oldest first (on the UI thread).
    void runPending();

private:
    HWND window_;
    DWORD uiThread_;
    std::mutex mutex_;
    std::deque<std::function<void()>> pending_;
};

}  // namespace nicops::ui::win32
