// A main-window view that records what the presenter tells it. Tasks posted from other threads
// wait in a queue until the test pumps them on its own thread, as a UI thread would run them.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/joined_workers.h"
#include "text/text_functions.h"
#include "ui/main_presenter.h"
#include "ui/main_view.h"

namespace nicops::ui {

class RecordingView final : public MainView {
public:
    void setWindowCaption(const std::string& caption) override {
        std::lock_guard lock(mutex_);
        caption_ = caption;
    }
    void setControlText(std::string_view name, const std::string& text) override {
        std::lock_guard lock(mutex_);
        texts_[std::string(name)] = text;
    }
    void setControlEnabled(std::string_view name, bool enabled) override {
        std::lock_guard lock(mutex_);
        enabled_[std::string(name)] = enabled;
        toggles_.push_back(std::string(name) + (enabled ? "+" : "-"));
    }
    void setControlVisible(std::string_view name, bool visible) override {
        std::lock_guard lock(mutex_);
        visible_[std::string(name)] = visible;
    }
    void setMenuItemEnabled(std::string_view caption, bool enabled) override {
        setControlEnabled(caption, enabled);
    }
    void setComboItems(const std::vector<ComboItem>& items, int selected) override {
        std::lock_guard lock(mutex_);
        combo_ = items;
        comboSelected_ = selected;
    }
    void setComboSelection(int selected) override {
        std::lock_guard lock(mutex_);
        comboSelected_ = selected;
    }
    void setListRows(const std::vector<IpListRow>& rows) override {
        std::lock_guard lock(mutex_);
        rows_ = rows;
        ++rowSets_;
    }
    void appendLogText(const std::string& lines) override {
        std::lock_guard lock(mutex_);
        logText_ += lines;
    }
    void showMessage(const std::string& text, const std::string& title, MessageIcon) override {
        std::lock_guard lock(mutex_);
        messages_.push_back(title + "|" + text);
    }
    void openUrl(const std::string& address) override {
        std::lock_guard lock(mutex_);
        urls_.push_back(address);
    }
    void post(std::function<void()> task) override {
        if (std::this_thread::get_id() == uiThread_) {
            task();
            return;
        }
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(task));
    }

    // Runs what workers posted, as the UI thread's event loop would.
    void pump() {
        for (;;) {
            std::vector<std::function<void()>> tasks;
            {
                std::lock_guard lock(mutex_);
                tasks.swap(queue_);
            }
            if (tasks.empty()) {
                return;
            }
            for (auto& task : tasks) {
                task();
            }
        }
    }

    // The log's messages without their time stamps.
    std::vector<std::string> logMessages() const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> messages;
        for (const std::string& line : text::splitText(logText_, "\r\n")) {
            messages.push_back(line.substr(10));  // "HH:MM:SS" + the two-byte colon
        }
        return messages;
    }

    template <typename T>
    T get(T RecordingView::*member) const {
        std::lock_guard lock(mutex_);
        return this->*member;
    }

    std::string caption_;
    std::map<std::string, std::string> texts_;
    std::map<std::string, bool> enabled_;
    std::map<std::string, bool> visible_;
    std::vector<std::string> toggles_;
    std::vector<ComboItem> combo_;
    int comboSelected_ = -2;
    std::vector<IpListRow> rows_;
    int rowSets_ = 0;
    std::string logText_;
    std::vector<std::string> messages_;
    std::vector<std::string> urls_;

private:
    mutable std::mutex mutex_;
    std::vector<std::function<void()>> queue_;
    std::thread::id uiThread_ = std::this_thread::get_id();
};

using nicops::testing::JoinedWorkers;

}  // namespace nicops::ui
