// Whose address is answered: X-Forwarded-For only counts when a trusted proxy sent it.
#include <gtest/gtest.h>

#include "echo/forwarded.h"

namespace {

using namespace nicops::echo;

IpAddress ip(const char* text) {
    const auto parsed = parseIpAddress(text);
    EXPECT_TRUE(parsed.has_value()) << text;
    return parsed.value_or(IpAddress{});
}

std::string choose(const char* peer, const char* header, const TrustedProxies& trusted) {
    return formatIpAddress(chooseClientAddress(ip(peer), header, trusted));
}

TrustedProxies proxies(std::initializer_list<const char*> entries) {
    TrustedProxies trusted;
    for (const char* entry : entries) {
        EXPECT_TRUE(trusted.add(entry)) << entry;
    }
    return trusted;
}

TEST(EchoForwarded, UntrustedPeerIsAnsweredWhateverItClaims) {
    const auto trusted = proxies({"10.0.0.1"});
    EXPECT_EQ(choose("203.0.113.9", "198.51.100.1", trusted), "203.0.113.9");
    EXPECT_EQ(choose("10.0.0.2", "198.51.100.1", trusted), "10.0.0.2");
    EXPECT_EQ(choose("203.0.113.9", "198.51.100.1", TrustedProxies{}), "203.0.113.9");
}

TEST(EchoForwarded, TrustedPeerGivesTheRightMostUntrustedEntry) {
    const auto trusted = proxies({"10.0.0.1", "10.0.0.2"});
    // A client may prepend anything; only what the trusted hops appended counts.
    EXPECT_EQ(choose("10.0.0.1", "1.1.1.1, 198.51.100.7", trusted), "198.51.100.7");
    EXPECT_EQ(choose("10.0.0.1", "1.1.1.1, 198.51.100.7, 10.0.0.2", trusted), "198.51.100.7");
    EXPECT_EQ(choose("10.0.0.1", " 198.51.100.7 ", trusted), "198.51.100.7");
    EXPECT_EQ(choose("10.0.0.1", "", trusted), "10.0.0.1");
}

TEST(EchoForwarded, GarbageStopsTheWalkAtTheLastTrustedHop) {
    const auto trusted = proxies({"10.0.0.1", "10.0.0.2"});
    EXPECT_EQ(choose("10.0.0.1", "198.51.100.7, bogus", trusted), "10.0.0.1");
    EXPECT_EQ(choose("10.0.0.1", "198.51.100.7, bogus, 10.0.0.2", trusted), "10.0.0.2");
    EXPECT_EQ(choose("10.0.0.1", "198.51.100.7:443", trusted), "10.0.0.1");
    EXPECT_EQ(choose("10.0.0.1", "198.51.100.7,,10.0.0.2", trusted), "10.0.0.2");
}

TEST(EchoForwarded, AllTrustedGivesTheLeftMost) {
    const auto trusted = proxies({"10.0.0.0/8"});
    EXPECT_EQ(choose("10.0.0.1", "10.9.9.9, 10.0.0.3", trusted), "10.9.9.9");
}

TEST(EchoForwarded, NetworksAndAddressFormsMatch) {
    const auto trusted = proxies({"192.0.2.0/24", "2001:db8::/32"});
    EXPECT_TRUE(trusted.contains(ip("192.0.2.200")));
    EXPECT_FALSE(trusted.contains(ip("192.0.3.1")));
    EXPECT_TRUE(trusted.contains(ip("::ffff:192.0.2.5")));  // a dual-stack socket's IPv4 peer
    EXPECT_TRUE(trusted.contains(ip("2001:db8:ffff::1")));
    EXPECT_FALSE(trusted.contains(ip("2001:db9::1")));
    EXPECT_EQ(choose("2001:db8::1", "[2001:db8::5], 2001:DB9::0:1", trusted), "2001:db9::1");
    EXPECT_EQ(formatIpAddress(ip("::ffff:198.51.100.1")), "198.51.100.1");
}

TEST(EchoForwarded, BadTrustEntriesAreRefused) {
    TrustedProxies trusted;
    EXPECT_FALSE(trusted.add("proxy.example"));
    EXPECT_FALSE(trusted.add("10.0.0.1/33"));
    EXPECT_FALSE(trusted.add("10.0.0.1/"));
    EXPECT_FALSE(trusted.add("10.0.0.1/8x"));
    EXPECT_FALSE(trusted.add("2001:db8::/129"));
    EXPECT_TRUE(trusted.empty());
}

}  // namespace
