// Which address a request is answered for: the peer's own, or — only when the peer is a trusted
// proxy — the right-most X-Forwarded-For address that is not itself a trusted proxy.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nicops::echo {

// An IPv4 or IPv6 address as 16 bytes (IPv4 as the IPv4-mapped IPv6 address).
struct IpAddress {
    std::array<unsigned char, 16> bytes{};
    bool v4 = false;
    bool operator==(const IpAddress&) const = default;
};

// Parses "192.0.2.1", "2001:db8::1", "::ffff:192.0.2.1" (taken as IPv4), "[2001:db8::1]";
// surrounding blanks are ignored. Nothing else (no port, no zone) is accepted.
std::optional<IpAddress> parseIpAddress(std::string_view text);

// The address's usual text: dotted decimal for IPv4 (also when it came IPv4-mapped), RFC 5952
// form for IPv6.
std::string formatIpAddress(const IpAddress& address);

// The proxies whose X-Forwarded-For is honoured: addresses or networks ("ADDRESS/PREFIX").
class TrustedProxies {
public:
    // False (and nothing added) when `entry` is neither an address nor a network.
    bool add(std::string_view entry);
    bool contains(const IpAddress& address) const;
    bool empty() const { return entries_.empty(); }

private:
    struct Entry {
        IpAddress network;
        int prefixBits;  // over the 16-byte form
    };
    std::vector<Entry> entries_;
};

// The address to answer for. `forwardedFor` is every X-Forwarded-For header's value in the
// order received, joined with commas (empty when there was none). When the peer isn't trusted,
// or the header is absent, the peer is the answer. Otherwise the entries are walked from the
// right: trusted ones are skipped, the first untrusted one is the answer; an entry that isn't an
// address ends the walk at the last trusted hop before it; when every entry is trusted the
// left-most one is the answer.
IpAddress chooseClientAddress(const IpAddress& peer, std::string_view forwardedFor,
                              const TrustedProxies& trusted);

}  // namespace nicops::echo
