#include "ui/qt/qt_ipv4_box.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include "ipops/ipv4_box.h"
#include "ui/qt/qt_text.h"

namespace nicops::ui::qt {

QtIpv4Box::QtIpv4Box(QWidget* parent) : QLineEdit(parent) {
    static const QRegularExpression kTyped(QStringLiteral("(\\d{0,3}\\.){0,3}\\d{0,3}"));
    setValidator(new QRegularExpressionValidator(kTyped, this));
    setMaxLength(15);
}

void QtIpv4Box::setAddress(std::string_view text) {
    setText(toQString(ipops::ipv4BoxText(text)));
}

std::string QtIpv4Box::address() const {
    return ipops::ipv4BoxText(toGbk(text()));
}

}  // namespace nicops::ui::qt
