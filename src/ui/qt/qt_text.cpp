#include "ui/qt/qt_text.h"

#include <algorithm>

#include "text/codepage.h"

namespace nicops::ui::qt {

QString toQString(std::string_view gbk) {
    // Most cells of the IP list are plain ASCII (numbers, addresses); they skip iconv.
    const bool ascii = std::all_of(gbk.begin(), gbk.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        return QString::fromLatin1(gbk.data(), static_cast<qsizetype>(gbk.size()));
    }
    return QString::fromStdU16String(text::gbkToUtf16(gbk));
}

std::string toGbk(const QString& text) {
    return text::utf16ToGbk(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                static_cast<std::size_t>(text.size())));
}

}  // namespace nicops::ui::qt
