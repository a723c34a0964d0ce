#include "platform/ipv4_text.h"

namespace nicops::platform {

std::optional<std::uint32_t> parseIpv4(std::string_view text) {
    std::uint32_t value = 0;
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') {
                return std::nullopt;
            }
            ++at;
        }
        const std::size_t start = at;
        unsigned number = 0;
        while (at < text.size() && at - start < 4 && text[at] >= '0' && text[at] <= '9') {
            number = number * 10 + static_cast<unsigned>(text[at] - '0');
            ++at;
        }
        const std::size_t digits = at - start;
        if (digits == 0 || digits > 3 || number > 255 || (digits > 1 && text[start] == '0')) {
            return std::nullopt;
        }
        value = (value << 8) | number;
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string formatIpv4(std::uint32_t address) {
    std::string text;
    text.reserve(15);
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned part = (address >> shift) & 0xFF;
        if (part >= 100) {
            text += static_cast<char>('0' + part / 100);
        }
        if (part >= 10) {
            text += static_cast<char>('0' + part / 10 % 10);
        }
        text += static_cast<char>('0' + part % 10);
        if (shift != 0) {
            text += '.';
        }
    }
    return text;
}

}  // namespace nicops::platform
