#include "text/base64.h"

#include <array>

namespace nicops::text {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr signed char kOutside = -1;
constexpr signed char kPadding = -2;

// The alphabet is ASCII; spelling it as numbers keeps it independent of the literal encoding.
constexpr std::array<signed char, 256> makeDecodeTable() {
    std::array<signed char, 256> table{};
    table.fill(kOutside);
    for (int i = 0; i < 26; ++i) {
        table[0x41 + i] = static_cast<signed char>(i);       // A..Z
        table[0x61 + i] = static_cast<signed char>(26 + i);  // a..z
    }
    for (int i = 0; i < 10; ++i)
        table[0x30 + i] = static_cast<signed char>(52 + i);  // 0..9
    table[0x2B] = 62;                                        // +
    table[0x2F] = 63;                                        // /
    table[0x3D] = kPadding;                                  // =
    return table;
}

constexpr std::array<signed char, 256> kDecode = makeDecodeTable();

}  // namespace

std::string base64Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    auto at = [&](std::size_t k) {
        return static_cast<unsigned>(static_cast<unsigned char>(bytes[k]));
    };
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned group = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
        out.push_back(kAlphabet[group >> 18 & 0x3F]);
        out.push_back(kAlphabet[group >> 12 & 0x3F]);
        out.push_back(kAlphabet[group >> 6 & 0x3F]);
        out.push_back(kAlphabet[group & 0x3F]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest == 1) {
        const unsigned group = at(i) << 16;
        out.push_back(kAlphabet[group >> 18 & 0x3F]);
        out.push_back(kAlphabet[group >> 12 & 0x3F]);
        out.append("==");
    } else if (rest == 2) {
        const unsigned group = at(i) << 16 | at(i + 1) << 8;
        out.push_back(kAlphabet[group >> 18 & 0x3F]);
        out.push_back(kAlphabet[group >> 12 & 0x3F]);
        out.push_back(kAlphabet[group >> 6 & 0x3F]);
        out.push_back('=');
    }
    return out;
}

// Spaces (ASCII and full-width) and CR LF pairs are outside the alphabet, so passing over every
// such byte drops them too. The first "=" ends the data; a lone sextet left at the end is dropped.
std::string base64Decode(std::string_view stored) {
    std::string out;
    out.reserve(stored.size() / 4 * 3 + 3);
    unsigned group = 0;
    int sextets = 0;
    for (const char c : stored) {
        const signed char value = kDecode[static_cast<unsigned char>(c)];
        if (value == kPadding)
            break;
        if (value == kOutside)
            continue;
        group = group << 6 | static_cast<unsigned>(value);
        if (++sextets == 4) {
            out.push_back(static_cast<char>(group >> 16 & 0xFF));
            out.push_back(static_cast<char>(group >> 8 & 0xFF));
            out.push_back(static_cast<char>(group & 0xFF));
            group = 0;
            sextets = 0;
        }
    }
    if (sextets == 2) {
        out.push_back(static_cast<char>(group >> 4 & 0xFF));
    } else if (sextets == 3) {
        out.push_back(static_cast<char>(group >> 10 & 0xFF));
        out.push_back(static_cast<char>(group >> 2 & 0xFF));
    }
    return out;
}

}  // namespace nicops::text
