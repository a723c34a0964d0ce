// Code-page conversion on any bytes: what comes out of a conversion to GBK converts to UTF-8 or
// UTF-16 and back unchanged, ASCII passes through, and nothing is read past the input.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "text/codepage.h"

using namespace nicops::text;

namespace {

bool asciiOnly(std::string_view t) {
    for (const char c : t) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = nicops::fuzz::inputText(data, size);

    // The input read as UTF-8 and as GBK.
    const std::string fromUtf8 = utf8ToGbk(input);
    FUZZ_CHECK(utf8ToGbk(gbkToUtf8(fromUtf8)) == fromUtf8);
    FUZZ_CHECK(utf16ToGbk(gbkToUtf16(fromUtf8)) == fromUtf8);
    const std::string asGbk = utf8ToGbk(gbkToUtf8(input));
    FUZZ_CHECK(utf8ToGbk(gbkToUtf8(asGbk)) == asGbk);
    FUZZ_CHECK(utf16ToGbk(gbkToUtf16(input)) == asGbk);
    if (asciiOnly(input)) {
        FUZZ_CHECK(fromUtf8 == input && gbkToUtf8(input) == input);
    }

    // The input as UTF-16 units.
    std::u16string units(input.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(input[2 * i]) |
                                         static_cast<unsigned char>(input[2 * i + 1]) << 8);
    }
    const std::string fromUtf16 = utf16ToGbk(units);
    FUZZ_CHECK(utf16ToGbk(gbkToUtf16(fromUtf16)) == fromUtf16);
    const std::string oem = wideToOem(units);
    FUZZ_CHECK(oem == utf16ToGbk(units.substr(0, units.find(u'\0'))));
    return 0;
}
