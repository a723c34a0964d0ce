// The font every window of the program is laid out for, shared by the main window and its
// dialogs so their texts fit the layout tables' pixel sizes alike.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

#include <string_view>

namespace nicops::ui::qt {

// The layouts are made for 9-point text at 96 dpi.
inline constexpr int kWindowFontPointSize = 9;

// `base` at the layouts' size.
QFont windowFont(QFont base);

// The fonts the layout tables name are Windows fonts; they are drawn with an installed CJK font.
// Idempotent.
void installFontSubstitutes();

// Texts for multi-line boxes and message boxes: the core ends lines with CR LF.
QString displayText(std::string_view gbk);

}  // namespace nicops::ui::qt
