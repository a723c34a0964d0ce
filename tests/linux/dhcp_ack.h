// A DHCPACK as dhcpcd stores it in its lease file, for the tests of the lease readers.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace nicops::platform::linux_host {

// A DHCPACK as dhcpcd stores it: the BOOTP header, the magic cookie and options.
inline std::string dhcpAck(std::initializer_list<std::uint8_t> options) {
    std::string message(236, '\0');
    message[0] = 2;  // BOOTREPLY
    const std::uint8_t yiaddr[4] = {192, 168, 50, 20};
    message.replace(16, 4, reinterpret_cast<const char*>(yiaddr), 4);
    message += std::string("\x63\x82\x53\x63", 4);
    for (auto byte : options) {
        message += static_cast<char>(byte);
    }
    return message;
}

}  // namespace nicops::platform::linux_host
