// Code-page conversion: the one place where text crosses between the core's GBK bytes and the
// encodings of the edges (UTF-8 for files, terminals and HTTP bodies, UTF-16 for GUIs and
// platform names). A character that GBK can't hold becomes "?".
#pragma once

#include <string>
#include <string_view>

namespace nicops::text {

std::string utf8ToGbk(std::string_view utf8);
std::string gbkToUtf8(std::string_view gbk);
std::u16string gbkToUtf16(std::string_view gbk);
std::string utf16ToGbk(std::u16string_view utf16);

// A platform name in UTF-16 up to its first NUL, in GBK.
std::string wideToOem(std::u16string_view wideText);

// GBK text in the given iconv encoding name (the terminal's codeset); UTF-8 when the name is
// empty or plain ASCII.
std::string gbkToEncoding(std::string_view gbk, const std::string& encoding);

}  // namespace nicops::text
