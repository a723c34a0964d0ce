// Received netlink bytes, any: the framing hands on only messages that lie wholly inside the
// bytes, one after another, and says when stray bytes ended it; each parser reads only its
// message's own bytes (every message is parsed from a copy of exactly its length) and what it
// makes is well formed. The request builders' messages, for values taken from the input, parse
// back to those values.
#include <linux/netlink.h>
#include <linux/rtnetlink.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "platform/linux/rtnl_records.h"

using namespace nicops::platform::linux_host;

namespace {

std::uint32_t u32At(const std::uint8_t* data, std::size_t size, std::size_t at) {
    std::uint32_t value = 0;
    if (at + 4 <= size) {
        std::memcpy(&value, data + at, 4);
    }
    return value;
}

void parseCopy(const nlmsghdr* message) {
    // A buffer of exactly the message's length, so a read past it is caught.
    const std::size_t length = message->nlmsg_len;
    const std::unique_ptr<std::uint32_t[]> words(new std::uint32_t[(length + 3) / 4]);
    std::memcpy(words.get(), message, length);
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[length]);
    std::memcpy(exact.get(), message, length);
    // The parsers need the header's alignment: the copy is the message alone when its length is
    // a multiple of four, else the aligned words.
    const auto* copy = length % 4 == 0 ? reinterpret_cast<const nlmsghdr*>(exact.get())
                                       : reinterpret_cast<const nlmsghdr*>(words.get());

    if (const auto link = parseLinkMessage(copy)) {
        FUZZ_CHECK(message->nlmsg_type == RTM_NEWLINK);
        FUZZ_CHECK(link->index != 0 && !link->name.empty());
        FUZZ_CHECK(link->name.find('\0') == std::string::npos);
        FUZZ_CHECK(link->alias.find('\0') == std::string::npos);
        FUZZ_CHECK(link->hwAddress.size() < length);
    }
    if (const auto address = parseAddressMessage(copy)) {
        FUZZ_CHECK(message->nlmsg_type == RTM_NEWADDR);
    }
    std::vector<DefaultRoute> routes;
    parseDefaultRoute(copy, routes);
    for (const auto& route : routes) {
        FUZZ_CHECK(message->nlmsg_type == RTM_NEWROUTE && route.outputIndex != 0);
    }
    const int error = ackErrno(copy);
    FUZZ_CHECK(error == EPROTO || (error >= 0 && error <= 4095));
}

void checkBuilders(const std::uint8_t* data, std::size_t size) {
    alignas(nlmsghdr) unsigned char buffer[kMaxRequestSize];
    const std::uint32_t index = u32At(data, size, 0);
    const std::uint32_t address = u32At(data, size, 4);
    const std::uint32_t broadcast = u32At(data, size, 8);
    const auto prefix = static_cast<std::uint8_t>(u32At(data, size, 12));
    const nlmsghdr* change =
        buildAddressChange(buffer, RTM_NEWADDR, 7, index, address, prefix, broadcast);
    FUZZ_CHECK(change->nlmsg_len <= kMaxRequestSize);
    const auto record = parseAddressMessage(change);
    FUZZ_CHECK(record && record->index == index && record->address == address &&
               record->prefixLength == prefix);
    int walked = 0;
    FUZZ_CHECK(forEachMessage(change, change->nlmsg_len, [&](const nlmsghdr*) {
        ++walked;
        return true;
    }));
    FUZZ_CHECK(walked == 1);

    const DefaultRoute route{index == 0 ? 1 : index, address, static_cast<std::uint8_t>(prefix),
                             broadcast};
    const nlmsghdr* routeChange = buildDefaultRouteChange(buffer, RTM_NEWROUTE, 8, route);
    FUZZ_CHECK(routeChange->nlmsg_len <= kMaxRequestSize);
    std::vector<DefaultRoute> routes;
    parseDefaultRoute(routeChange, routes);
    FUZZ_CHECK(routes.size() == 1 && routes[0].outputIndex == route.outputIndex &&
               routes[0].gateway == route.gateway && routes[0].protocol == route.protocol &&
               routes[0].priority == route.priority);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The bytes as a receive buffer, aligned as the socket's is.
    std::vector<std::uint32_t> aligned((size + 3) / 4);
    if (size != 0) {
        std::memcpy(aligned.data(), data, size);
    }
    const auto* begin = reinterpret_cast<const unsigned char*>(aligned.data());
    const unsigned char* expected = begin;
    bool stopped = false;
    const bool whole = forEachMessage(begin, size, [&](const nlmsghdr* message) {
        const auto* at = reinterpret_cast<const unsigned char*>(message);
        FUZZ_CHECK(at == expected);
        FUZZ_CHECK(message->nlmsg_len >= sizeof(nlmsghdr));
        FUZZ_CHECK(at + message->nlmsg_len <= begin + size);
        parseCopy(message);
        expected = at + ((message->nlmsg_len + 3) & ~3U);
        // A done message ends a dump: the walk stops there.
        stopped = message->nlmsg_type == NLMSG_DONE;
        return !stopped;
    });
    // Framed to the end, or stopped, or else the bytes left are no message.
    if (!stopped) {
        const std::size_t used = static_cast<std::size_t>(expected - begin);
        FUZZ_CHECK(whole == (used >= size));
    }
    checkBuilders(data, size);
    return 0;
}
