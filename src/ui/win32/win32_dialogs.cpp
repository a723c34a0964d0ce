#include "ui/win32/win32_dialogs.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "ui/add_range_presenter.h"
#include "ui/settings_presenter.h"
#include "ui/tcpip_properties_presenter.h"

namespace nicops::ui::win32 {

namespace {

// The placeholder menus' items: kPlaceholderItems[i] has the command kFirstMenuCommand + i.
constexpr UINT kFirstMenuCommand = 3000;

// An edit box opens its own menu on a right-click; a template box hands it to the dialog.
LRESULT CALLBACK forwardContextMenu(HWND box, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR id, DWORD_PTR /*data*/) {
    if (message == WM_CONTEXTMENU) {
        return SendMessageW(GetParent(box), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(box), lParam);
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(box, &forwardContextMenu, id);
    }
    return DefSubclassProc(box, message, wParam, lParam);
}

}  // namespace

Win32AddRangeDialog::Win32AddRangeDialog(DialogHost& host, HWND owner, int dpi)
    : Win32Dialog(kAddDialog, kAddDialogControls, owner, {}, dpi) {
    for (std::size_t i = 0; i < add_names::kPresetButtons.size(); ++i) {
        onClicked(add_names::kPresetButtons[i],
                  [this, n = static_cast<int>(i) + 1] { presenter_->loadPreset(n); });
    }
    onClicked(add_names::kSaveButton, [this] { presenter_->savePreset(); });
    onClicked(add_names::kOkButton, [this] { presenter_->startAdd(); });
    presenter_ = std::make_unique<AddRangePresenter>(host, *this);
}

Win32AddRangeDialog::~Win32AddRangeDialog() = default;

Win32TcpipDialog::Win32TcpipDialog(DialogHost& host, HWND owner, int dpi)
    : Win32Dialog(kTcpipDialog, kTcpipDialogControls, owner, tcpip_names::kOkButton, dpi),
      host_(host) {
    onClicked(tcpip_names::kAutomaticRadio, [this] { presenter_->automaticChosen(); });
    onClicked(tcpip_names::kStaticRadio, [this] { presenter_->staticChosen(); });
    onClicked(tcpip_names::kOkButton, [this] {
        if (busy()) {
            return;
        }
        host_.setBusy(true);
        runAside([this] {
            presenter_->apply();
            host_.setBusy(false);
        });
    });
    presenter_ = std::make_unique<TcpipPropertiesPresenter>(host, *this);
}

Win32TcpipDialog::~Win32TcpipDialog() {
    finishAside();
}

Win32SettingsDialog::Win32SettingsDialog(DialogHost& host, platform::Clipboard& clipboard,
                                         HWND owner, int dpi)
    : Win32Dialog(kSettingsWindow, kSettingsControls, owner, {}, dpi) {
    onClicked(settings_names::kOkButton, [this] { presenter_->applySettings(); });
    UINT id = kFirstMenuCommand;
    for (const PlaceholderItemSpec& item : kPlaceholderItems) {
        HMENU& menu = menus_[std::string(item.menu)];
        if (menu == nullptr) {
            menu = CreatePopupMenu();
            boxMenus_[std::string(item.box)] = menu;
            if (HWND box = control(item.box)) {
                SetWindowSubclass(box, &forwardContextMenu, 1, 0);
            }
        }
        AppendMenuW(menu, MF_STRING, id++, wide(item.caption).c_str());
    }
    presenter_ = std::make_unique<SettingsPresenter>(host.context(), *this, clipboard);
}

Win32SettingsDialog::~Win32SettingsDialog() {
    for (const auto& [name, menu] : menus_) {
        DestroyMenu(menu);
    }
}

HMENU Win32SettingsDialog::placeholderMenu(std::string_view menuName) const {
    auto it = menus_.find(menuName);
    return it == menus_.end() ? nullptr : it->second;
}

UINT Win32SettingsDialog::placeholderCommand(std::string_view menuName,
                                             std::string_view caption) const {
    for (std::size_t i = 0; i < kPlaceholderItems.size(); ++i) {
        if (kPlaceholderItems[i].menu == menuName && kPlaceholderItems[i].caption == caption) {
            return kFirstMenuCommand + static_cast<UINT>(i);
        }
    }
    return 0;
}

void Win32SettingsDialog::contextMenu(std::string_view name, POINT at) {
    auto it = boxMenus_.find(name);
    if (it != boxMenus_.end()) {
        TrackPopupMenu(it->second, TPM_RIGHTBUTTON, at.x, at.y, 0, window(), nullptr);
    }
}

void Win32SettingsDialog::menuCommand(UINT id) {
    if (id >= kFirstMenuCommand && id < kFirstMenuCommand + kPlaceholderItems.size()) {
        const PlaceholderItemSpec& item = kPlaceholderItems[id - kFirstMenuCommand];
        presenter_->insertPlaceholder(item.box, item.text);
    }
}

}  // namespace nicops::ui::win32
