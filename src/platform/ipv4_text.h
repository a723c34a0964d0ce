// IPv4 text as the platform layer reads and writes it: a dotted quad of four decimal numbers
// 0..255 with no leading zeros and nothing around it (what inet_pton accepts), as a number in
// host order (10.0.0.5 -> 0x0A000005). No name is ever resolved. The address boxes' looser rule
// (leading zeros, blanks) lives in ipops::ipv4BoxText, which hands this parser its result.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nicops::platform {

std::optional<std::uint32_t> parseIpv4(std::string_view text);
std::string formatIpv4(std::uint32_t address);

}  // namespace nicops::platform
