// The settings window in Qt: modal, owned by the main window, built from kSettingsWindow and
// kSettingsControls (the controls' object names are the table's names). A right-click on a
// template box opens its placeholder menu (kPlaceholderItems) instead of the standard one. Its
// presenter decides everything; the dialog forwards the events and draws what it is told.
#pragma once

#include <QDialog>

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/clipboard.h"
#include "ui/layout_tables.h"
#include "ui/settings_view.h"

class QMenu;

namespace nicops::ui {
class MainPresenter;
class SettingsPresenter;
}  // namespace nicops::ui

namespace nicops::ui::qt {

class QtSettingsDialog final : public QDialog, public SettingsView {
public:
    // Builds the controls and menus, then the presenter, which fills the boxes.
    QtSettingsDialog(MainPresenter& main, platform::Clipboard& clipboard, QWidget* parent);
    ~QtSettingsDialog() override;

    SettingsPresenter& presenter() { return *presenter_; }
    // The placeholder menu of that name (settings_names::kCopyFormatMenu, …); nullptr for none.
    QMenu* placeholderMenu(std::string_view menuName) const;
    // Opens the menu of a template box at a point of the box, as a right-click there does.
    void openPlaceholderMenu(std::string_view box, const QPoint& pos);

    // SettingsView
    void setControlText(std::string_view name, const std::string& text) override;
    std::string controlText(std::string_view name) const override;
    void focusControl(std::string_view name) override;
    void pasteIntoControl(std::string_view name) override;
    void closeDialog() override;

private:
    QWidget* buildControl(const ControlSpec& entry);
    void buildMenus();
    QWidget* control(std::string_view name) const;

    std::map<std::string, QWidget*, std::less<>> controls_;
    std::map<std::string, QMenu*, std::less<>> menus_;     // by menu name
    std::map<std::string, QMenu*, std::less<>> boxMenus_;  // by target box
    std::unique_ptr<SettingsPresenter> presenter_;
};

}  // namespace nicops::ui::qt
