#include "echo/answer.h"

namespace nicops::echo {

namespace {

// Length of the valid UTF-8 sequence starting at `s[i]`, or 0 when it is not one.
std::size_t utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            low = 0xA0;  // no overlong forms
        } else if (lead == 0xED) {
            high = 0x9F;  // no surrogates
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;  // nothing above U+10FFFF
        }
    } else {
        return 0;
    }
    if (i + length > s.size()) {
        return 0;
    }
    if (byte(i + 1) < low || byte(i + 1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string sanitizeValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size();) {
        const std::size_t length = utf8SequenceLength(value, i);
        if (length == 0) {
            ++i;
            continue;
        }
        if (length == 1) {
            const unsigned char c = static_cast<unsigned char>(value[i]);
            if (c >= 0x20 && c != 0x7F && c != '"' && c != '\\') {
                out.push_back(static_cast<char>(c));
            }
        } else if (!(length == 2 && static_cast<unsigned char>(value[i]) == 0xC2 &&
                     static_cast<unsigned char>(value[i + 1]) < 0xA0)) {
            out.append(value.substr(i, length));  // (C1 control characters dropped)
        }
        i += length;
    }
    return out;
}

std::string buildAnswer(std::string_view ip, const Location& location) {
    std::string out = "{\"ip\":\"";
    out += sanitizeValue(ip);
    out += "\",\"country\":\"";
    out += sanitizeValue(location.country);
    out += "\",\"region\":\"";
    out += sanitizeValue(location.region);
    out += "\",\"city\":\"";
    out += sanitizeValue(location.city);
    out += "\",\"as\":\"";
    out += sanitizeValue(location.as);
    out += "\"}";
    return out;
}

}  // namespace nicops::echo
