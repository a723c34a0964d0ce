// Carries a view's calls over to the UI thread. A call made on the UI thread runs at once; one
// made on any other thread is queued and runs on the UI thread later, and the caller never
// waits. Calls run in the order they were made: a direct call first runs whatever other
// threads queued before it.
#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace nicops::ui::qt {

class UiCallQueue final : public QObject {
public:
    // Must be created on the UI thread; it belongs to `parent` (the window) when one is given.
    explicit UiCallQueue(QObject* parent = nullptr);

    void run(std::function<void()> task);
    bool onUiThread() const { return std::this_thread::get_id() == uiThread_; }

protected:
    bool event(QEvent* e) override;

private:
    void drain();

    const std::thread::id uiThread_;
    int draining_ = 0;  // UI thread only: a drain is running further up the stack

    // The queue is guarded by a standard mutex rather than by the event queue, so what one
    // thread queued is visibly handed to the other (and race checkers can see it).
    std::mutex mutex_;
    std::deque<std::function<void()>> pending_;
    bool wakePosted_ = false;  // a wake-up event is on its way to drain()
};

}  // namespace nicops::ui::qt
