#include "ui/qt/ui_call_queue.h"

#include <QCoreApplication>
#include <QEvent>

namespace nicops::ui::qt {
namespace {

QEvent::Type wakeEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

}  // namespace

UiCallQueue::UiCallQueue(QObject* parent) : QObject(parent), uiThread_(std::this_thread::get_id()) {
    wakeEventType();  // registered here, on the UI thread, before any worker asks for it
}

void UiCallQueue::run(std::function<void()> task) {
    if (onUiThread()) {
        if (draining_ == 0) {
            drain();  // calls queued by other threads were made earlier
        }
        task();
        return;
    }
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(task));
        wake = !wakePosted_;
        wakePosted_ = true;
    }
    if (wake) {
        QCoreApplication::postEvent(this, new QEvent(wakeEventType()));
    }
}

bool UiCallQueue::event(QEvent* e) {
    if (e->type() == wakeEventType()) {
        {
            std::lock_guard lock(mutex_);
            wakePosted_ = false;  // this is the wake-up; a call queued from now on needs another
        }
        drain();
        return true;
    }
    return QObject::event(e);
}

void UiCallQueue::drain() {
    struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(d) { ++depth; }
        ~Depth() { --depth; }
        Depth(const Depth&) = delete;
        Depth& operator=(const Depth&) = delete;
    } depth(draining_);
    for (;;) {
        std::function<void()> task;
        bool wake = false;
        {
            std::lock_guard lock(mutex_);
            if (pending_.empty()) {
                return;
            }
            task = std::move(pending_.front());
            pending_.pop_front();
            // A task may open a modal box; the box's event loop must still deliver the calls
            // behind it, so they keep a wake-up of their own.
            wake = !pending_.empty() && !wakePosted_;
            wakePosted_ = wakePosted_ || wake;
        }
        if (wake) {
            QCoreApplication::postEvent(this, new QEvent(wakeEventType()));
        }
        task();
    }
}

}  // namespace nicops::ui::qt
