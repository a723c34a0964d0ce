#include "platform/persisted_store.h"

namespace nicops::platform {

std::string encodeMultiString(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            bytes.push_back('\0');
            ++i;
        } else {
            bytes.push_back(text[i]);
        }
    }
    bytes.append(2, '\0');
    return bytes;
}

std::string decodeMultiString(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() + 8);
    for (char c : bytes) {
        if (c == '\0') {
            text += "\r\n";
        } else {
            text.push_back(c);
        }
    }
    return text;
}

}  // namespace nicops::platform
