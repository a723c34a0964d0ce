#include "ui/qt/window_font.h"

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

}  // namespace nicops::ui::qt
