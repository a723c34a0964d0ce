#include "ui/qt/qt_form.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include <utility>

#include "ui/qt/qt_ipv4_box.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/window_font.h"

namespace nicops::ui::qt {
namespace {

bool isButton(ControlKind kind) {
    return kind == ControlKind::pushButton || kind == ControlKind::checkBox ||
           kind == ControlKind::radioButton;
}

bool isCheckable(ControlKind kind) {
    return kind == ControlKind::checkBox || kind == ControlKind::radioButton;
}

}  // namespace

QtForm::QtForm(const WindowSpec& window, std::span<const ControlSpec> controls, QWidget* parent)
    : QDialog(parent) {
    installFontSubstitutes();
    setFont(windowFont(font()));  // a window doesn't take its owner's font
    setWindowTitle(toQString(window.title));
    setFixedSize(window.width, window.height);
    move(window.left, window.top);
    setModal(true);

    QLabel* pendingBuddy = nullptr;
    for (const ControlSpec& entry : controls) {
        QWidget* group = control(entry.parent);  // listed before its controls
        const Control built = buildControl(entry, group != nullptr ? group : this);
        QWidget* widget = built.widget;
        widget->setObjectName(toQString(entry.name));
        widget->setGeometry(entry.left, entry.top, entry.width, entry.height);
        widget->setVisible(!entry.hidden);
        controls_.emplace(std::string(entry.name), built);
        if (pendingBuddy != nullptr) {
            pendingBuddy->setBuddy(widget);
        }
        pendingBuddy = built.kind == ControlKind::label ? static_cast<QLabel*>(widget) : nullptr;
    }
}

QtForm::~QtForm() = default;

QtForm::Control QtForm::buildControl(const ControlSpec& entry, QWidget* parent) {
    const QString caption = toQString(entry.caption);
    switch (entry.kind) {
        case ControlKind::rangeBox: {
            auto* box = new QPlainTextEdit(parent);
            box->setLineWrapMode(QPlainTextEdit::NoWrap);
            box->setTabChangesFocus(true);
            return {entry.kind, box};
        }
        case ControlKind::ipv4Box:
            return {entry.kind, new QtIpv4Box(parent)};
        case ControlKind::lineEdit:
            return {entry.kind, new QLineEdit(parent)};
        case ControlKind::numberBox: {
            auto* box = new QLineEdit(parent);
            box->setAlignment(Qt::AlignCenter);
            box->setValidator(
                new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
            return {entry.kind, box};
        }
        case ControlKind::pushButton:
            return {entry.kind, new QPushButton(caption, parent)};
        case ControlKind::checkBox: {
            auto* box = new QCheckBox(caption, parent);
            box->setChecked(entry.checked);
            return {entry.kind, box};
        }
        case ControlKind::radioButton: {
            auto* button = new QRadioButton(caption, parent);
            button->setChecked(entry.checked);
            return {entry.kind, button};
        }
        case ControlKind::groupBox:
            return {entry.kind, new QGroupBox(caption, parent)};
        case ControlKind::label:
        case ControlKind::linkLabel:
        case ControlKind::listView:
        case ControlKind::comboBox:
        case ControlKind::detailsBox:
        case ControlKind::logBox:
            break;  // the main window's; a label stands in for them
    }
    return {ControlKind::label, new QLabel(caption, parent)};
}

const QtForm::Control* QtForm::find(std::string_view name) const {
    auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : &it->second;
}

QWidget* QtForm::control(std::string_view name) const {
    const Control* target = find(name);
    return target == nullptr ? nullptr : target->widget;
}

void QtForm::onClicked(std::string_view name, std::function<void()> event) {
    const Control* target = find(name);
    if (target != nullptr && isButton(target->kind)) {
        connect(static_cast<QAbstractButton*>(target->widget), &QAbstractButton::clicked, this,
                std::move(event));
    }
}

void QtForm::keepEnterInBoxes() {
    for (const auto& [name, target] : controls_) {
        if (target.kind == ControlKind::pushButton) {
            static_cast<QPushButton*>(target.widget)->setAutoDefault(false);
        }
    }
}

void QtForm::setControlText(std::string_view name, const std::string& text) {
    const Control* target = find(name);
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
        case ControlKind::lineEdit:
        case ControlKind::numberBox:
            static_cast<QLineEdit*>(target->widget)->setText(toQString(text));
            break;
        case ControlKind::pushButton:
        case ControlKind::checkBox:
        case ControlKind::radioButton:
            static_cast<QAbstractButton*>(target->widget)->setText(toQString(text));
            break;
        case ControlKind::groupBox:
            static_cast<QGroupBox*>(target->widget)->setTitle(toQString(text));
            break;
        default:
            static_cast<QLabel*>(target->widget)->setText(toQString(text));
            break;
    }
}

std::string QtForm::controlText(std::string_view name) const {
    const Control* target = find(name);
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
        case ControlKind::lineEdit:
        case ControlKind::numberBox:
            return toGbk(static_cast<QLineEdit*>(target->widget)->text());
        case ControlKind::pushButton:
        case ControlKind::checkBox:
        case ControlKind::radioButton:
            return toGbk(static_cast<QAbstractButton*>(target->widget)->text());
        case ControlKind::groupBox:
            return toGbk(static_cast<QGroupBox*>(target->widget)->title());
        default:
            return toGbk(static_cast<QLabel*>(target->widget)->text());
    }
}

void QtForm::setControlChecked(std::string_view name, bool checked) {
    const Control* target = find(name);
    if (target != nullptr && isCheckable(target->kind)) {
        static_cast<QAbstractButton*>(target->widget)->setChecked(checked);
    }
}

bool QtForm::controlChecked(std::string_view name) const {
    const Control* target = find(name);
    return target != nullptr && isCheckable(target->kind) &&
           static_cast<QAbstractButton*>(target->widget)->isChecked();
}

void QtForm::setControlEnabled(std::string_view name, bool enabled) {
    if (QWidget* widget = control(name)) {
        widget->setEnabled(enabled);
    }
}

void QtForm::setControlVisible(std::string_view name, bool visible) {
    if (QWidget* widget = control(name)) {
        widget->setVisible(visible);
    }
}

void QtForm::focusControl(std::string_view name) {
    if (QWidget* widget = control(name)) {
        widget->setFocus(Qt::OtherFocusReason);
    }
}

void QtForm::pasteIntoControl(std::string_view name) {
    const Control* target = find(name);
    if (target == nullptr) {
        return;
    }
    switch (target->kind) {
        case ControlKind::rangeBox:
            static_cast<QPlainTextEdit*>(target->widget)->paste();
            break;
        case ControlKind::ipv4Box:
        case ControlKind::lineEdit:
        case ControlKind::numberBox:
            static_cast<QLineEdit*>(target->widget)->paste();
            break;
        default:
            break;
    }
}

void QtForm::closeDialog() {
    close();
}

}  // namespace nicops::ui::qt
