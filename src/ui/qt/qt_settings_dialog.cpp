#include "ui/qt/qt_settings_dialog.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "ui/main_presenter.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/window_font.h"
#include "ui/settings_presenter.h"

namespace nicops::ui::qt {

QtSettingsDialog::QtSettingsDialog(MainPresenter& main, platform::Clipboard& clipboard,
                                   QWidget* parent)
    : QDialog(parent) {
    setUpDialog(*this, kSettingsWindow);

    for (const ControlSpec& entry : kSettingsControls) {
        QWidget* widget = buildControl(entry);
        placeControl(*widget, entry);
        controls_.emplace(std::string(entry.name), widget);
    }
    buildMenus();
    presenter_ = std::make_unique<SettingsPresenter>(main.context(), *this, clipboard);
}

QtSettingsDialog::~QtSettingsDialog() = default;

QWidget* QtSettingsDialog::buildControl(const ControlSpec& entry) {
    const QString caption = toQString(entry.caption);
    switch (entry.kind) {
        case ControlKind::lineEdit:
            return new QLineEdit(this);
        case ControlKind::numberBox: {
            auto* box = new QLineEdit(this);
            box->setAlignment(Qt::AlignCenter);
            box->setValidator(
                new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
            return box;
        }
        case ControlKind::pushButton: {
            auto* button = new QPushButton(caption, this);
            button->setAutoDefault(false);  // Enter in a box doesn't store the settings
            if (entry.name == settings_names::kOkButton) {
                connect(button, &QPushButton::clicked, this,
                        [this] { presenter_->applySettings(); });
            }
            return button;
        }
        default:
            break;
    }
    return new QLabel(caption, this);
}

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

QWidget* QtSettingsDialog::control(std::string_view name) const {
    auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : it->second;
}

void QtSettingsDialog::setControlText(std::string_view name, const std::string& text) {
    QWidget* widget = control(name);
    if (auto* box = qobject_cast<QLineEdit*>(widget)) {
        box->setText(toQString(text));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(toQString(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(toQString(text));
    }
}

std::string QtSettingsDialog::controlText(std::string_view name) const {
    QWidget* widget = control(name);
    if (auto* box = qobject_cast<QLineEdit*>(widget)) {
        return toGbk(box->text());
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return toGbk(label->text());
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return toGbk(button->text());
    }
    return {};
}

void QtSettingsDialog::focusControl(std::string_view name) {
    if (QWidget* widget = control(name)) {
        widget->setFocus(Qt::OtherFocusReason);
    }
}

void QtSettingsDialog::pasteIntoControl(std::string_view name) {
    if (auto* box = qobject_cast<QLineEdit*>(control(name))) {
        box->paste();
    }
}

void QtSettingsDialog::closeDialog() {
    close();
}

}  // namespace nicops::ui::qt
