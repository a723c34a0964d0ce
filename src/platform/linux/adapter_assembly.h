// Turns the kernel's records of one snapshot (links, IPv4 addresses, default routes) and the
// facts read beside them (driver, wireless, lease) into the adapter records of the IP helper
// interface. Pure: tested without a kernel.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ip_helper.h"
#include "platform/linux/lease_files.h"
#include "platform/linux/rtnl_records.h"

namespace nicops::platform::linux_host {

// What the backend learns about a link outside the three dumps.
struct LinkFacts {
    std::string driver;  // ethtool driver name, empty when unknown
    bool wireless = false;
    std::optional<LeaseRecord> lease;  // the link's current DHCP lease
};

// MIB_IF_TYPE of a link from its ARPHRD type.
std::uint32_t adapterTypeOf(std::uint16_t arpType, bool wireless);
// The dotted mask of a prefix length (0..32; longer lengths give 255.255.255.255).
const std::string& maskOfPrefix(std::uint8_t prefixLength);

// Whether the link obtains its IPv4 configuration from a DHCP client: an address with a
// finite valid lifetime, or a default route installed by DHCP.
bool obtainsAddressByDhcp(const std::vector<AddressRecord>& addresses, std::uint32_t linkIndex,
                          const std::vector<DefaultRoute>& routes);

// The NetConnectionStatus number of a link.
std::int32_t connectionStatusOf(const LinkRecord& link);
// Whether the link counts as up: operstate up, or no operstate of its own but a carrier.
bool linkIsUp(const LinkRecord& link);

// One adapter record. `addresses` are the link's own addresses in kernel order; `routes` are
// all default routes of the main table.
AdapterInfo assembleAdapter(const LinkRecord& link, const std::vector<AddressRecord>& addresses,
                            const std::vector<DefaultRoute>& routes, const LinkFacts& facts);

// The description: the driver name, else the link kind, else the kernel name.
std::string describeLink(const LinkRecord& link, const std::string& driver);

}  // namespace nicops::platform::linux_host
