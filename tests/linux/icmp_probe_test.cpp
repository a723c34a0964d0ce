// The in-use probe against the real kernel: a peer namespace answers at one address, nothing
// answers at the others.
#include "platform/linux/icmp_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <optional>

#include "netns_lab.h"

namespace nicops::platform::linux_host {
namespace {

using linux_test::namespaceSkipReason;
using linux_test::Netns;

constexpr const char* kAnswering = "10.20.0.2";
constexpr const char* kSilent = "10.20.0.3";

class IcmpProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (auto reason = namespaceSkipReason(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        lab_.emplace();
        peer_.emplace();
        ASSERT_TRUE(lab_->created() && peer_->created());
        lab_->ip("link add probe0 type veth peer name probe1 netns " + peer_->name());
        lab_->ip("addr add 10.20.0.1/16 dev probe0");
        lab_->ip("link set probe0 up");
        peer_->ip("addr add " + std::string(kAnswering) + "/16 dev probe1");
        peer_->ip("link set probe1 up");
    }

    struct Probed {
        bool usable = false;
        bool raw = false;
        std::vector<std::int32_t> times;
    };
    Probed probe(const std::vector<std::string>& addresses, int timeoutMs) {
        return lab_->inside([&] {
            auto probe = IcmpProbe::open();
            return Probed{probe->usable(), probe->raw(),
                          probe->probeAddresses(addresses, timeoutMs)};
        });
    }

    std::optional<Netns> lab_;
    std::optional<Netns> peer_;
};

TEST_F(IcmpProbeTest, OnlyTheAnsweringAddressHasARoundTripOnEitherSocket) {
    const std::vector<std::string> addresses = {kAnswering, kSilent,      "not-an-address",
                                                kAnswering, "10.20.0.02", ""};
    // Ping sockets are off in a new namespace: root gets a raw socket.
    auto raw = probe(addresses, 1000);
    ASSERT_TRUE(raw.usable);
    EXPECT_TRUE(raw.raw);
    ASSERT_EQ(raw.times.size(), addresses.size());
    EXPECT_GE(raw.times[0], 0);
    EXPECT_EQ(raw.times[1], -1);
    EXPECT_EQ(raw.times[2], -1);
    EXPECT_EQ(raw.times[3], raw.times[0]);  // one request, one answer for both
    EXPECT_EQ(raw.times[4], -1);            // not a dotted address: never resolved or sent
    EXPECT_EQ(raw.times[5], -1);

    ASSERT_EQ(lab_->exec("sysctl -q -w net.ipv4.ping_group_range='0 2147483647'").status, 0);
    auto ping = probe(addresses, 1000);
    ASSERT_TRUE(ping.usable);
    EXPECT_FALSE(ping.raw);
    ASSERT_EQ(ping.times.size(), addresses.size());
    EXPECT_GE(ping.times[0], 0);
    EXPECT_EQ(ping.times[1], -1);
    EXPECT_EQ(ping.times[2], -1);
    EXPECT_GE(ping.times[3], 0);
}

TEST_F(IcmpProbeTest, ManySilentAddressesCostAboutOneTimeOut) {
    // Silent addresses of the local subnet: each request waits for an ARP answer that never
    // comes and holds its socket buffer meanwhile. The kernel's neighbour table is shared by
    // every namespace (1,024 entries by default), so the batch stays well below it: tests that
    // run beside this one must still be able to reach their peers.
    std::vector<std::string> addresses;
    for (int i = 0; i < 300; ++i) {
        addresses.push_back("10.20." + std::to_string(1 + i / 250) + "." +
                            std::to_string(1 + i % 250));
    }
    addresses.push_back(kAnswering);
    const auto started = std::chrono::steady_clock::now();
    const auto probed = probe(addresses, 500);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    std::cout << "[ timing   ] 300 silent addresses and one answering, 500 ms time-out: "
              << took.count() << " ms\n";
    ASSERT_EQ(probed.times.size(), addresses.size());
    for (std::size_t i = 0; i + 1 < addresses.size(); ++i) {
        EXPECT_EQ(probed.times[i], -1) << addresses[i];
    }
    EXPECT_GE(probed.times.back(), 0);
}

}  // namespace
}  // namespace nicops::platform::linux_host
