#include "ui/qt/qt_tcpip_dialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "ui/main_presenter.h"
#include "ui/qt/qt_ipv4_box.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/window_font.h"
#include "ui/tcpip_properties_presenter.h"

namespace nicops::ui::qt {

QtTcpipDialog::QtTcpipDialog(MainPresenter& main, QWidget* parent) : QDialog(parent) {
    setUpDialog(*this, kTcpipDialog);

    QLabel* pendingBuddy = nullptr;  // a label's mnemonic goes to the control after it
    for (const ControlSpec& entry : kTcpipDialogControls) {
        QWidget* group = control(entry.parent);  // listed before its controls
        QWidget* container = group != nullptr ? group : this;
        QWidget* widget = buildControl(entry, container);
        placeControl(*widget, entry);
        controls_.emplace(std::string(entry.name), widget);
        if (pendingBuddy != nullptr) {
            pendingBuddy->setBuddy(widget);
        }
        pendingBuddy = qobject_cast<QLabel*>(widget);
    }
    presenter_ = std::make_unique<TcpipPropertiesPresenter>(main.context(), main, *this);
}

QtTcpipDialog::~QtTcpipDialog() = default;

QWidget* QtTcpipDialog::buildControl(const ControlSpec& entry, QWidget* parent) {
    const QString caption = toQString(entry.caption);
    switch (entry.kind) {
        case ControlKind::ipv4Box:
            return new QtIpv4Box(parent);
        case ControlKind::groupBox:
            return new QGroupBox(caption, parent);
        case ControlKind::radioButton: {
            auto* button = new QRadioButton(caption, parent);
            button->setChecked(entry.checked);
            const bool automatic = entry.name == tcpip_names::kAutomaticRadio;
            connect(button, &QRadioButton::clicked, this, [this, automatic] {
                if (automatic) {
                    presenter_->automaticChosen();
                } else {
                    presenter_->staticChosen();
                }
            });
            return button;
        }
        case ControlKind::pushButton: {
            auto* button = new QPushButton(caption, parent);
            if (entry.name == tcpip_names::kOkButton) {
                connect(button, &QPushButton::clicked, this, [this] { presenter_->apply(); });
            }
            return button;
        }
        default:
            break;
    }
    return new QLabel(caption, parent);
}

QWidget* QtTcpipDialog::control(std::string_view name) const {
    auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : it->second;
}

void QtTcpipDialog::setControlText(std::string_view name, const std::string& text) {
    QWidget* widget = control(name);
    if (auto* box = dynamic_cast<QtIpv4Box*>(widget)) {
        box->setAddress(text);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(toQString(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(toQString(text));
    }
}

void QtTcpipDialog::setControlEnabled(std::string_view name, bool enabled) {
    if (QWidget* widget = control(name)) {
        widget->setEnabled(enabled);
    }
}

void QtTcpipDialog::setControlChecked(std::string_view name, bool checked) {
    if (auto* button = qobject_cast<QAbstractButton*>(control(name))) {
        button->setChecked(checked);
    }
}

std::string QtTcpipDialog::controlText(std::string_view name) const {
    QWidget* widget = control(name);
    if (auto* box = dynamic_cast<QtIpv4Box*>(widget)) {
        return box->address();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return toGbk(label->text());
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return toGbk(button->text());
    }
    return {};
}

bool QtTcpipDialog::controlChecked(std::string_view name) const {
    auto* button = qobject_cast<QAbstractButton*>(control(name));
    return button != nullptr && button->isChecked();
}

void QtTcpipDialog::closeDialog() {
    close();
}

}  // namespace nicops::ui::qt
