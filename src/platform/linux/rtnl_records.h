// rtnetlink in value types: what one RTM_NEWLINK / RTM_NEWADDR / RTM_NEWROUTE message says about
// a link, an IPv4 address or a default route, and the request messages the backend sends. Pure
// functions over message bytes: no socket here, so they are tested on hand-built messages.
#pragma once

#include <linux/netlink.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nicops::platform::linux_host {

// Kernel operstate values (IF_OPER_*).
enum class OperState : std::uint8_t {
    unknown = 0,
    notPresent = 1,
    down = 2,
    lowerLayerDown = 3,
    testing = 4,
    dormant = 5,
    up = 6,
};

struct LinkRecord {
    std::uint32_t index = 0;
    std::string name;                     // kernel name, raw bytes
    std::string alias;                    // IFLA_IFALIAS (UTF-8 as set), empty when unset
    std::string kind;                     // IFLA_INFO_KIND, empty when the link has none
    std::vector<std::uint8_t> hwAddress;  // IFLA_ADDRESS
    std::uint16_t arpType = 0;            // ARPHRD_*
    std::uint32_t flags = 0;              // IFF_*
    OperState operState = OperState::unknown;
    std::optional<bool> carrier;  // IFLA_CARRIER when the kernel reports it
    std::uint32_t mtu = 0;
};

// One IPv4 address of a link. `address` is the dotted value as a number (10.0.0.5 -> 0x0A000005).
struct AddressRecord {
    std::uint32_t index = 0;
    std::uint32_t address = 0;
    std::uint8_t prefixLength = 0;
    std::uint32_t flags = 0;      // IFA_F_*, from IFA_FLAGS when present
    bool finiteLifetime = false;  // valid lifetime below "forever"
};

// One next hop of a default route of the main table.
struct DefaultRoute {
    std::uint32_t outputIndex = 0;
    std::uint32_t gateway = 0;   // 0 for a route without a gateway
    std::uint8_t protocol = 0;   // RTPROT_*
    std::uint32_t priority = 0;  // RTA_PRIORITY, the route's metric
};

inline constexpr std::uint8_t kRouteProtocolDhcp = 16;

// Framing of received bytes: calls onMessage with every message of the `length` bytes at `data`
// (aligned as nlmsghdr), in order, until it returns false. A header claiming fewer bytes than a
// header or more than are left ends the walk, and so do stray bytes after the last message:
// nothing after them can be framed. Returns false when the walk ended that way.
bool forEachMessage(const void* data, std::size_t length,
                    const std::function<bool(const nlmsghdr*)>& onMessage);

// The errno an NLMSG_ERROR message carries, 0 for an ack; EPROTO when the message is too short
// for its error record or the record holds no errno.
int ackErrno(const nlmsghdr* message);

// The parsers read a message's nlmsg_len bytes, which must lie in memory (forEachMessage only
// hands on such messages); attributes are checked against the message's own length.

// nullopt for anything but a well-formed RTM_NEWLINK.
std::optional<LinkRecord> parseLinkMessage(const nlmsghdr* message);
// nullopt for anything but a well-formed AF_INET RTM_NEWADDR.
std::optional<AddressRecord> parseAddressMessage(const nlmsghdr* message);
// Appends the next hops of an IPv4 default unicast route of the main table; other routes add
// nothing.
void parseDefaultRoute(const nlmsghdr* message, std::vector<DefaultRoute>& out);

// Request builders. Each writes one message at `buffer` (which must hold kMaxRequestSize bytes)
// and returns it.
inline constexpr std::size_t kMaxRequestSize = 256;

nlmsghdr* buildLinkDumpRequest(void* buffer, std::uint32_t seq);
// One link by index (answered by one RTM_NEWLINK or ENODEV).
nlmsghdr* buildLinkGetRequest(void* buffer, std::uint32_t seq, std::uint32_t index);
// IPv4 addresses; index 0 dumps every link's.
nlmsghdr* buildAddressDumpRequest(void* buffer, std::uint32_t seq, std::uint32_t index);
nlmsghdr* buildRouteDumpRequest(void* buffer, std::uint32_t seq);
// RTM_NEWADDR (create, exclusive) or RTM_DELADDR of one address with its prefix length; a
// non-zero `broadcast` goes with a new address as its broadcast address.
nlmsghdr* buildAddressChange(void* buffer, std::uint16_t type, std::uint32_t seq,
                             std::uint32_t index, std::uint32_t address, std::uint8_t prefixLength,
                             std::uint32_t broadcast = 0);
// RTM_NEWROUTE (create; it goes before routes of the same metric) or RTM_DELROUTE of a default
// route of the main table through `route.outputIndex`, via `route.gateway` (0: a route on the
// link itself). A deletion matches any protocol.
nlmsghdr* buildDefaultRouteChange(void* buffer, std::uint16_t type, std::uint32_t seq,
                                  const DefaultRoute& route);
// Turns on promote_secondaries of the link, so deleting a primary address promotes the next
// address of its subnet instead of deleting every secondary with it.
nlmsghdr* buildPromoteSecondaries(void* buffer, std::uint32_t seq, std::uint32_t index);

}  // namespace nicops::platform::linux_host
