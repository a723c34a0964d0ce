#include "ui/qt/qt_settings_dialog.h"

#include <QAction>
#include <QMenu>

#include "ui/qt/qt_text.h"
#include "ui/settings_presenter.h"

namespace nicops::ui::qt {

QtSettingsDialog::QtSettingsDialog(DialogHost& host, platform::Clipboard& clipboard,
                                   QWidget* parent)
    : QtForm(kSettingsWindow, kSettingsControls, parent) {
    keepEnterInBoxes();  // Enter in a box doesn't store the settings
    onClicked(settings_names::kOkButton, [this] { presenter_->applySettings(); });
    buildMenus();
    presenter_ = std::make_unique<SettingsPresenter>(host.context(), *this, clipboard);
}

QtSettingsDialog::~QtSettingsDialog() = default;

void QtSettingsDialog::buildMenus() {
    for (const PlaceholderItemSpec& item : kPlaceholderItems) {
        QMenu*& menu = menus_[std::string(item.menu)];
        if (menu == nullptr) {
            menu = new QMenu(this);
            menu->setObjectName(toQString(item.menu));
            boxMenus_[std::string(item.box)] = menu;
            if (QWidget* box = control(item.box)) {
                box->setContextMenuPolicy(Qt::CustomContextMenu);
                connect(
                    box, &QWidget::customContextMenuRequested, this,
                    [this, name = item.box](const QPoint& pos) { openPlaceholderMenu(name, pos); });
            }
        }
        QAction* action = menu->addAction(toQString(item.caption));
        action->setObjectName(toQString(item.caption));
        connect(action, &QAction::triggered, this, [this, box = item.box, text = item.text] {
            presenter_->insertPlaceholder(box, text);
        });
    }
}

QMenu* QtSettingsDialog::placeholderMenu(std::string_view menuName) const {
    auto it = menus_.find(menuName);
    return it == menus_.end() ? nullptr : it->second;
}

void QtSettingsDialog::openPlaceholderMenu(std::string_view box, const QPoint& pos) {
    auto it = boxMenus_.find(box);
    QWidget* widget = control(box);
    if (it != boxMenus_.end() && widget != nullptr) {
        it->second->popup(widget->mapToGlobal(pos));
    }
}

}  // namespace nicops::ui::qt
