// Text at the Qt edge: the core's GBK bytes to QString and back. The views keep no texts of
// their own; captions come from the layout tables and the presenter, always through here.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace nicops::ui::qt {

QString toQString(std::string_view gbk);
std::string toGbk(const QString& text);

}  // namespace nicops::ui::qt
