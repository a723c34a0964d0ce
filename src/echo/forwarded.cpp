#include "echo/forwarded.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstring>

namespace nicops::echo {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

constexpr std::array<unsigned char, 12> kMappedPrefix = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

}  // namespace

std::optional<IpAddress> parseIpAddress(std::string_view text) {
    text = trim(text);
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
        text = text.substr(1, text.size() - 2);
    }
    if (text.empty() || text.size() > 45) {
        return std::nullopt;
    }
    const std::string copy(text);
    IpAddress address;
    in_addr v4{};
    in6_addr v6{};
    if (inet_pton(AF_INET, copy.c_str(), &v4) == 1) {
        std::memcpy(address.bytes.data(), kMappedPrefix.data(), kMappedPrefix.size());
        std::memcpy(address.bytes.data() + 12, &v4, 4);
        address.v4 = true;
        return address;
    }
    if (inet_pton(AF_INET6, copy.c_str(), &v6) == 1) {
        std::memcpy(address.bytes.data(), &v6, 16);
        address.v4 = std::memcmp(address.bytes.data(), kMappedPrefix.data(), 12) == 0;
        return address;
    }
    return std::nullopt;
}

std::string formatIpAddress(const IpAddress& address) {
    char buffer[INET6_ADDRSTRLEN] = {};
    if (address.v4) {
        inet_ntop(AF_INET, address.bytes.data() + 12, buffer, sizeof buffer);
    } else {
        inet_ntop(AF_INET6, address.bytes.data(), buffer, sizeof buffer);
    }
    return buffer;
}

bool TrustedProxies::add(std::string_view entry) {
    const auto slash = entry.find('/');
    const auto address = parseIpAddress(entry.substr(0, slash));
    if (!address) {
        return false;
    }
    int bits = 128;
    if (slash != std::string_view::npos) {
        const auto digits = entry.substr(slash + 1);
        int prefix = -1;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), prefix);
        const int limit = address->v4 ? 32 : 128;
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
            prefix < 0 || prefix > limit) {
            return false;
        }
        bits = address->v4 ? 96 + prefix : prefix;
    }
    entries_.push_back({*address, bits});
    return true;
}

bool TrustedProxies::contains(const IpAddress& address) const {
    for (const auto& entry : entries_) {
        int bits = entry.prefixBits;
        bool same = true;
        for (std::size_t i = 0; i < 16 && bits > 0 && same; ++i, bits -= 8) {
            const unsigned mask = bits >= 8 ? 0xFFu : (0xFFu << (8 - bits)) & 0xFFu;
            same = (address.bytes[i] & mask) == (entry.network.bytes[i] & mask);
        }
        if (same) {
            return true;
        }
    }
    return false;
}

IpAddress chooseClientAddress(const IpAddress& peer, std::string_view forwardedFor,
                              const TrustedProxies& trusted) {
    if (!trusted.contains(peer) || trim(forwardedFor).empty()) {
        return peer;
    }
    IpAddress current = peer;
    std::size_t end = forwardedFor.size();
    while (true) {
        const auto comma = forwardedFor.rfind(',', end == 0 ? 0 : end - 1);
        const bool last = comma == std::string_view::npos || end == 0;
        const std::size_t start = last ? 0 : comma + 1;
        const auto entry = forwardedFor.substr(start, end - start);
        const auto address = parseIpAddress(entry);
        if (!address) {
            return current;  // the last hop that a trusted proxy vouched for
        }
        current = *address;
        if (!trusted.contains(current) || last) {
            return current;
        }
        end = comma;
    }
}

}  // namespace nicops::echo
