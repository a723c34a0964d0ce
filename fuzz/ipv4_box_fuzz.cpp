// The IPv4 address box's rule on any text: blank, or four numbers 0 to 255 in their plain
// decimal form; a text the box shows reads as itself; blank exactly when the text has fewer
// than three dots or a number above 255.
#include <arpa/inet.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "ipops/ipv4_box.h"

namespace {

bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Whether one of the four parts starts (after its white space) with a number above 255.
bool partTooLarge(std::string_view part) {
    std::size_t i = 0;
    while (i < part.size() && isWhite(part[i])) {
        ++i;
    }
    while (i < part.size() && part[i] == '0') {
        ++i;
    }
    std::size_t digits = 0;
    unsigned value = 0;
    for (; i < part.size() && part[i] >= '0' && part[i] <= '9'; ++i) {
        if (++digits > 3) {
            return true;
        }
        value = value * 10 + static_cast<unsigned>(part[i] - '0');
    }
    return value > 255;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = nicops::fuzz::inputText(data, size);
    const std::string shown = nicops::ipops::ipv4BoxText(text);

    std::string_view trimmed = text;
    while (!trimmed.empty() && isWhite(trimmed.front())) {
        trimmed.remove_prefix(1);
    }
    while (!trimmed.empty() && isWhite(trimmed.back())) {
        trimmed.remove_suffix(1);
    }
    bool blank = false;
    std::size_t start = 0;
    for (int i = 0; i < 4 && !blank; ++i) {
        const std::size_t dot = i < 3 ? trimmed.find('.', start) : trimmed.size();
        if (dot == std::string_view::npos) {
            blank = true;
            break;
        }
        blank = partTooLarge(trimmed.substr(start, dot - start));
        start = dot + 1;
    }
    FUZZ_CHECK(shown.empty() == blank);
    if (shown.empty()) {
        return 0;
    }
    // Four plain numbers: what inet_pton reads as an address, and what the box reads back.
    in_addr address{};
    FUZZ_CHECK(inet_pton(AF_INET, shown.c_str(), &address) == 1);
    char canonical[INET_ADDRSTRLEN] = {};
    FUZZ_CHECK(inet_ntop(AF_INET, &address, canonical, sizeof canonical) != nullptr);
    FUZZ_CHECK(shown == canonical);
    FUZZ_CHECK(nicops::ipops::ipv4BoxText(shown) == shown);
    return 0;
}
