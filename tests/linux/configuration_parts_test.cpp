// The pure parts of the Linux adapter configuration, without root: the plan of a static change,
// what nmcli prints, systemd-networkd's files, the new resolv.conf text, the mount table and the
// command lines of DHCP clients.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/linux/dhcp_clients.h"
#include "platform/linux/networkd_link.h"
#include "platform/linux/nm_client.h"
#include "platform/linux/resolver_config.h"
#include "platform/linux/static_plan.h"

namespace nicops::platform::linux_host {
namespace {

StaticAddressing values(std::string address, std::string mask, std::string gateway = "",
                        std::string primaryDns = "", std::string secondaryDns = "") {
    return StaticAddressing{std::move(address), std::move(mask), std::move(gateway),
                            std::move(primaryDns), std::move(secondaryDns)};
}

// The problem planOf gives for the values; "" when they make a plan.
std::string refusalOf(const StaticAddressing& typed) {
    std::string problem;
    return planOf(typed, problem) ? std::string() : problem;
}

TEST(StaticConfigurationPlanTest, RefusesTheFirstValueThatIsNoHostAddressOrContiguousMask) {
    EXPECT_EQ(refusalOf(values("10.0.0.5", "255.0.255.0")), "“255.0.255.0”不是有效的子网掩码.");
    EXPECT_EQ(refusalOf(values("10.0.0.5", "0.0.0.0")), "“0.0.0.0”不是有效的子网掩码.");
    EXPECT_EQ(refusalOf(values("224.0.0.1", "255.255.255.0")), "“224.0.0.1”不是有效的IP地址.");
    EXPECT_EQ(refusalOf(values("0.0.0.0", "255.0.255.0")), "“0.0.0.0”不是有效的IP地址.");
    EXPECT_EQ(refusalOf(values("10.0.0.5", "255.255.255.0", "255.255.255.255")),
              "“255.255.255.255”不是有效的默认网关.");
    EXPECT_EQ(refusalOf(values("10.0.0.5", "255.255.255.0", "", "10.0.0.53", "0.0.0.0")),
              "“0.0.0.0”不是有效的DNS服务器地址.");
    EXPECT_EQ(refusalOf(values("10.0.0.5", "255.255.255.255")), "");
}

TEST(StaticConfigurationPlanTest, EmptyDnsPlacesAndGatewayAreLeftOutOfThePlanAndTheProfile) {
    std::string problem;
    const auto secondOnly =
        planOf(values("192.168.5.10", "255.255.255.0", "", "", "192.168.5.53"), problem);
    ASSERT_TRUE(secondOnly) << problem;
    EXPECT_EQ(secondOnly->prefixLength, 24);
    EXPECT_EQ(secondOnly->gateway, 0u);
    EXPECT_EQ(secondOnly->dnsServers, std::vector<std::string>{"192.168.5.53"});
    EXPECT_EQ(secondOnly->shownAddress, "192.168.5.10/255.255.255.0");

    const auto profile = nmStaticSettings(*secondOnly);
    EXPECT_EQ(profile.method, "manual");
    EXPECT_EQ(profile.addresses, "192.168.5.10/24");
    EXPECT_EQ(profile.gateway, "");
    EXPECT_EQ(profile.dns, "192.168.5.53");

    const auto firstOnly =
        planOf(values("192.168.5.10", "255.255.0.0", "192.168.0.1", "192.168.5.53", ""), problem);
    ASSERT_TRUE(firstOnly) << problem;
    EXPECT_EQ(nmStaticSettings(*firstOnly).dns, "192.168.5.53");
    EXPECT_EQ(nmStaticSettings(*firstOnly).gateway, "192.168.0.1");

    const auto both =
        planOf(values("192.168.5.10", "255.255.0.0", "", "192.168.5.53", "192.168.5.54"), problem);
    ASSERT_TRUE(both) << problem;
    EXPECT_EQ(nmStaticSettings(*both).dns, "192.168.5.53,192.168.5.54");
}

TEST(NetworkManagerOutputTest, ActiveProfileIsFoundByTheUnescapedDeviceName) {
    const std::string active =
        "11111111-1111-1111-1111-111111111111:eth0.5\n"
        "22222222-2222-2222-2222-222222222222:br\\:lab\n"
        "33333333-3333-3333-3333-333333333333:odd\\\\name\n"
        "no colon here\n"
        "44444444-4444-4444-4444-444444444444:eth0\n";
    EXPECT_EQ(parseNmActiveProfile(active, "eth0"), "44444444-4444-4444-4444-444444444444");
    EXPECT_EQ(parseNmActiveProfile(active, "br:lab"), "22222222-2222-2222-2222-222222222222");
    EXPECT_EQ(parseNmActiveProfile(active, "odd\\name"), "33333333-3333-3333-3333-333333333333");
    EXPECT_EQ(parseNmActiveProfile(active, "br\\:lab"), "");
    EXPECT_EQ(parseNmActiveProfile(active, "eth1"), "");
}

TEST(NetworkManagerOutputTest, ProfileValuesTakeFourLinesEmptyOnesIncluded) {
    const auto dhcp = parseNmIpv4Settings("auto\n\n\n\n");
    ASSERT_TRUE(dhcp);
    EXPECT_EQ(dhcp->method, "auto");
    EXPECT_EQ(dhcp->addresses, "");
    EXPECT_EQ(dhcp->dns, "");

    const auto manual = parseNmIpv4Settings(
        "manual\r\n10.0.0.5/24, 10.0.0.6/24\r\n10.0.0.1\r\n10.0.0.53,10.0.0.54");
    ASSERT_TRUE(manual);
    EXPECT_EQ(manual->addresses, "10.0.0.5/24, 10.0.0.6/24");
    EXPECT_EQ(manual->gateway, "10.0.0.1");
    EXPECT_EQ(manual->dns, "10.0.0.53,10.0.0.54");

    EXPECT_FALSE(parseNmIpv4Settings("auto\n\n\n"));
    EXPECT_FALSE(parseNmIpv4Settings(""));
}

TEST(NetworkManagerOutputTest, DeviceStateIsTheLeadingNumber) {
    EXPECT_EQ(parseNmDeviceState("100 (connected)\n"), 100);
    EXPECT_EQ(parseNmDeviceState("10 (unmanaged)"), 10);
    EXPECT_EQ(parseNmDeviceState("(unknown)"), std::nullopt);
    EXPECT_EQ(parseNmDeviceState(""), std::nullopt);
}

TEST(NetworkdFilesTest, DhcpCountsOnlyInTheNetworkSectionAndTheLastLineWins) {
    EXPECT_TRUE(networkFileTextEnablesDhcp("[Match]\nName=eth0\n\n[Network]\nDHCP=yes\n"));
    EXPECT_TRUE(networkFileTextEnablesDhcp("[Network]\r\n  DHCP=ipv4  \r\n"));
    EXPECT_FALSE(networkFileTextEnablesDhcp("[Network]\nDHCP=ipv6\n"));
    EXPECT_FALSE(networkFileTextEnablesDhcp("[Network]\nDHCP=no\n"));
    // DHCP= of another section, a comment, or a later [Network] section turning it off.
    EXPECT_FALSE(networkFileTextEnablesDhcp("[Match]\nDHCP=yes\n[Network]\nAddress=10.0.0.5/24\n"));
    EXPECT_FALSE(networkFileTextEnablesDhcp("[Network]\n#DHCP=yes\n"));
    EXPECT_FALSE(networkFileTextEnablesDhcp("[Network]\nDHCP=yes\n[Network]\nDHCP=no\n"));
    EXPECT_TRUE(networkFileTextEnablesDhcp("[Network]\nDHCP=yes\n[DHCPv4]\nDHCP=no\n"));
    EXPECT_FALSE(networkFileTextEnablesDhcp("[DHCPv4]\nDHCP=yes\n"));
}

TEST(NetworkdFilesTest, LinkStateNamesTheNetworkFileOnlyOfAManagedLink) {
    const auto managed = parseNetworkdLinkState(
        "# This is private data.\nADMIN_STATE=configured\nOPER_STATE=routable\n"
        "NETWORK_FILE=/etc/systemd/network/10-lab.network\n");
    EXPECT_TRUE(managed.managed);
    EXPECT_EQ(managed.networkFile, "/etc/systemd/network/10-lab.network");

    const auto unmanaged = parseNetworkdLinkState("ADMIN_STATE=unmanaged\nNETWORK_FILE=/x\n");
    EXPECT_FALSE(unmanaged.managed);
    EXPECT_EQ(unmanaged.networkFile, "");
    EXPECT_FALSE(parseNetworkdLinkState("ADMIN_STATES=configured\nADMIN_STATE=\n").managed);
}

TEST(ResolverFileTest, ServersTakeThePlaceOfTheFirstNameserverLineAndOtherLinesStay) {
    EXPECT_EQ(withNameservers("# written by hand\nsearch lab\nnameserver 10.0.0.1\n"
                              "options ndots:2\n\tnameserver\t10.0.0.2\n",
                              {"192.0.2.53", "192.0.2.54"}),
              "# written by hand\nsearch lab\nnameserver 192.0.2.53\nnameserver 192.0.2.54\n"
              "options ndots:2\n");
    // Lines that only start like one, and a last line without its newline.
    EXPECT_EQ(
        withNameservers("#nameserver 10.0.0.1\nnameservers 10.0.0.2\nsearch lab", {"192.0.2.53"}),
        "#nameserver 10.0.0.1\nnameservers 10.0.0.2\nsearch lab\nnameserver 192.0.2.53\n");
    EXPECT_EQ(withNameservers("", {"192.0.2.53"}), "nameserver 192.0.2.53\n");
    EXPECT_EQ(withNameservers("nameserver 10.0.0.1\nsearch lab\n", {}), "search lab\n");
}

TEST(ResolverFileTest, MountPointIsTheFifthFieldOfTheMountTableUnescaped) {
    const std::string table =
        "24 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "612 24 0:5 /netns/lab/resolv.conf /etc/resolv\\040lab.conf rw - tmpfs tmpfs rw\n"
        "613 24 0:5 /netns/lab/hosts /etc/resolv.conf.d rw - tmpfs tmpfs rw\n";
    EXPECT_TRUE(mountTableHasMountPoint(table, "/etc/resolv lab.conf"));
    EXPECT_TRUE(mountTableHasMountPoint(table, "/"));
    EXPECT_FALSE(mountTableHasMountPoint(table, "/etc/resolv\\040lab.conf"));
    EXPECT_FALSE(mountTableHasMountPoint(table, "/etc/resolv.conf"));
    EXPECT_FALSE(mountTableHasMountPoint(table, "/netns/lab/resolv.conf"));
}

TEST(DhcpClientCommandTest, ALinkIsNamedOnlyByAnArgumentOfItsOwn) {
    EXPECT_TRUE(namesInterface({"dhclient", "-1", "eth0"}, "eth0"));
    EXPECT_TRUE(namesInterface({"udhcpc", "-i", "eth0"}, "eth0"));
    EXPECT_TRUE(namesInterface({"udhcpc", "-ieth0"}, "eth0"));
    EXPECT_TRUE(namesInterface({"dhcpcd", "--interface=eth0"}, "eth0"));
    EXPECT_FALSE(namesInterface({"dhclient", "eth0.5"}, "eth0"));
    EXPECT_FALSE(namesInterface({"eth0"}, "eth0"));  // the program's own name
    EXPECT_FALSE(namesInterface({}, "eth0"));
}

}  // namespace
}  // namespace nicops::platform::linux_host
