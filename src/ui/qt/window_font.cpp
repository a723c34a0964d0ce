#include "ui/qt/window_font.h"

#include <QDialog>
#include <QWidget>

#include "ui/layout_tables.h"
#include "ui/qt/qt_text.h"

namespace nicops::ui::qt {

QFont windowFont(QFont base) {
    base.setPointSize(kWindowFontPointSize);
    return base;
}

void installFontSubstitutes() {
    for (const ControlSpec& entry : kMainControls) {
        if (!entry.fontFamily.empty()) {
            QFont::insertSubstitutions(
                toQString(entry.fontFamily),
                {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                 QStringLiteral("Droid Sans Fallback")});
        }
    }
}

QString displayText(std::string_view gbk) {
    QString text = toQString(gbk);
    text.remove(QLatin1Char('\r'));
    return text;
}

void setUpDialog(QDialog& dialog, const WindowSpec& window) {
    installFontSubstitutes();
    dialog.setFont(windowFont(dialog.font()));  // a window doesn't take its owner's font
    dialog.setWindowTitle(toQString(window.title));
    dialog.setFixedSize(window.width, window.height);
    dialog.move(window.left, window.top);
    dialog.setModal(true);
}

void placeControl(QWidget& widget, const ControlSpec& control) {
    widget.setObjectName(toQString(control.name));
    widget.setGeometry(control.left, control.top, control.width, control.height);
    widget.setVisible(!control.hidden);
}

}  // namespace nicops::ui::qt
