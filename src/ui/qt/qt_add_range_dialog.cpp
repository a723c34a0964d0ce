#include "ui/qt/qt_add_range_dialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "ui/add_range_presenter.h"
#include "ui/main_presenter.h"
#include "ui/qt/qt_ipv4_box.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/window_font.h"

namespace nicops::ui::qt {

QtAddRangeDialog::QtAddRangeDialog(MainPresenter& main, QWidget* parent) : QDialog(parent) {
    setUpDialog(*this, kAddDialog);

    for (const ControlSpec& entry : kAddDialogControls) {
        QWidget* widget = buildControl(entry);
        placeControl(*widget, entry);
        controls_.emplace(std::string(entry.name), Control{entry.kind, widget});
    }
    presenter_ = std::make_unique<AddRangePresenter>(main.context(), main, *this);
}

QtAddRangeDialog::~QtAddRangeDialog() = default;

QWidget* QtAddRangeDialog::buildControl(const ControlSpec& entry) {
    const QString caption = toQString(entry.caption);
    switch (entry.kind) {
        case ControlKind::rangeBox: {
            auto* box = new QPlainTextEdit(this);
            box->setLineWrapMode(QPlainTextEdit::NoWrap);
            box->setTabChangesFocus(true);
            return box;
        }
        case ControlKind::ipv4Box:
            return new QtIpv4Box(this);
        case ControlKind::checkBox: {
            auto* box = new QCheckBox(caption, this);
            box->setChecked(entry.checked);
            return box;
        }
        case ControlKind::pushButton: {
            auto* button = new QPushButton(caption, this);
            button->setAutoDefault(false);  // Enter in the range box is a new line
            const std::string_view name = entry.name;
            for (std::size_t i = 0; i < add_names::kPresetButtons.size(); ++i) {
                if (name == add_names::kPresetButtons[i]) {
                    connect(button, &QPushButton::clicked, this,
                            [this, n = static_cast<int>(i) + 1] { presenter_->loadPreset(n); });
                }
            }
            if (name == add_names::kSaveButton) {
                connect(button, &QPushButton::clicked, this, [this] { presenter_->savePreset(); });
            } else if (name == add_names::kOkButton) {
                connect(button, &QPushButton::clicked, this, [this] { presenter_->startAdd(); });
            }
            return button;
        }
        case ControlKind::label:
        case ControlKind::linkLabel:
        case ControlKind::listView:
        case ControlKind::comboBox:
        case ControlKind::detailsBox:
        case ControlKind::logBox:
        case ControlKind::lineEdit:
        case ControlKind::numberBox:
        case ControlKind::radioButton:
        case ControlKind::groupBox:
            break;
    }
    return new QLabel(caption, this);
}

const QtAddRangeDialog::Control* QtAddRangeDialog::control(std::string_view name) const {
    auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : &it->second;
}

void QtAddRangeDialog::setControlText(std::string_view name, const std::string& text) {
    const Control* target = control(name);
    if (target == nullptr) {
        return;
    }
    switch (target->kind) {
        case ControlKind::rangeBox:
            static_cast<QPlainTextEdit*>(target->widget)->setPlainText(displayText(text));
            break;
        case ControlKind::ipv4Box:
            static_cast<QtIpv4Box*>(target->widget)->setAddress(text);
            break;
        case ControlKind::pushButton:
        case ControlKind::checkBox:
            static_cast<QAbstractButton*>(target->widget)->setText(toQString(text));
            break;
        default:
            if (auto* label = qobject_cast<QLabel*>(target->widget)) {
                label->setText(toQString(text));
            }
            break;
    }
}

void QtAddRangeDialog::setControlVisible(std::string_view name, bool visible) {
    if (const Control* target = control(name)) {
        target->widget->setVisible(visible);
    }
}

void QtAddRangeDialog::setControlEnabled(std::string_view name, bool enabled) {
    if (const Control* target = control(name)) {
        target->widget->setEnabled(enabled);
    }
}

void QtAddRangeDialog::setControlChecked(std::string_view name, bool checked) {
    if (const Control* target = control(name)) {
        if (auto* button = qobject_cast<QAbstractButton*>(target->widget)) {
            button->setChecked(checked);
        }
    }
}

std::string QtAddRangeDialog::controlText(std::string_view name) const {
    const Control* target = control(name);
    if (target == nullptr) {
        return {};
    }
    switch (target->kind) {
        case ControlKind::rangeBox: {
            QString text = static_cast<QPlainTextEdit*>(target->widget)->toPlainText();
            text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
            return toGbk(text);
        }
        case ControlKind::ipv4Box:
            return static_cast<QtIpv4Box*>(target->widget)->address();
        default:
            if (auto* button = qobject_cast<QAbstractButton*>(target->widget)) {
                return toGbk(button->text());
            }
            if (auto* label = qobject_cast<QLabel*>(target->widget)) {
                return toGbk(label->text());
            }
            return {};
    }
}

bool QtAddRangeDialog::controlChecked(std::string_view name) const {
    const Control* target = control(name);
    auto* button = target == nullptr ? nullptr : qobject_cast<QAbstractButton*>(target->widget);
    return button != nullptr && button->isChecked();
}

void QtAddRangeDialog::closeDialog() {
    close();
}

}  // namespace nicops::ui::qt
