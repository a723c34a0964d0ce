// The plan of a change to one static address: what setStaticAddressing was asked for, checked
// and as numbers, before anything is touched. Pure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/adapter_configuration.h"

namespace nicops::platform::linux_host {

struct StaticPlan {
    std::uint32_t address = 0;
    std::uint8_t prefixLength = 0;
    std::uint32_t gateway = 0;  // 0: no default route
    std::vector<std::string> dnsServers;
    std::string shownAddress;  // "A/MASK" as typed, for messages
};

// The plan of the values; nullopt with `problem` naming the first value that is not valid: a
// host address (not 0.0.0.0, multicast, broadcast or reserved), a contiguous mask of at least one
// bit, a host gateway (none when empty) and DNS servers other than 0.0.0.0 (an empty one left
// out).
std::optional<StaticPlan> planOf(const StaticAddressing& values, std::string& problem);

}  // namespace nicops::platform::linux_host
