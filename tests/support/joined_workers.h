// Worker threads that a test joins before it looks at the result, instead of the programs'
// detached ones.
#pragma once

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "ui/main_presenter.h"

namespace nicops::testing {

class JoinedWorkers {
public:
    ~JoinedWorkers() { join(); }

    ui::WorkerStarter starter() {
        return [this](std::function<void()> task) {
            std::lock_guard lock(mutex_);
            threads_.emplace_back(std::move(task));
            ++started_;
        };
    }

    int started() {
        std::lock_guard lock(mutex_);
        return started_;
    }

    // Joins every worker, also those that workers started. Workers never wait for the UI
    // thread, so joining without pumping can't hang — except a worker of the Qt clipboard
    // export, which waits for the UI thread's set: pump until the export has logged, then join.
    void join() {
        for (;;) {
            std::vector<std::thread> threads;
            {
                std::lock_guard lock(mutex_);
                threads.swap(threads_);
            }
            if (threads.empty()) {
                return;
            }
            for (auto& t : threads) {
                t.join();
            }
        }
    }

private:
    std::mutex mutex_;
    std::vector<std::thread> threads_;
    int started_ = 0;
};

}  // namespace nicops::testing
