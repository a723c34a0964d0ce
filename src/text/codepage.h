// Code-page conversion: the one place where text crosses between the core's GBK bytes and the
// encodings of the edges (UTF-8 for files, terminals and HTTP bodies, UTF-16 for GUIs and
// platform names). A character that GBK can't hold becomes "?" (the whole character, also when it
// takes two UTF-16 units or several UTF-8 bytes), and so do malformed input sequences, invalid GBK
// bytes included. ASCII passes through unchanged.
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
// empty, plain ASCII or a codeset iconv does not know.
std::string gbkToEncoding(std::string_view gbk, const std::string& encoding);

// Text in the given iconv encoding name (the terminal's codeset, for command-line arguments) in
// GBK; read as UTF-8 when the name is empty, plain ASCII or a codeset iconv does not know.
std::string encodingToGbk(std::string_view text, const std::string& encoding);

// The codeset of the current locale (call after setlocale), for gbkToEncoding; the C locale's
// "ANSI_X3.4-1968" and an empty name give "UTF-8". On Windows the console's output code page
// ("CP936"), the ANSI code page without a console, "UTF-8" for code page 65001.
std::string terminalEncoding();

}  // namespace nicops::text
