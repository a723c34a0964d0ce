#include "platform/linux/adapter_assembly.h"

#include <net/if.h>
#include <net/if_arp.h>

#include <algorithm>
#include <array>

#include "platform/ipv4_text.h"
#include "text/codepage.h"

namespace nicops::platform::linux_host {

namespace {

constexpr std::uint32_t kTypeOther = 1;
constexpr std::uint32_t kTypeEthernet = 6;
constexpr std::uint32_t kTypePpp = 23;
constexpr std::uint32_t kTypeLoopback = 24;
constexpr std::uint32_t kTypeSlip = 28;
constexpr std::uint32_t kTypeWireless = 71;

const std::string kHostMask = "255.255.255.255";

// `next` of element `position` (0-based) of a list of `size`: 0 on the last element, else the
// 1-based position of its successor.
std::uint32_t nextOf(std::size_t position, std::size_t size) {
    return position + 1 == size ? 0 : static_cast<std::uint32_t>(position + 2);
}

void linkList(std::vector<IpAddrString>& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        list[i].next = nextOf(i, list.size());
    }
}

IpAddrString serverEntry(std::uint32_t address) {
    return IpAddrString{formatIpv4(address), kHostMask, address, 0};
}

std::int32_t clampToInt32(std::int64_t seconds) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(seconds, 0, INT32_MAX));
}

}  // namespace

std::uint32_t adapterTypeOf(std::uint16_t arpType, bool wireless) {
    switch (arpType) {
        case ARPHRD_ETHER:
            return wireless ? kTypeWireless : kTypeEthernet;
        case ARPHRD_PPP:
            return kTypePpp;
        case ARPHRD_LOOPBACK:
            return kTypeLoopback;
        case ARPHRD_SLIP:
            return kTypeSlip;
        default:
            return kTypeOther;
    }
}

const std::string& maskOfPrefix(std::uint8_t prefixLength) {
    static const std::array<std::string, 33> masks = [] {
        std::array<std::string, 33> out;
        for (std::uint32_t length = 0; length <= 32; ++length) {
            const std::uint32_t mask = length == 0 ? 0 : ~std::uint32_t{0} << (32 - length);
            out[length] = formatIpv4(mask);
        }
        return out;
    }();
    return masks[std::min<std::size_t>(prefixLength, 32)];
}

bool obtainsAddressByDhcp(const std::vector<AddressRecord>& addresses, std::uint32_t linkIndex,
                          const std::vector<DefaultRoute>& routes) {
    for (const auto& address : addresses) {
        if (address.index == linkIndex && address.finiteLifetime) {
            return true;
        }
    }
    return std::any_of(routes.begin(), routes.end(), [&](const DefaultRoute& route) {
        return route.outputIndex == linkIndex && route.protocol == kRouteProtocolDhcp;
    });
}

bool linkIsUp(const LinkRecord& link) {
    if ((link.flags & IFF_UP) == 0) {
        return false;
    }
    if (link.operState == OperState::up) {
        return true;
    }
    // Links whose driver keeps no operstate (dummy, tun, some tunnels) report "unknown" while
    // they pass traffic; their carrier tells.
    return link.operState == OperState::unknown && link.carrier.value_or(true);
}

std::int32_t connectionStatusOf(const LinkRecord& link) {
    if ((link.flags & IFF_UP) == 0) {
        return kStatusDisconnected;
    }
    if (linkIsUp(link)) {
        return kStatusConnected;
    }
    switch (link.operState) {
        case OperState::notPresent:
            return kStatusHardwareNotPresent;
        case OperState::dormant:
            // Carrier but waiting for the supplicant: 802.1X or a WPA handshake in progress.
            return kStatusAuthenticating;
        default:
            return kStatusMediaDisconnected;
    }
}

std::string describeLink(const LinkRecord& link, const std::string& driver) {
    if (!driver.empty()) {
        return driver;
    }
    if (!link.kind.empty()) {
        return link.kind;
    }
    return link.name;
}

AdapterInfo assembleAdapter(const LinkRecord& link, const std::vector<AddressRecord>& addresses,
                            const std::vector<DefaultRoute>& routes, const LinkFacts& facts) {
    AdapterInfo adapter;
    adapter.index = link.index;
    adapter.adapterName = text::utf8ToGbk(link.name);
    adapter.description = text::utf8ToGbk(describeLink(link, facts.driver));
    // A link without hardware address of its own (tunnels report all zeros) has none to show.
    if (std::any_of(link.hwAddress.begin(), link.hwAddress.end(),
                    [](std::uint8_t byte) { return byte != 0; })) {
        adapter.hwAddress = link.hwAddress;
    }
    adapter.type = adapterTypeOf(link.arpType, facts.wireless);
    adapter.dhcpEnabled = obtainsAddressByDhcp(addresses, link.index, routes) ? 1 : 0;

    adapter.ipAddresses.reserve(addresses.size());
    for (const auto& address : addresses) {
        adapter.ipAddresses.push_back(IpAddrString{
            formatIpv4(address.address), maskOfPrefix(address.prefixLength), address.address, 0});
    }
    linkList(adapter.ipAddresses);

    for (const auto& route : routes) {
        const bool listed =
            std::any_of(adapter.gateways.begin(), adapter.gateways.end(),
                        [&](const IpAddrString& entry) { return entry.context == route.gateway; });
        if (route.outputIndex == link.index && route.gateway != 0 && !listed) {
            adapter.gateways.push_back(serverEntry(route.gateway));
        }
    }
    linkList(adapter.gateways);

    if (facts.lease) {
        if (facts.lease->server != 0) {
            adapter.dhcpServer.push_back(serverEntry(facts.lease->server));
        }
        adapter.leaseObtained = clampToInt32(facts.lease->obtained);
        adapter.leaseExpires = clampToInt32(facts.lease->expires);
        // The first NetBIOS name server is the primary WINS server, the second the secondary.
        const auto& wins = facts.lease->winsServers;
        if (!wins.empty()) {
            adapter.haveWins = 1;
            adapter.primaryWins.push_back(serverEntry(wins[0]));
        }
        if (wins.size() >= 2) {
            adapter.secondaryWins.push_back(serverEntry(wins[1]));
        }
    }
    linkList(adapter.dhcpServer);
    return adapter;
}

}  // namespace nicops::platform::linux_host
