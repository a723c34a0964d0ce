// The font every window of the program is laid out for, shared by the main window and its
// dialogs so their texts fit the layout tables' pixel sizes alike.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

#include <string_view>

#include "ui/layout_tables.h"

class QDialog;
class QWidget;

namespace nicops::ui::qt {

// The layouts are made for 9-point text at 96 dpi.
inline constexpr int kWindowFontPointSize = 9;

// `base` at the layouts' size.
QFont windowFont(QFont base);

// The fonts the layout tables name are Windows fonts; they are drawn with an installed CJK font.
// Idempotent.
void installFontSubstitutes();

// A modal dialog as its window row of the layout tables gives it: the windows' font, title, fixed
// size, position.
void setUpDialog(QDialog& dialog, const WindowSpec& window);

// A control where its table row says: object name, geometry, visibility.
void placeControl(QWidget& widget, const ControlSpec& control);

// Texts for multi-line boxes and message boxes: the core ends lines with CR LF.
QString displayText(std::string_view gbk);

}  // namespace nicops::ui::qt
