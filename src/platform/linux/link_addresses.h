// A link's IPv4 addresses and default routes through rtnetlink: a snapshot of them, exactly a
// wanted set put in their place, the snapshot put back, and waiting until an address is there.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/linux/rtnl_records.h"

namespace nicops::platform::linux_host {

class NetlinkSocket;

// What a link has: its addresses and default routes.
struct LinkState {
    std::vector<AddressRecord> addresses;
    std::vector<DefaultRoute> routes;  // the link's default routes
};

// nullopt when the kernel can't be asked.
std::optional<LinkState> readLinkState(NetlinkSocket& socket, std::uint32_t index);
// Gives the link exactly `wanted`, in that order (the first of a subnet is its primary
// address). 0, or the errno of the request that failed.
int replaceAddresses(NetlinkSocket& socket, std::uint32_t index,
                     const std::vector<AddressRecord>& wanted);
// Gives the link exactly the default routes `wanted`. 0, or the errno of the request that
// failed.
int replaceDefaultRoutes(NetlinkSocket& socket, std::uint32_t index,
                         const std::vector<DefaultRoute>& wanted);
// Puts back what the link had: the addresses first, so the old gateways are reachable again.
// 0, or the errno of the request that failed.
int putBack(NetlinkSocket& socket, std::uint32_t index, const LinkState& state);
// Waits (15 s at most) until the link carries the address with its prefix; whether it does.
bool waitForAddress(NetlinkSocket& socket, std::uint32_t index, std::uint32_t address,
                    std::uint8_t prefixLength);

}  // namespace nicops::platform::linux_host
