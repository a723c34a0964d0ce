// What the settings window's presenter asks of a view. The window is modal and lives on the UI
// thread: every call is made there and runs at once. Texts are GBK.
#pragma once

#include <string>
#include <string_view>

namespace nicops::ui {

class SettingsView {
public:
    virtual ~SettingsView() = default;

    // A box's content or a label's or button's caption.
    virtual void setControlText(std::string_view name, const std::string& text) = 0;
    virtual std::string controlText(std::string_view name) const = 0;

    // Gives the box the keyboard focus.
    virtual void focusControl(std::string_view name) = 0;
    // The box pastes what the clipboard holds now at its caret, replacing its selection, as a
    // user's Ctrl+V does.
    virtual void pasteIntoControl(std::string_view name) = 0;

    // Closes the window; nothing of it is used afterwards.
    virtual void closeDialog() = 0;
};

}  // namespace nicops::ui
