// The settings window in Qt: modal, owned by the main window, a QtForm of kSettingsWindow and
// kSettingsControls. A right-click on a template box opens its placeholder menu
// (kPlaceholderItems) instead of the standard one. Its presenter decides everything; the dialog
// forwards the events.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/clipboard.h"
#include "ui/dialog_host.h"
#include "ui/qt/qt_form.h"

class QMenu;

namespace nicops::ui {
class SettingsPresenter;
}

namespace nicops::ui::qt {

class QtSettingsDialog final : public QtForm {
public:
    // Builds the controls and menus, then the presenter, which fills the boxes.
    QtSettingsDialog(DialogHost& host, platform::Clipboard& clipboard, QWidget* parent);
    ~QtSettingsDialog() override;

    SettingsPresenter& presenter() { return *presenter_; }
    // The placeholder menu of that name (settings_names::kCopyFormatMenu, …); nullptr for none.
    QMenu* placeholderMenu(std::string_view menuName) const;
    // Opens the menu of a template box at a point of the box, as a right-click there does.
    void openPlaceholderMenu(std::string_view box, const QPoint& pos);

private:
    void buildMenus();

    std::map<std::string, QMenu*, std::less<>> menus_;     // by menu name
    std::map<std::string, QMenu*, std::less<>> boxMenus_;  // by target box
    std::unique_ptr<SettingsPresenter> presenter_;
};

}  // namespace nicops::ui::qt
