// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks), as the range presets store it.
#pragma once

#include <string>
#include <string_view>

namespace nicops::text {

std::string base64Encode(std::string_view bytes);
// Drops ASCII and full-width spaces and CR LF pairs first; an empty text decodes to no bytes.
// Characters outside the alphabet are passed over; the first "=" ends the data.
std::string base64Decode(std::string_view stored);

}  // namespace nicops::text
