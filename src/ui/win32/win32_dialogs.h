// The three dialogs of the main window with the native controls of Windows, each a Win32Dialog
// of its layout tables, the twins of the Qt ones: the presenter decides everything, the dialog
// forwards its buttons (and the settings window its placeholder menus).
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/clipboard.h"
#include "ui/dialog_host.h"
#include "ui/win32/win32_dialog.h"

namespace nicops::ui {
class AddRangePresenter;
class SettingsPresenter;
class TcpipPropertiesPresenter;
}  // namespace nicops::ui

namespace nicops::ui::win32 {

// The add dialog: Return in the range box is a new line and presses no button.
class Win32AddRangeDialog final : public Win32Dialog {
public:
    // Builds the controls, then the presenter, which proposes the mask.
    Win32AddRangeDialog(DialogHost& host, HWND owner, int dpi = 0);
    ~Win32AddRangeDialog() override;

    AddRangePresenter& presenter() { return *presenter_; }

private:
    std::unique_ptr<AddRangePresenter> presenter_;
};

// The TCP/IPv4 properties dialog: Return presses "确定". The switch runs aside, so the windows
// keep painting while it waits for a lease; the host is busy meanwhile.
class Win32TcpipDialog final : public Win32Dialog {
public:
    // Builds the controls, then the presenter, which loads the adapter's properties.
    Win32TcpipDialog(DialogHost& host, HWND owner, int dpi = 0);
    ~Win32TcpipDialog() override;

    TcpipPropertiesPresenter& presenter() { return *presenter_; }

private:
    DialogHost& host_;
    std::unique_ptr<TcpipPropertiesPresenter> presenter_;
};

// The settings window: a right-click on a template box opens its placeholder menu
// (kPlaceholderItems) instead of the box's own; Return in a box stores nothing.
class Win32SettingsDialog final : public Win32Dialog {
public:
    // Builds the controls and menus, then the presenter, which fills the boxes.
    Win32SettingsDialog(DialogHost& host, platform::Clipboard& clipboard, HWND owner, int dpi = 0);
    ~Win32SettingsDialog() override;

    SettingsPresenter& presenter() { return *presenter_; }
    // The placeholder menu of that name (settings_names::kCopyFormatMenu, …); nullptr for none.
    HMENU placeholderMenu(std::string_view menuName) const;
    // The command of a placeholder menu's item, as choosing it sends; 0 for none.
    UINT placeholderCommand(std::string_view menuName, std::string_view caption) const;
    // What choosing the menu item with this command does.
    void menuCommand(UINT id) override;

private:
    void contextMenu(std::string_view name, POINT at) override;

    std::map<std::string, HMENU, std::less<>> menus_;     // by menu name
    std::map<std::string, HMENU, std::less<>> boxMenus_;  // by target box
    std::unique_ptr<SettingsPresenter> presenter_;
};

}  // namespace nicops::ui::win32
