#include "platform/linux/rtnl_records.h"

#include <arpa/inet.h>
#include <libmnl/libmnl.h>
#include <linux/if_addr.h>
#include <linux/if_link.h>
#include <linux/ip.h>
#include <linux/rtnetlink.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace nicops::platform::linux_host {

namespace {

// The valid lifetime of an address that never expires.
constexpr std::uint32_t kForever = 0xFFFFFFFF;

// Netlink lengths rounded up to the 4-byte alignment, in size_t (the header macros compute in
// unsigned int).
constexpr std::size_t aligned(std::size_t length) {
    return (length + 3) & ~std::size_t{3};
}

// Calls f(attribute) for every attribute of the `length` bytes at `start`, in order, each one
// wholly inside those bytes; an attribute whose length is too short or runs past the end ends
// the walk.
template <typename F>
void forEachAttribute(const void* start, std::size_t length, F&& f) {
    auto* at = static_cast<const char*>(start);
    while (length >= sizeof(nlattr)) {
        auto* attribute = reinterpret_cast<const nlattr*>(at);
        const std::size_t size = attribute->nla_len;
        if (size < sizeof(nlattr) || size > length) {
            return;
        }
        f(attribute);
        const std::size_t step = aligned(size);
        if (step >= length) {
            return;
        }
        at += step;
        length -= step;
    }
}

// The attributes after a message's fixed header of `fixedSize` bytes; false when the message
// is too short to hold that header.
bool attributesOf(const nlmsghdr* message, std::size_t fixedSize, const void** start,
                  std::size_t* length) {
    const std::size_t head = MNL_NLMSG_HDRLEN + MNL_ALIGN(fixedSize);
    if (message->nlmsg_len < MNL_NLMSG_HDRLEN + fixedSize) {
        return false;
    }
    *start = reinterpret_cast<const char*>(message) + head;
    *length = message->nlmsg_len > head ? message->nlmsg_len - head : 0;
    return true;
}

std::string stringOf(const nlattr* attribute) {
    auto* text = static_cast<const char*>(mnl_attr_get_payload(attribute));
    return std::string(text, strnlen(text, mnl_attr_get_payload_len(attribute)));
}

std::optional<std::uint32_t> u32Of(const nlattr* attribute) {
    if (mnl_attr_get_payload_len(attribute) < sizeof(std::uint32_t)) {
        return std::nullopt;
    }
    std::uint32_t value;
    std::memcpy(&value, mnl_attr_get_payload(attribute), sizeof value);
    return value;
}

std::optional<std::uint8_t> u8Of(const nlattr* attribute) {
    if (mnl_attr_get_payload_len(attribute) < 1) {
        return std::nullopt;
    }
    return *static_cast<const std::uint8_t*>(mnl_attr_get_payload(attribute));
}

// An IPv4 address attribute, converted from network order to the dotted value as a number.
std::optional<std::uint32_t> ipv4Of(const nlattr* attribute) {
    auto raw = u32Of(attribute);
    if (!raw) {
        return std::nullopt;
    }
    return ntohl(*raw);
}

template <typename Fixed>
Fixed fixedHeaderOf(const nlmsghdr* message) {
    Fixed fixed;
    std::memcpy(&fixed, mnl_nlmsg_get_payload(message), sizeof fixed);
    return fixed;
}

nlmsghdr* startMessage(void* buffer, std::uint16_t type, std::uint16_t flags, std::uint32_t seq) {
    std::memset(buffer, 0, kMaxRequestSize);
    nlmsghdr* message = mnl_nlmsg_put_header(buffer);
    message->nlmsg_type = type;
    message->nlmsg_flags = flags;
    message->nlmsg_seq = seq;
    return message;
}

}  // namespace

bool forEachMessage(const void* data, std::size_t length,
                    const std::function<bool(const nlmsghdr*)>& onMessage) {
    auto* at = static_cast<const char*>(data);
    while (length > 0) {
        if (length < sizeof(nlmsghdr)) {
            return false;
        }
        auto* message = reinterpret_cast<const nlmsghdr*>(at);
        const std::size_t size = message->nlmsg_len;
        if (size < sizeof(nlmsghdr) || size > length) {
            return false;
        }
        if (!onMessage(message)) {
            return true;
        }
        // The last message may go without its padding.
        const std::size_t step = std::min(aligned(size), length);
        at += step;
        length -= step;
    }
    return true;
}

int ackErrno(const nlmsghdr* message) {
    if (message->nlmsg_len < MNL_NLMSG_HDRLEN + sizeof(nlmsgerr)) {
        return EPROTO;
    }
    const int error = fixedHeaderOf<nlmsgerr>(message).error;
    // The kernel sends 0 or a negated errno; anything else is no answer.
    constexpr int kLastErrno = 4095;
    return error <= 0 && error >= -kLastErrno ? -error : EPROTO;
}

std::optional<LinkRecord> parseLinkMessage(const nlmsghdr* message) {
    const void* start;
    std::size_t length;
    if (message->nlmsg_type != RTM_NEWLINK ||
        !attributesOf(message, sizeof(ifinfomsg), &start, &length)) {
        return std::nullopt;
    }
    const auto info = fixedHeaderOf<ifinfomsg>(message);
    LinkRecord link;
    link.index = static_cast<std::uint32_t>(info.ifi_index);
    link.arpType = info.ifi_type;
    link.flags = info.ifi_flags;
    forEachAttribute(start, length, [&](const nlattr* attribute) {
        switch (mnl_attr_get_type(attribute)) {
            case IFLA_IFNAME:
                link.name = stringOf(attribute);
                break;
            case IFLA_IFALIAS:
                link.alias = stringOf(attribute);
                break;
            case IFLA_ADDRESS: {
                auto* bytes = static_cast<const std::uint8_t*>(mnl_attr_get_payload(attribute));
                link.hwAddress.assign(bytes, bytes + mnl_attr_get_payload_len(attribute));
                break;
            }
            case IFLA_MTU:
                link.mtu = u32Of(attribute).value_or(0);
                break;
            case IFLA_OPERSTATE:
                link.operState = static_cast<OperState>(u8Of(attribute).value_or(0));
                break;
            case IFLA_CARRIER:
                if (auto carrier = u8Of(attribute)) {
                    link.carrier = *carrier != 0;
                }
                break;
            case IFLA_LINKINFO:
                forEachAttribute(mnl_attr_get_payload(attribute),
                                 mnl_attr_get_payload_len(attribute), [&](const nlattr* inner) {
                                     if (mnl_attr_get_type(inner) == IFLA_INFO_KIND) {
                                         link.kind = stringOf(inner);
                                     }
                                 });
                break;
            default:
                break;
        }
    });
    if (link.index == 0 || link.name.empty()) {
        return std::nullopt;
    }
    return link;
}

std::optional<AddressRecord> parseAddressMessage(const nlmsghdr* message) {
    const void* start;
    std::size_t length;
    if (message->nlmsg_type != RTM_NEWADDR ||
        !attributesOf(message, sizeof(ifaddrmsg), &start, &length)) {
        return std::nullopt;
    }
    const auto info = fixedHeaderOf<ifaddrmsg>(message);
    if (info.ifa_family != AF_INET) {
        return std::nullopt;
    }
    AddressRecord record;
    record.index = info.ifa_index;
    record.prefixLength = info.ifa_prefixlen;
    record.flags = info.ifa_flags;
    std::optional<std::uint32_t> local;
    std::optional<std::uint32_t> peer;
    forEachAttribute(start, length, [&](const nlattr* attribute) {
        switch (mnl_attr_get_type(attribute)) {
            case IFA_LOCAL:
                local = ipv4Of(attribute);
                break;
            case IFA_ADDRESS:
                peer = ipv4Of(attribute);
                break;
            case IFA_FLAGS:
                record.flags = u32Of(attribute).value_or(record.flags);
                break;
            case IFA_CACHEINFO:
                if (mnl_attr_get_payload_len(attribute) >= sizeof(ifa_cacheinfo)) {
                    ifa_cacheinfo cache;
                    std::memcpy(&cache, mnl_attr_get_payload(attribute), sizeof cache);
                    record.finiteLifetime = cache.ifa_valid != kForever;
                }
                break;
            default:
                break;
        }
    });
    // IFA_LOCAL is the address of the link itself; a point-to-point peer sits in IFA_ADDRESS.
    if (local) {
        record.address = *local;
    } else if (peer) {
        record.address = *peer;
    } else {
        return std::nullopt;
    }
    return record;
}

void parseDefaultRoute(const nlmsghdr* message, std::vector<DefaultRoute>& out) {
    const void* start;
    std::size_t length;
    if (message->nlmsg_type != RTM_NEWROUTE ||
        !attributesOf(message, sizeof(rtmsg), &start, &length)) {
        return;
    }
    const auto info = fixedHeaderOf<rtmsg>(message);
    if (info.rtm_family != AF_INET || info.rtm_dst_len != 0 || info.rtm_type != RTN_UNICAST) {
        return;
    }
    std::uint32_t table = info.rtm_table;
    std::uint32_t outputIndex = 0;
    std::uint32_t gateway = 0;
    std::uint32_t priority = 0;
    const nlattr* multipath = nullptr;
    forEachAttribute(start, length, [&](const nlattr* attribute) {
        switch (mnl_attr_get_type(attribute)) {
            case RTA_TABLE:
                table = u32Of(attribute).value_or(table);
                break;
            case RTA_OIF:
                outputIndex = u32Of(attribute).value_or(0);
                break;
            case RTA_GATEWAY:
                gateway = ipv4Of(attribute).value_or(0);
                break;
            case RTA_PRIORITY:
                priority = u32Of(attribute).value_or(0);
                break;
            case RTA_MULTIPATH:
                multipath = attribute;
                break;
            default:
                break;
        }
    });
    if (table != RT_TABLE_MAIN) {
        return;
    }
    if (multipath == nullptr) {
        if (outputIndex != 0) {
            out.push_back({outputIndex, gateway, info.rtm_protocol, priority});
        }
        return;
    }
    // RTA_MULTIPATH: rtnexthop records, each followed by its own attributes.
    auto* cursor = static_cast<const char*>(mnl_attr_get_payload(multipath));
    std::size_t remaining = mnl_attr_get_payload_len(multipath);
    while (remaining >= sizeof(rtnexthop)) {
        rtnexthop hop;
        std::memcpy(&hop, cursor, sizeof hop);
        if (hop.rtnh_len < sizeof(rtnexthop) || hop.rtnh_len > remaining) {
            break;
        }
        std::uint32_t hopGateway = 0;
        forEachAttribute(cursor + RTNH_ALIGN(sizeof(rtnexthop)),
                         hop.rtnh_len - RTNH_ALIGN(sizeof(rtnexthop)),
                         [&](const nlattr* attribute) {
                             if (mnl_attr_get_type(attribute) == RTA_GATEWAY) {
                                 hopGateway = ipv4Of(attribute).value_or(0);
                             }
                         });
        if (hop.rtnh_ifindex > 0) {
            out.push_back({static_cast<std::uint32_t>(hop.rtnh_ifindex), hopGateway,
                           info.rtm_protocol, priority});
        }
        const std::size_t step = RTNH_ALIGN(hop.rtnh_len);
        if (step >= remaining) {
            break;
        }
        cursor += step;
        remaining -= step;
    }
}

nlmsghdr* buildLinkDumpRequest(void* buffer, std::uint32_t seq) {
    nlmsghdr* message = startMessage(buffer, RTM_GETLINK, NLM_F_REQUEST | NLM_F_DUMP, seq);
    auto* info = static_cast<ifinfomsg*>(mnl_nlmsg_put_extra_header(message, sizeof(ifinfomsg)));
    info->ifi_family = AF_UNSPEC;
    mnl_attr_put_u32(message, IFLA_EXT_MASK, RTEXT_FILTER_SKIP_STATS);
    return message;
}

nlmsghdr* buildLinkGetRequest(void* buffer, std::uint32_t seq, std::uint32_t index) {
    nlmsghdr* message = startMessage(buffer, RTM_GETLINK, NLM_F_REQUEST | NLM_F_ACK, seq);
    auto* info = static_cast<ifinfomsg*>(mnl_nlmsg_put_extra_header(message, sizeof(ifinfomsg)));
    info->ifi_family = AF_UNSPEC;
    info->ifi_index = static_cast<int>(index);
    mnl_attr_put_u32(message, IFLA_EXT_MASK, RTEXT_FILTER_SKIP_STATS);
    return message;
}

nlmsghdr* buildAddressDumpRequest(void* buffer, std::uint32_t seq, std::uint32_t index) {
    nlmsghdr* message = startMessage(buffer, RTM_GETADDR, NLM_F_REQUEST | NLM_F_DUMP, seq);
    auto* info = static_cast<ifaddrmsg*>(mnl_nlmsg_put_extra_header(message, sizeof(ifaddrmsg)));
    info->ifa_family = AF_INET;
    info->ifa_index = index;
    return message;
}

nlmsghdr* buildRouteDumpRequest(void* buffer, std::uint32_t seq) {
    nlmsghdr* message = startMessage(buffer, RTM_GETROUTE, NLM_F_REQUEST | NLM_F_DUMP, seq);
    auto* info = static_cast<rtmsg*>(mnl_nlmsg_put_extra_header(message, sizeof(rtmsg)));
    info->rtm_family = AF_INET;
    // Honoured by kernels with strict dump checking: the local table (one route per address)
    // is then not dumped at all.
    info->rtm_table = RT_TABLE_MAIN;
    return message;
}

nlmsghdr* buildAddressChange(void* buffer, std::uint16_t type, std::uint32_t seq,
                             std::uint32_t index, std::uint32_t address, std::uint8_t prefixLength,
                             std::uint32_t broadcast) {
    std::uint16_t flags = NLM_F_REQUEST | NLM_F_ACK;
    if (type == RTM_NEWADDR) {
        flags |= NLM_F_CREATE | NLM_F_EXCL;
    }
    nlmsghdr* message = startMessage(buffer, type, flags, seq);
    auto* info = static_cast<ifaddrmsg*>(mnl_nlmsg_put_extra_header(message, sizeof(ifaddrmsg)));
    info->ifa_family = AF_INET;
    info->ifa_prefixlen = prefixLength;
    info->ifa_scope = RT_SCOPE_UNIVERSE;
    info->ifa_index = index;
    const std::uint32_t wire = htonl(address);
    mnl_attr_put(message, IFA_LOCAL, sizeof wire, &wire);
    mnl_attr_put(message, IFA_ADDRESS, sizeof wire, &wire);
    if (type == RTM_NEWADDR && broadcast != 0) {
        const std::uint32_t wireBroadcast = htonl(broadcast);
        mnl_attr_put(message, IFA_BROADCAST, sizeof wireBroadcast, &wireBroadcast);
    }
    return message;
}

nlmsghdr* buildDefaultRouteChange(void* buffer, std::uint16_t type, std::uint32_t seq,
                                  const DefaultRoute& route) {
    std::uint16_t flags = NLM_F_REQUEST | NLM_F_ACK;
    if (type == RTM_NEWROUTE) {
        flags |= NLM_F_CREATE;
    }
    nlmsghdr* message = startMessage(buffer, type, flags, seq);
    auto* info = static_cast<rtmsg*>(mnl_nlmsg_put_extra_header(message, sizeof(rtmsg)));
    info->rtm_family = AF_INET;
    info->rtm_table = RT_TABLE_MAIN;
    info->rtm_type = RTN_UNICAST;
    if (type == RTM_NEWROUTE) {
        info->rtm_protocol = route.protocol;
        info->rtm_scope = route.gateway != 0 ? RT_SCOPE_UNIVERSE : RT_SCOPE_LINK;
    } else {
        info->rtm_scope = RT_SCOPE_NOWHERE;  // any scope
    }
    mnl_attr_put_u32(message, RTA_OIF, route.outputIndex);
    if (route.gateway != 0) {
        const std::uint32_t wire = htonl(route.gateway);
        mnl_attr_put(message, RTA_GATEWAY, sizeof wire, &wire);
    }
    if (route.priority != 0) {
        mnl_attr_put_u32(message, RTA_PRIORITY, route.priority);
    }
    return message;
}

nlmsghdr* buildPromoteSecondaries(void* buffer, std::uint32_t seq, std::uint32_t index) {
    nlmsghdr* message = startMessage(buffer, RTM_SETLINK, NLM_F_REQUEST | NLM_F_ACK, seq);
    auto* info = static_cast<ifinfomsg*>(mnl_nlmsg_put_extra_header(message, sizeof(ifinfomsg)));
    info->ifi_family = AF_UNSPEC;
    info->ifi_index = static_cast<int>(index);
    nlattr* afSpec = mnl_attr_nest_start(message, IFLA_AF_SPEC);
    nlattr* inet = mnl_attr_nest_start(message, AF_INET);
    nlattr* conf = mnl_attr_nest_start(message, IFLA_INET_CONF);
    mnl_attr_put_u32(message, IPV4_DEVCONF_PROMOTE_SECONDARIES, 1);
    mnl_attr_nest_end(message, conf);
    mnl_attr_nest_end(message, inet);
    mnl_attr_nest_end(message, afSpec);
    return message;
}

}  // namespace nicops::platform::linux_host
