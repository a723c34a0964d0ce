// Framing of received netlink bytes without a socket: message and attribute lengths are checked
// against the bytes actually there, so a lying header is dropped instead of read past its end.
#include <gtest/gtest.h>
#include <libmnl/libmnl.h>
#include <linux/rtnetlink.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/linux/rtnl_records.h"

namespace nicops::platform::linux_host {
namespace {

// Received bytes: a buffer aligned as the socket's receive buffer is.
struct Received {
    alignas(nlmsghdr) char bytes[1024] = {};
    std::size_t length = 0;

    // Appends an address message of `index` and returns it.
    nlmsghdr* addAddress(std::uint32_t index) {
        nlmsghdr* message =
            buildAddressChange(bytes + length, RTM_NEWADDR, 1, index, 0x0A000005, 24);
        length += NLMSG_ALIGN(message->nlmsg_len);
        return message;
    }
    // Appends a link message named eth0 with a hardware address and returns it.
    nlmsghdr* addLink() {
        std::memset(bytes + length, 0, kMaxRequestSize);
        nlmsghdr* message = mnl_nlmsg_put_header(bytes + length);
        message->nlmsg_type = RTM_NEWLINK;
        auto* info =
            static_cast<ifinfomsg*>(mnl_nlmsg_put_extra_header(message, sizeof(ifinfomsg)));
        info->ifi_index = 3;
        mnl_attr_put_strz(message, IFLA_IFNAME, "eth0");
        const std::uint8_t mac[6] = {0x02, 0, 0, 0, 0, 0x01};
        mnl_attr_put(message, IFLA_ADDRESS, sizeof mac, mac);
        length += NLMSG_ALIGN(message->nlmsg_len);
        return message;
    }

    // The indexes of the address messages the walk hands on, and whether it found the framing
    // intact.
    std::pair<std::vector<std::uint32_t>, bool> walk(std::size_t stopAfter = SIZE_MAX) const {
        std::vector<std::uint32_t> indexes;
        const bool intact = forEachMessage(bytes, length, [&](const nlmsghdr* message) {
            auto address = parseAddressMessage(message);
            indexes.push_back(address ? address->index : 0);
            return indexes.size() < stopAfter;
        });
        return {indexes, intact};
    }
};

using Indexes = std::vector<std::uint32_t>;

TEST(NetlinkFramingTest, TheWalkHandsOnOnlyMessagesWhollyInsideTheBytes) {
    Received two;
    two.addAddress(1);
    two.addAddress(2);
    EXPECT_EQ(two.walk(), std::pair(Indexes{1, 2}, true));
    EXPECT_EQ(two.walk(1), std::pair(Indexes{1}, true));  // the handler stops it
    EXPECT_EQ(Received{}.walk(), std::pair(Indexes{}, true));

    // A header claiming 2^31 bytes or more (which passes a comparison in int), more than are
    // left, or fewer than a header: nothing from there on.
    for (const std::uint32_t claimed : {0x80000000u, 0x80000040u, 0xFFFFFFFFu, 41u, 15u, 0u}) {
        Received lying;
        lying.addAddress(1);
        lying.addAddress(2)->nlmsg_len = claimed;
        EXPECT_EQ(lying.walk(), std::pair(Indexes{1}, false)) << claimed;
    }
    // A link message claiming far more than was received is never parsed.
    Received link;
    link.addLink()->nlmsg_len = 0x80000040u;
    bool handed = false;
    EXPECT_FALSE(forEachMessage(link.bytes, link.length, [&](const nlmsghdr*) {
        handed = true;
        return true;
    }));
    EXPECT_FALSE(handed);

    // Stray bytes after the last message, too few for a header.
    Received stray;
    stray.addAddress(1);
    stray.length += 8;
    EXPECT_EQ(stray.walk(), std::pair(Indexes{1}, false));
    // The last message without its padding is whole.
    Received unpadded;
    nlmsghdr* last = unpadded.addAddress(1);
    last->nlmsg_len -= 2;
    unpadded.length -= 2;
    EXPECT_EQ(unpadded.walk(), std::pair(Indexes{1}, true));
}

TEST(NetlinkFramingTest, AttributesRunningPastTheirMessageAreDropped) {
    Received received;
    nlmsghdr* message = received.addLink();
    auto whole = parseLinkMessage(message);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->name, "eth0");
    EXPECT_EQ(whole->hwAddress, (std::vector<std::uint8_t>{0x02, 0, 0, 0, 0, 0x01}));

    // The message ends inside IFLA_ADDRESS (the last attribute, 12 bytes with its padding).
    message->nlmsg_len -= 4;
    auto cut = parseLinkMessage(message);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->name, "eth0");
    EXPECT_TRUE(cut->hwAddress.empty());

    // IFLA_ADDRESS claiming more bytes than its message holds, or fewer than its own header.
    message->nlmsg_len += 4;
    auto* address =
        reinterpret_cast<nlattr*>(reinterpret_cast<char*>(message) + message->nlmsg_len - 12);
    ASSERT_EQ(address->nla_type, IFLA_ADDRESS);
    for (const std::uint16_t claimed :
         {std::uint16_t{0xFFFF}, std::uint16_t{13}, std::uint16_t{3}}) {
        address->nla_len = claimed;
        auto lying = parseLinkMessage(message);
        ASSERT_TRUE(lying) << claimed;
        EXPECT_TRUE(lying->hwAddress.empty()) << claimed;
    }
}

TEST(NetlinkFramingTest, AnAckNeedsAWholeErrorRecord) {
    alignas(nlmsghdr) char bytes[64] = {};
    nlmsghdr* message = mnl_nlmsg_put_header(bytes);
    message->nlmsg_type = NLMSG_ERROR;
    auto* record = static_cast<nlmsgerr*>(mnl_nlmsg_put_extra_header(message, sizeof(nlmsgerr)));
    EXPECT_EQ(ackErrno(message), 0);
    record->error = -ENODEV;
    EXPECT_EQ(ackErrno(message), ENODEV);
    // Not negated errno values.
    for (const int error : {INT_MIN, -4096, 1, INT_MAX}) {
        record->error = error;
        EXPECT_EQ(ackErrno(message), EPROTO) << error;
    }
    // Too short for the record: the error alone, or the bare header.
    record->error = -ENODEV;
    constexpr std::size_t kHeader = NLMSG_HDRLEN;
    for (const std::size_t length : {kHeader + sizeof(nlmsgerr) - 1, kHeader + 4, kHeader}) {
        message->nlmsg_len = static_cast<std::uint32_t>(length);
        EXPECT_EQ(ackErrno(message), EPROTO) << length;
    }
}

}  // namespace
}  // namespace nicops::platform::linux_host
