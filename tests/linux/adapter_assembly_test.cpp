// From kernel records to adapter records, without a kernel: the cases a namespace can't show
// (wireless, PPP, dormant links, odd lifetimes) and the list links.
#include <gtest/gtest.h>
#include <libmnl/libmnl.h>
#include <linux/if_addr.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/if_arp.h>

#include "platform/linux/adapter_assembly.h"

namespace nicops::platform::linux_host {
namespace {

LinkRecord ethernetLink(std::uint32_t index, const std::string& name) {
    LinkRecord link;
    link.index = index;
    link.name = name;
    link.arpType = ARPHRD_ETHER;
    link.flags = IFF_UP;
    link.operState = OperState::up;
    link.carrier = true;
    link.mtu = 1500;
    return link;
}

TEST(AdapterAssemblyTest, AddressListsAreLinkedAndCarryTheirContexts) {
    const LinkRecord link = ethernetLink(7, "eth0");
    const std::vector<AddressRecord> addresses{{7, 0x0A000005, 24, 0, false},
                                               {7, 0xC0A80001, 32, IFA_F_SECONDARY, false},
                                               {7, 0xAC100001, 0, 0, false}};
    const std::vector<DefaultRoute> routes{
        {7, 0x0A000001, 3}, {8, 0x0A0000FE, 3}, {7, 0x0A000001, 3}, {7, 0x0A000002, 3}, {7, 0, 3}};
    LinkFacts facts;
    facts.lease = LeaseRecord{"eth0", 0x0A000005, 0x0A000001, 1700000000, 1700003600, {}, {}};

    const AdapterInfo adapter = assembleAdapter(link, addresses, routes, facts);
    ASSERT_EQ(adapter.ipAddresses.size(), 3u);
    EXPECT_EQ(adapter.ipAddresses[0].address, "10.0.0.5");
    EXPECT_EQ(adapter.ipAddresses[0].mask, "255.255.255.0");
    EXPECT_EQ(adapter.ipAddresses[0].context, 0x0A000005u);
    EXPECT_EQ(adapter.ipAddresses[1].mask, "255.255.255.255");
    EXPECT_EQ(adapter.ipAddresses[2].mask, "0.0.0.0");
    EXPECT_EQ(adapter.ipAddresses[0].next, 2u);
    EXPECT_EQ(adapter.ipAddresses[1].next, 3u);
    EXPECT_EQ(adapter.ipAddresses[2].next, 0u);

    // Each gateway of this link once, in route order; routes without a gateway add nothing.
    ASSERT_EQ(adapter.gateways.size(), 2u);
    EXPECT_EQ(adapter.gateways[0].address, "10.0.0.1");
    EXPECT_EQ(adapter.gateways[0].context, 0x0A000001u);
    EXPECT_EQ(adapter.gateways[0].next, 2u);
    EXPECT_EQ(adapter.gateways[1].address, "10.0.0.2");
    EXPECT_EQ(adapter.gateways[1].next, 0u);

    ASSERT_EQ(adapter.dhcpServer.size(), 1u);
    EXPECT_EQ(adapter.dhcpServer[0].address, "10.0.0.1");
    EXPECT_EQ(adapter.dhcpServer[0].next, 0u);
    EXPECT_EQ(adapter.leaseObtained, 1700000000);
    EXPECT_EQ(adapter.leaseExpires, 1700003600);
    EXPECT_EQ(adapter.haveWins, 0u);
    EXPECT_TRUE(adapter.primaryWins.empty() && adapter.secondaryWins.empty());
}

TEST(AdapterAssemblyTest, NetbiosNameServersOfTheLeaseAreTheWinsServers) {
    LinkFacts facts;
    facts.lease = LeaseRecord{"eth0", 1, 0, 0, 0, {}, {0x0A000089, 0x0A00008A, 0x0A00008B}};
    AdapterInfo adapter = assembleAdapter(ethernetLink(1, "eth0"), {}, {}, facts);
    EXPECT_EQ(adapter.haveWins, 1u);
    ASSERT_EQ(adapter.primaryWins.size(), 1u);
    EXPECT_EQ(adapter.primaryWins[0].address, "10.0.0.137");
    EXPECT_EQ(adapter.primaryWins[0].mask, "255.255.255.255");
    EXPECT_EQ(adapter.primaryWins[0].context, 0x0A000089u);
    EXPECT_EQ(adapter.primaryWins[0].next, 0u);
    ASSERT_EQ(adapter.secondaryWins.size(), 1u);  // a third server has no place
    EXPECT_EQ(adapter.secondaryWins[0].address, "10.0.0.138");
    EXPECT_EQ(adapter.secondaryWins[0].next, 0u);

    facts.lease->winsServers = {0x0A000089};
    adapter = assembleAdapter(ethernetLink(1, "eth0"), {}, {}, facts);
    EXPECT_EQ(adapter.haveWins, 1u);
    ASSERT_EQ(adapter.primaryWins.size(), 1u);
    EXPECT_EQ(adapter.primaryWins[0].address, "10.0.0.137");
    EXPECT_TRUE(adapter.secondaryWins.empty());

    facts.lease->winsServers.clear();
    adapter = assembleAdapter(ethernetLink(1, "eth0"), {}, {}, facts);
    EXPECT_EQ(adapter.haveWins, 0u);
    EXPECT_TRUE(adapter.primaryWins.empty() && adapter.secondaryWins.empty());
}

TEST(AdapterAssemblyTest, LeaseTimesBeyond2038AreClampedNotWrapped) {
    LinkFacts facts;
    facts.lease = LeaseRecord{"eth0", 1, 0, 2147483000, 2147483647LL + 3600, {}, {}};
    const AdapterInfo adapter = assembleAdapter(ethernetLink(1, "eth0"), {}, {}, facts);
    EXPECT_EQ(adapter.leaseObtained, 2147483000);
    EXPECT_EQ(adapter.leaseExpires, 2147483647);
    EXPECT_TRUE(adapter.dhcpServer.empty());  // a lease without a server identifier
}

TEST(AdapterAssemblyTest, PhysicalAddressIsEmptyWhenMissingOrAllZero) {
    LinkRecord link = ethernetLink(1, "eth0");
    link.hwAddress = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x00};
    EXPECT_EQ(assembleAdapter(link, {}, {}, {}).hwAddress, link.hwAddress);
    link.hwAddress = {0, 0, 0, 0};  // an ipip tunnel's "0.0.0.0"
    EXPECT_TRUE(assembleAdapter(link, {}, {}, {}).hwAddress.empty());
    link.hwAddress.clear();
    EXPECT_TRUE(assembleAdapter(link, {}, {}, {}).hwAddress.empty());
}

TEST(AdapterAssemblyTest, DescriptionTypeAndDhcpFlag) {
    LinkRecord link = ethernetLink(3, "wlp2s0");
    link.kind = "veth";
    EXPECT_EQ(describeLink(link, "iwlwifi"), "iwlwifi");
    EXPECT_EQ(describeLink(link, ""), "veth");
    link.kind.clear();
    EXPECT_EQ(describeLink(link, ""), "wlp2s0");

    EXPECT_EQ(adapterTypeOf(ARPHRD_ETHER, false), 6u);
    EXPECT_EQ(adapterTypeOf(ARPHRD_ETHER, true), 71u);
    EXPECT_EQ(adapterTypeOf(ARPHRD_PPP, false), 23u);
    EXPECT_EQ(adapterTypeOf(ARPHRD_LOOPBACK, false), 24u);
    EXPECT_EQ(adapterTypeOf(ARPHRD_SLIP, false), 28u);
    EXPECT_EQ(adapterTypeOf(ARPHRD_NONE, false), 1u);
    EXPECT_EQ(adapterTypeOf(ARPHRD_IEEE80211, true), 1u);

    const std::vector<AddressRecord> fixed{{3, 1, 24, 0, false}};
    const std::vector<AddressRecord> leased{{3, 1, 24, 0, false}, {3, 2, 24, 0, true}};
    const std::vector<AddressRecord> otherLink{{4, 2, 24, 0, true}};
    EXPECT_FALSE(obtainsAddressByDhcp(fixed, 3, {}));
    EXPECT_TRUE(obtainsAddressByDhcp(leased, 3, {}));
    EXPECT_FALSE(obtainsAddressByDhcp(otherLink, 3, {}));
    EXPECT_TRUE(obtainsAddressByDhcp(fixed, 3, {{3, 9, kRouteProtocolDhcp}}));
    EXPECT_FALSE(
        obtainsAddressByDhcp(fixed, 3, {{3, 9, 4 /* static */}, {4, 9, kRouteProtocolDhcp}}));
}

TEST(AdapterAssemblyTest, MasksOfPrefixes) {
    EXPECT_EQ(maskOfPrefix(0), "0.0.0.0");
    EXPECT_EQ(maskOfPrefix(17), "255.255.128.0");
    EXPECT_EQ(maskOfPrefix(32), "255.255.255.255");
}

TEST(LinkStatusTest, StatusAndMediaFromFlagsOperstateAndCarrier) {
    struct Case {
        std::uint32_t flags;
        OperState oper;
        std::optional<bool> carrier;
        std::int32_t status;
        bool up;
    };
    const Case cases[] = {
        {IFF_UP, OperState::up, true, 2, true},
        {0, OperState::down, false, 0, false},                 // administratively down
        {IFF_UP, OperState::lowerLayerDown, false, 7, false},  // cable out / peer down
        {IFF_UP, OperState::down, false, 7, false},
        {IFF_UP, OperState::unknown, true, 2, true},  // no operstate of its own (dummy, tun)
        {IFF_UP, OperState::unknown, false, 7, false},
        {IFF_UP, OperState::unknown, std::nullopt, 2, true},
        {IFF_UP, OperState::dormant, true, 8, false},  // waiting for the supplicant
        {IFF_UP, OperState::notPresent, false, 4, false},
        {0, OperState::up, true, 0, false},
    };
    for (const auto& c : cases) {
        LinkRecord link = ethernetLink(1, "eth0");
        link.flags = c.flags;
        link.operState = c.oper;
        link.carrier = c.carrier;
        EXPECT_EQ(connectionStatusOf(link), c.status)
            << static_cast<int>(c.oper) << " flags " << c.flags;
        EXPECT_EQ(linkIsUp(link), c.up) << static_cast<int>(c.oper) << " flags " << c.flags;
    }
}

// Malformed messages from a socket are dropped, never read past their end.
TEST(RtnlParseTest, TruncatedMessagesAreRejected) {
    alignas(nlmsghdr) char buffer[kMaxRequestSize];
    nlmsghdr* message = buildAddressChange(buffer, RTM_NEWADDR, 1, 5, 0x0A000005, 24);
    ASSERT_TRUE(parseAddressMessage(message));
    EXPECT_EQ(parseAddressMessage(message)->address, 0x0A000005u);
    EXPECT_EQ(parseAddressMessage(message)->prefixLength, 24);

    message->nlmsg_len = MNL_NLMSG_HDRLEN + 2;  // shorter than ifaddrmsg
    EXPECT_EQ(parseAddressMessage(message), std::nullopt);

    message = buildAddressChange(buffer, RTM_NEWADDR, 1, 5, 0x0A000005, 24);
    message->nlmsg_len -= 6;  // the last attribute cut short
    auto cut = parseAddressMessage(message);
    ASSERT_TRUE(cut);  // IFA_LOCAL came first and is whole
    EXPECT_EQ(cut->address, 0x0A000005u);

    message = buildLinkGetRequest(buffer, 1, 5);
    message->nlmsg_type = RTM_NEWLINK;  // a link without a name is no link
    EXPECT_EQ(parseLinkMessage(message), std::nullopt);
    message->nlmsg_type = RTM_NEWADDR;
    EXPECT_EQ(parseLinkMessage(message), std::nullopt);
}

}  // namespace
}  // namespace nicops::platform::linux_host
