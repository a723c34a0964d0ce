// The in-use probe through the platform's ICMP handle (under Wine in the cross-build's tests):
// loopback answers; inside tests/windows/netns-lab, only echo replies count.
#include "platform/windows/icmp_probe_windows.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace nicops::platform::windows {
namespace {

TEST(IcmpEchoProbe, LoopbackAnswersAndOnlyDottedAddressesAreSent) {
    auto probe = IcmpEchoProbe::open();
    ASSERT_NE(probe, nullptr);
    const std::vector<std::string> addresses = {
        "127.0.0.1", "not-an-address", "127.0.0.1", "127.0.0.01", "", "localhost"};
    const auto times = probe->probeAddresses(addresses, 1000);
    ASSERT_EQ(times.size(), addresses.size());
    EXPECT_GE(times[0], 0);
    EXPECT_EQ(times[1], -1);
    EXPECT_EQ(times[2], times[0]);  // one request, one answer for both
    EXPECT_EQ(times[3], -1);        // not a dotted address: never resolved or sent
    EXPECT_EQ(times[4], -1);
    EXPECT_EQ(times[5], -1);
    // The same handle serves the next batch.
    EXPECT_GE(probe->probeAddressInUse("127.0.0.1", 1000), 0);
    EXPECT_TRUE(probe->probeAddresses({}, 1000).empty());
}

// Inside tests/windows/netns-lab and its router (tests/windows/router-lab): silent addresses of
// the lab's subnet (each waits for an ARP answer that never comes) and documentation addresses
// sent towards the lab's gateway, which nobody holds either; addresses behind the router, which
// answers each request with host unreachable (Wine hands that over as a reply from the router,
// status 11003) -- no echo reply, so not in use. The lab's own address and the router answer
// in the same batch. The neighbour table is shared by every namespace, so few addresses of the
// subnet itself are asked.
TEST(IcmpEchoProbeLab, OnlyEchoRepliesCountAndSilenceCostsOneTimeOut) {
    const char* own = std::getenv("NICOPS_LAB_ADDRESSES");
    const char* router = std::getenv("NICOPS_LAB_ROUTER");
    const char* unreachable = std::getenv("NICOPS_LAB_UNREACHABLE");
    if (std::getenv("NICOPS_LAB_LINK") == nullptr || own == nullptr || router == nullptr ||
        unreachable == nullptr) {
        GTEST_SKIP() << "runs inside tests/windows/netns-lab and tests/windows/router-lab "
                        "(ctest: windows_icmp_probe_netns)";
    }
    std::vector<std::string> addresses;
    for (int i = 20; i < 40; ++i) {
        addresses.push_back("10.77.0." + std::to_string(i));
    }
    for (const char* net : {"192.0.2.", "198.51.100."}) {
        for (int i = 1; i <= 150; ++i) {
            addresses.push_back(net + std::to_string(i));
        }
    }
    const std::string behindRouter =
        std::string(unreachable).substr(0, std::string(unreachable).rfind('.') + 1);  // 203.0.113.
    for (int i = 1; i <= 5; ++i) {
        addresses.push_back(behindRouter + std::to_string(i));
    }
    const std::size_t silent = addresses.size();
    const std::string ownAddress = std::string(own).substr(0, std::string(own).find('/'));
    addresses.push_back(ownAddress);
    addresses.push_back(router);

    auto probe = IcmpEchoProbe::open();
    ASSERT_NE(probe, nullptr);
    const auto started = std::chrono::steady_clock::now();
    const auto times = probe->probeAddresses(addresses, 500);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    std::cout << "[ timing   ] " << silent << " unanswered addresses and two answering, 500 ms "
              << "time-out: " << took.count() << " ms\n";
    ASSERT_EQ(times.size(), addresses.size());
    for (std::size_t i = 0; i < silent; ++i) {
        EXPECT_EQ(times[i], -1) << addresses[i];
    }
    EXPECT_GE(times[silent], 0) << ownAddress;
    EXPECT_GE(times[silent + 1], 0) << router;
}

}  // namespace
}  // namespace nicops::platform::windows
