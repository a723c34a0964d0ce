// The add dialog's presets: any range text saved under a preset's key loads back as itself (up
// to its first zero byte) through the settings file; Base64 decoding of any stored text takes
// the alphabet's characters before the first "=" and nothing else, a lone sextet at the end
// giving no byte.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "ipops/range_presets.h"
#include "text/base64.h"

namespace {

bool inAlphabet(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = nicops::fuzz::inputText(data, size);
    const int n = nicops::fuzz::takeByte(input) % nicops::ipops::kPresetCount + 1;
    const std::string text(input);

    const std::string encoded = nicops::text::base64Encode(text);
    FUZZ_CHECK(nicops::text::base64Decode(encoded) == text);

    // Decoding the input as stored text.
    std::string sextets;
    for (const char c : input) {
        if (c == '=') {
            break;
        }
        if (inAlphabet(c)) {
            sextets.push_back(c);
        }
    }
    const std::string decoded = nicops::text::base64Decode(input);
    constexpr std::size_t kTailBytes[] = {0, 0, 1, 2};
    FUZZ_CHECK(decoded.size() == sextets.size() / 4 * 3 + kTailBytes[sextets.size() % 4]);
    FUZZ_CHECK(decoded == nicops::text::base64Decode(sextets));
    if (sextets.size() % 4 == 0) {
        FUZZ_CHECK(nicops::text::base64Encode(decoded) == sextets);
    }

    // Saved and loaded through the settings file.
    static const std::string path = nicops::fuzz::scratchFolder() + "/settings.ini";
    const std::string section = "nicops";
    FUZZ_CHECK(nicops::ipops::savePresetText(path, section, nicops::ipops::presetKey(n), text));
    FUZZ_CHECK(nicops::ipops::loadPresetText(path, section, n) == text.substr(0, text.find('\0')));
    return 0;
}
