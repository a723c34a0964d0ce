// The resolver's server lists as its files hold them, and the host's files read under private
// roots: the leases of one link from every client, the wireless entry of sysfs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "dhcp_ack.h"
#include "platform/linux/host_files.h"
#include "platform/linux/resolver_files.h"

namespace nicops::platform::linux_host {
namespace {

namespace fs = std::filesystem;

TEST(ResolverFilesTest, PerLinkServersAndResolvConf) {
    EXPECT_EQ(parseResolvedLinkServers("# state\nLLMNR=yes\nSERVERS=10.0.0.53 2001:db8::53 "
                                       "10.0.0.54:5353#dns.example 10.0.0.55%2\n"),
              (std::vector<std::string>{"10.0.0.53", "10.0.0.54", "10.0.0.55"}));
    EXPECT_EQ(parseResolvedLinkServers("LLMNR=yes\n"), std::nullopt);
    EXPECT_EQ(parseResolvConfServers(
                  "# nameserver 1.1.1.1\nsearch example\nnameserver 10.0.0.53\n"
                  "nameserver\t10.0.0.54 # second\nnameserver ::1\nnameserver 10.0.0.55"),
              (std::vector<std::string>{"10.0.0.53", "10.0.0.54", "10.0.0.55"}));
}

class HostFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/nicops-hostfiles-XXXXXX";
        root_ = ::mkdtemp(pattern);
        options_.sysRoot = (root_ / "sys").string();
        options_.runRoot = (root_ / "run").string();
        options_.varLibRoot = (root_ / "var/lib").string();
        options_.resolvConfPath = (root_ / "etc/resolv.conf").string();
    }
    void TearDown() override { fs::remove_all(root_); }

    void write(const std::string& relative, const std::string& content) {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative, std::ios::binary) << content;
    }

    fs::path root_;
    LinuxBackendOptions options_;
};

TEST_F(HostFilesTest, GathersTheLeasesOfOneLinkFromEveryClient) {
    write("var/lib/dhcp/dhclient.eth0.leases",
          "lease {\n interface \"eth0\";\n fixed-address 10.0.0.5;\n}\n"
          "lease {\n interface \"eth9\";\n fixed-address 10.9.0.5;\n}\n");
    write("var/lib/dhcp/dhclient6.eth0.leases",
          "lease {\n interface \"eth0\";\n fixed-address 10.6.6.6;\n}\n");
    write("var/lib/dhclient/dhclient--eth0.lease",
          "lease {\n interface \"eth0\";\n fixed-address 10.0.0.6;\n}\n");
    write("var/lib/NetworkManager/dhclient-4f1c-eth0.lease",
          "lease {\n interface \"eth0\";\n fixed-address 10.0.0.7;\n}\n");
    write("var/lib/NetworkManager/internal-4f1c-eth0.lease", "ADDRESS=10.0.0.8\n");
    write("var/lib/NetworkManager/internal-4f1c-eth01.lease", "ADDRESS=10.0.0.99\n");
    write("run/systemd/netif/leases/3", "ADDRESS=10.0.0.9\n");
    write("run/systemd/netif/leases/4", "ADDRESS=10.0.0.98\n");
    write("var/lib/dhcpcd/eth0.lease", dhcpAck({255}));

    HostFiles files(options_);
    std::vector<std::uint32_t> addresses;
    for (const auto& lease : files.leasesFor("eth0", 3, files.dhclientLeases())) {
        addresses.push_back(lease.address);
    }
    std::sort(addresses.begin(), addresses.end());
    EXPECT_EQ(addresses, (std::vector<std::uint32_t>{0x0A000005, 0x0A000006, 0x0A000007, 0x0A000008,
                                                     0x0A000009, 0xC0A83214}));
}

TEST_F(HostFilesTest, SysfsFactsAndMissingFiles) {
    write("sys/class/net/eth0/ifindex", "2\n");
    write("sys/class/net/wlan0/ifindex", "3\n");
    write("sys/class/net/wlan0/address", "02:1a:2b:3c:4d:5e\n");
    write("sys/class/net/wlan0/phy80211/name", "phy0\n");
    write("sys/class/net/wlan1/ifindex", "4\n");
    write("sys/class/net/wlan1/wireless/status", "");
    const std::vector<std::uint8_t> mac{0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    HostFiles files(options_);
    EXPECT_TRUE(files.isWireless("wlan0", 3, mac));
    EXPECT_TRUE(files.isWireless("wlan1", 4, {}));
    EXPECT_FALSE(files.isWireless("eth0", 2, {}));
    // sysfs of another namespace: a link of the same name that is not this one.
    EXPECT_FALSE(files.isWireless("wlan0", 7, mac));
    EXPECT_FALSE(files.isWireless("wlan0", 3, {0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5F}));
    EXPECT_FALSE(files.isWireless("wlan2", 5, {}));
    EXPECT_EQ(files.resolvConfServers(), std::nullopt);
    EXPECT_EQ(files.resolvedServers(3), std::nullopt);
    EXPECT_TRUE(files.leasesFor("eth0", 3, files.dhclientLeases()).empty());
}

}  // namespace
}  // namespace nicops::platform::linux_host
