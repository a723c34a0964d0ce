// Views that record what their presenters tell them: the main window's, where tasks posted from
// other threads wait in a queue until the test pumps them on its own thread, as a UI thread would
// run them; and a dialog's.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "ipops/ipv4_box.h"
#include "support/joined_workers.h"
#include "text/text_functions.h"
#include "ui/form_view.h"
#include "ui/layout_tables.h"
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

// A dialog that starts as its layout table says, every control enabled. Its IPv4 address boxes
// take texts as the real box does; a name the table hasn't is a test failure. Enabling, focus,
// pastes (each with what `clipboard` holds at that moment) and the close go to `events` in order,
// as "NAME+", "NAME-", "focus NAME", "paste NAME TEXT" and "closed".
class RecordingForm final : public FormView {
public:
    explicit RecordingForm(std::span<const ControlSpec> table,
                           const std::string* clipboard = nullptr)
        : clipboard_(clipboard) {
        for (const ControlSpec& entry : table) {
            controls_[std::string(entry.name)] = {entry.kind, std::string(entry.caption),
                                                  !entry.hidden, true, entry.checked};
        }
    }

    void setControlText(std::string_view name, const std::string& text) override {
        Control& target = control(name);
        target.text = target.kind == ControlKind::ipv4Box ? ipops::ipv4BoxText(text) : text;
    }
    std::string controlText(std::string_view name) const override { return text(name); }
    void setControlChecked(std::string_view name, bool checked) override {
        control(name).checked = checked;
    }
    bool controlChecked(std::string_view name) const override { return isChecked(name); }
    void setControlEnabled(std::string_view name, bool enabled) override {
        control(name).enabled = enabled;
        events.push_back(std::string(name) + (enabled ? "+" : "-"));
    }
    void setControlVisible(std::string_view name, bool visible) override {
        control(name).visible = visible;
    }
    void focusControl(std::string_view name) override {
        control(name);
        events.push_back("focus " + std::string(name));
    }
    void pasteIntoControl(std::string_view name) override {
        control(name);
        events.push_back("paste " + std::string(name) + " " + (clipboard_ ? *clipboard_ : ""));
    }
    void closeDialog() override { events.push_back("closed"); }

    // What the user typed into a box, or what it holds; an IPv4 box as the user typed it.
    std::string& text(std::string_view name) { return control(name).text; }
    std::string text(std::string_view name) const { return control(name).text; }
    bool isChecked(std::string_view name) const { return control(name).checked; }
    bool isEnabled(std::string_view name) const { return control(name).enabled; }
    bool isVisible(std::string_view name) const { return control(name).visible; }
    int closes() const {
        return static_cast<int>(std::count(events.begin(), events.end(), "closed"));
    }

    std::vector<std::string> events;

private:
    struct Control {
        ControlKind kind = ControlKind::label;
        std::string text;
        bool visible = true, enabled = true, checked = false;
    };

    Control& control(std::string_view name) {
        auto it = controls_.find(name);
        if (it == controls_.end()) {
            ADD_FAILURE() << "the dialog has no control " << name;
            return unknown_;
        }
        return it->second;
    }
    const Control& control(std::string_view name) const {
        return const_cast<RecordingForm*>(this)->control(name);
    }

    std::map<std::string, Control, std::less<>> controls_;
    const std::string* clipboard_;
    Control unknown_;
};

using nicops::testing::JoinedWorkers;

}  // namespace nicops::ui
