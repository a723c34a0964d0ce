#include "ipops/ipv4_box.h"

#include <array>
#include <cstdint>

namespace nicops::ipops {

namespace {

bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trimWhite(std::string_view s) {
    while (!s.empty() && isWhite(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isWhite(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// The leading decimal number of a part after its white space is dropped; 0 when it has none,
// -1 when it is above 255.
int partValue(std::string_view part) {
    while (!part.empty() && isWhite(part.front())) {
        part.remove_prefix(1);
    }
    std::int64_t value = 0;
    for (char c : part) {
        if (c < '0' || c > '9') {
            break;
        }
        value = value * 10 + (c - '0');
        if (value > 255) {
            return -1;
        }
    }
    return static_cast<int>(value);
}

}  // namespace

std::string ipv4BoxText(std::string_view text) {
    text = trimWhite(text);
    std::array<std::string_view, 4> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t dot = text.find('.', start);
        if (dot == std::string_view::npos) {
            return {};
        }
        parts[i] = text.substr(start, dot - start);
        start = dot + 1;
    }
    parts[3] = text.substr(start);
    std::string out;
    for (std::size_t i = 0; i < 4; ++i) {
        const int value = partValue(parts[i]);
        if (value < 0) {
            return {};
        }
        if (i != 0) {
            out += '.';
        }
        out += std::to_string(value);
    }
    return out;
}

}  // namespace nicops::ipops
