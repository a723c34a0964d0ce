// Lease records as the DHCP clients write them, and which of a link's leases is current.
#include <gtest/gtest.h>

#include <cstdint>

#include "dhcp_ack.h"
#include "platform/linux/lease_files.h"

namespace nicops::platform::linux_host {
namespace {

TEST(DhclientLeaseTest, ReadsEveryLeaseBlockWithItsTimes) {
    const auto leases = parseDhclientLeases(R"(default-duration 3600;
lease {
  interface "eth0";
  fixed-address 10.0.0.50;
  option subnet-mask 255.255.255.0;
  option dhcp-lease-time 600;
  option domain-name "semi;colon { brace";
  option domain-name-servers 10.0.0.53, 10.0.0.54;
  option netbios-name-servers 10.0.0.137,10.0.0.138;
  option dhcp-server-identifier 10.0.0.1;
  renew 2 2024/01/02 03:04:05;
  expire 2 2024/01/02 03:14:05;
}
# a comment with lease { in it
lease {
  interface "wlan0";
  fixed-address 192.168.1.7;
  option dhcp-lease-time 86400;
  option dhcp-server-identifier 192.168.1.1;
  option netbios-name-servers 192.168.1.137;
  expire epoch 1700086400; # Wed Nov 15 22:13:20 2023
}
lease {
  interface "eth1";
  fixed-address 172.16.0.9;
  expire never;
}
)");
    ASSERT_EQ(leases.size(), 3u);
    EXPECT_EQ(leases[0].interfaceName, "eth0");
    EXPECT_EQ(leases[0].address, 0x0A000032u);
    EXPECT_EQ(leases[0].server, 0x0A000001u);
    EXPECT_EQ(leases[0].expires, 1704165245);  // 2024-01-02 03:14:05 UTC
    EXPECT_EQ(leases[0].obtained, 1704165245 - 600);
    EXPECT_EQ(leases[0].dnsServers, (std::vector<std::uint32_t>{0x0A000035, 0x0A000036}));
    EXPECT_EQ(leases[0].winsServers, (std::vector<std::uint32_t>{0x0A000089, 0x0A00008A}));
    EXPECT_EQ(leases[1].interfaceName, "wlan0");
    EXPECT_EQ(leases[1].expires, 1700086400);
    EXPECT_EQ(leases[1].obtained, 1700000000);
    EXPECT_EQ(leases[1].winsServers, std::vector<std::uint32_t>{0xC0A80189});
    // No lease time and no expiry: the times stay unknown.
    EXPECT_EQ(leases[2].expires, 0);
    EXPECT_EQ(leases[2].obtained, 0);
    EXPECT_TRUE(leases[2].winsServers.empty());
}

TEST(DhclientLeaseTest, ADateFieldOutOfRangeGivesNoTime) {
    for (const char* expire :
         {"2 -2147483648/1/1 00:00:00", "2 2024/-2147483648/1 00:00:00", "2 2024/1/1 00:00:-1",
          "2 2147483647/1/1 00:00:00", "2 99999999999/1/1 00:00:00", "2 2024/0/1 00:00:00",
          "2 2024/13/1 00:00:00", "2 2024/1/0 00:00:00", "2 2024/1/32 00:00:00",
          "2 2024/1/1 24:00:00", "2 2024/1/1 00:60:00", "2 2024/1/1 00:00:61",
          "2 1969/12/31 23:59:59", "2 2024/1 00:00:00", "2 2024/1/1/1 00:00:00", "2 2024/1/1 00:00",
          "2 +2024/1/1 00:00:00"}) {
        const auto leases = parseDhclientLeases(
            std::string(
                "lease {\n fixed-address 10.0.0.5;\n option dhcp-lease-time 600;\n expire ") +
            expire + ";\n}\n");
        ASSERT_EQ(leases.size(), 1u) << expire;
        EXPECT_EQ(leases[0].expires, 0) << expire;
        EXPECT_EQ(leases[0].obtained, 0) << expire;
    }
    // The edges of every range still read.
    const auto edge = parseDhclientLeases(
        "lease {\n expire 0 1970/1/1 00:00:00;\n}\n"
        "lease {\n expire 3 2025/12/31 23:59:59;\n}\n");
    ASSERT_EQ(edge.size(), 2u);
    EXPECT_EQ(edge[0].expires, 0);  // the epoch itself: "no time" either way
    EXPECT_EQ(edge[1].expires, 1767225599);
}

TEST(KeyValueLeaseTest, TakesTheFileTimeAsObtained) {
    const auto lease = parseKeyValueLease(
        "# This is private data. Do not parse.\nADDRESS=10.1.2.3\nNETMASK=255.255.0.0\n"
        "SERVER_ADDRESS=10.1.0.1\nLIFETIME=7200\nDNS=10.1.0.53 fe80::1 10.1.0.54\n",
        1700000000);
    ASSERT_TRUE(lease);
    EXPECT_EQ(lease->address, 0x0A010203u);
    EXPECT_EQ(lease->server, 0x0A010001u);
    EXPECT_EQ(lease->obtained, 1700000000);
    EXPECT_EQ(lease->expires, 1700007200);
    EXPECT_EQ(lease->dnsServers, (std::vector<std::uint32_t>{0x0A010035, 0x0A010036}));
    EXPECT_EQ(parseKeyValueLease("SERVER_ADDRESS=10.1.0.1\n", 1), std::nullopt);

    // Lifetimes and file times out of all proportion end at the last 32-bit second, not wrapped.
    constexpr std::int64_t kLast = 2147483647;
    struct Case {
        const char* lifetime;
        std::int64_t writtenAt, expires;
    };
    for (const Case& c :
         {Case{"9223372036854775807", 1700000000, kLast}, Case{"2147483647", 1, kLast},
          Case{"1", INT64_MAX, kLast}, Case{"447483647", 1700000000, kLast},
          Case{"447483646", 1700000000, kLast - 1}, Case{"-9223372036854775808", 1700000000, 0},
          Case{"99999999999999999999", 1, 0}}) {
        const auto odd = parseKeyValueLease(std::string("ADDRESS=10.1.2.3\nLIFETIME=") + c.lifetime,
                                            c.writtenAt);
        ASSERT_TRUE(odd) << c.lifetime;
        EXPECT_EQ(odd->expires, c.expires) << c.lifetime << " at " << c.writtenAt;
    }
}

TEST(DhcpcdLeaseTest, ReadsAddressServerLeaseTimeAndDns) {
    const auto lease =
        parseDhcpcdLease(dhcpAck({53, 1, 5,                                        // ACK
                                  0,                                               // pad
                                  54, 4, 192, 168, 50,   1,                        // server
                                  51, 4, 0,   0,   0x0E, 0x10,                     // 3600 s
                                  6,  8, 192, 168, 50,   53,   8,   8,   8,  8,    // DNS
                                  44, 8, 192, 168, 50,   137,  192, 168, 50, 138,  // WINS
                                  255}),
                         1700000000);
    ASSERT_TRUE(lease);
    EXPECT_EQ(lease->address, 0xC0A83214u);
    EXPECT_EQ(lease->server, 0xC0A83201u);
    EXPECT_EQ(lease->obtained, 1700000000);
    EXPECT_EQ(lease->expires, 1700003600);
    EXPECT_EQ(lease->dnsServers, (std::vector<std::uint32_t>{0xC0A83235, 0x08080808}));
    EXPECT_EQ(lease->winsServers, (std::vector<std::uint32_t>{0xC0A83289, 0xC0A8328A}));
    const auto oneWins = parseDhcpcdLease(dhcpAck({44, 4, 192, 168, 50, 137, 255}), 1700000000);
    ASSERT_TRUE(oneWins);
    EXPECT_EQ(oneWins->winsServers, std::vector<std::uint32_t>{0xC0A83289});
    EXPECT_TRUE(oneWins->dnsServers.empty());
    // A file time near the end of 64-bit time: the expiry stops at the last 32-bit second.
    EXPECT_EQ(parseDhcpcdLease(dhcpAck({51, 4, 0, 0, 0x0E, 0x10, 255}), INT64_MAX)->expires,
              2147483647);

    // An option running past the end, or no magic cookie: nothing trustworthy beyond the header.
    EXPECT_TRUE(parseDhcpcdLease(dhcpAck({54, 40, 1, 2}), 1));
    EXPECT_EQ(parseDhcpcdLease(std::string(236, '\0'), 1), std::nullopt);
    EXPECT_EQ(parseDhcpcdLease("short", 1), std::nullopt);
}

TEST(CurrentLeaseTest, OnlyALeaseOfAnAddressTheLinkCarriesCounts) {
    LeaseRecord stale{"eth0", 0x0A000005, 0x0A000001, 100, 200, {}, {}};
    LeaseRecord older{"eth0", 0x0A000007, 0x0A000001, 300, 400, {}, {}};
    LeaseRecord newer{"eth0", 0x0A000007, 0x0A000002, 500, 600, {}, {}};
    EXPECT_EQ(currentLease({stale, newer, older}, {0x0A000007})->server, 0x0A000002u);
    EXPECT_EQ(currentLease({stale}, {0x0A000007}), std::nullopt);
    EXPECT_EQ(currentLease({stale}, {}), std::nullopt);
}

}  // namespace
}  // namespace nicops::platform::linux_host
