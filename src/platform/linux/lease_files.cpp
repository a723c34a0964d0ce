#include "platform/linux/lease_files.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <utility>

#include "platform/ipv4_text.h"
#include "platform/linux/host_file_text.h"

namespace nicops::platform::linux_host {

namespace {

std::vector<std::uint32_t> addressList(std::string_view text) {
    std::vector<std::uint32_t> out;
    for (auto word : words(text, " \t,")) {
        if (auto address = parseIpv4(word)) {
            out.push_back(*address);
        }
    }
    return out;
}

// Three numbers of `text` separated by `separator` ("2024/01/02", "03:04:05"), each within
// its [low, high] range.
std::optional<std::array<int, 3>> dateFields(std::string_view text, char separator,
                                             const std::array<std::pair<int, int>, 3>& ranges) {
    std::array<int, 3> fields{};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::size_t end = i + 1 < fields.size() ? text.find(separator) : text.size();
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        const auto value = parseNumber<int>(text.substr(0, end));
        if (!value || *value < ranges[i].first || *value > ranges[i].second) {
            return std::nullopt;
        }
        fields[i] = *value;
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return fields;
}

// "W YYYY/MM/DD HH:MM:SS" (UTC), "epoch N" or "never" after the keyword of a dhclient time
// statement; 0 when unreadable or never.
std::int64_t dhclientTime(const std::vector<std::string_view>& statement) {
    if (statement.size() >= 3 && statement[1] == "epoch") {
        return parseNumber<std::int64_t>(statement[2]).value_or(0);
    }
    if (statement.size() < 4) {
        return 0;
    }
    const auto date = dateFields(statement[2], '/', {{{1970, 9999}, {1, 12}, {1, 31}}});
    const auto time = dateFields(statement[3], ':', {{{0, 23}, {0, 59}, {0, 60}}});
    if (!date || !time) {
        return 0;
    }
    std::tm when{};
    when.tm_year = (*date)[0] - 1900;
    when.tm_mon = (*date)[1] - 1;
    when.tm_mday = (*date)[2];
    when.tm_hour = (*time)[0];
    when.tm_min = (*time)[1];
    when.tm_sec = (*time)[2];
    return static_cast<std::int64_t>(timegm(&when));
}

// The end of a lease of `length` seconds that began at `start`, at most the last second a
// signed 32-bit time holds; 0 when either is unknown.
std::int64_t leaseEnd(std::int64_t start, std::int64_t length) {
    constexpr std::int64_t kLast = INT32_MAX;
    if (start <= 0 || length <= 0) {
        return 0;
    }
    return start >= kLast || length >= kLast - start ? kLast : start + length;
}

std::string unquote(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
    }
    return std::string(text);
}

void applyDhclientStatement(std::string_view statement, LeaseRecord& lease,
                            std::int64_t& leaseTime) {
    const auto parts = words(statement);
    if (parts.empty()) {
        return;
    }
    if (parts[0] == "interface" && parts.size() >= 2) {
        lease.interfaceName = unquote(parts[1]);
    } else if (parts[0] == "fixed-address" && parts.size() >= 2) {
        lease.address = parseIpv4(parts[1]).value_or(0);
    } else if (parts[0] == "expire") {
        lease.expires = dhclientTime(parts);
    } else if (parts[0] == "option" && parts.size() >= 3) {
        const std::size_t valueAt = statement.find(parts[1]) + parts[1].size();
        const std::string_view value = trim(statement.substr(valueAt));
        if (parts[1] == "dhcp-server-identifier") {
            lease.server = parseIpv4(value).value_or(0);
        } else if (parts[1] == "dhcp-lease-time") {
            leaseTime = parseNumber<std::int64_t>(value).value_or(0);
        } else if (parts[1] == "domain-name-servers") {
            lease.dnsServers = addressList(value);
        } else if (parts[1] == "netbios-name-servers") {
            lease.winsServers = addressList(value);
        }
    }
}

constexpr std::size_t kBootpHeader = 236;
constexpr unsigned char kMagicCookie[4] = {0x63, 0x82, 0x53, 0x63};

std::uint32_t bigEndian32(const unsigned char* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

}  // namespace

std::vector<LeaseRecord> parseDhclientLeases(std::string_view text) {
    std::vector<LeaseRecord> leases;
    LeaseRecord lease;
    std::int64_t leaseTime = 0;
    int depth = 0;         // brace depth
    bool inLease = false;  // depth 1 is a "lease" block
    bool inQuotes = false;
    std::string statement;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inQuotes) {
            statement += c;
            inQuotes = c != '"';
            continue;
        }
        if (c == '"') {
            statement += c;
            inQuotes = true;
        } else if (c == '#') {
            const std::size_t end = text.find('\n', i);
            i = end == std::string_view::npos ? text.size() : end;
            statement += ' ';
        } else if (c == '{') {
            if (depth == 0 && trim(statement) == "lease") {
                inLease = true;
                lease = LeaseRecord{};
                leaseTime = 0;
            }
            ++depth;
            statement.clear();
        } else if (c == '}') {
            if (depth == 1 && inLease) {
                if (lease.expires > 0 && leaseTime > 0) {
                    lease.obtained = lease.expires - leaseTime;
                }
                leases.push_back(lease);
                inLease = false;
            }
            depth = std::max(depth - 1, 0);
            statement.clear();
        } else if (c == ';') {
            if (depth == 1 && inLease) {
                applyDhclientStatement(statement, lease, leaseTime);
            }
            statement.clear();
        } else {
            statement += c;
        }
    }
    return leases;
}

std::optional<LeaseRecord> parseKeyValueLease(std::string_view text, std::int64_t writtenAt) {
    LeaseRecord lease;
    std::int64_t lifetime = 0;
    forEachLine(text, [&](std::string_view line) {
        const std::size_t equals = line.find('=');
        if (line.empty() || line.front() == '#' || equals == std::string_view::npos) {
            return;
        }
        const std::string_view key = line.substr(0, equals);
        const std::string_view value = line.substr(equals + 1);
        if (key == "ADDRESS") {
            lease.address = parseIpv4(value).value_or(0);
        } else if (key == "SERVER_ADDRESS") {
            lease.server = parseIpv4(value).value_or(0);
        } else if (key == "LIFETIME") {
            lifetime = parseNumber<std::int64_t>(value).value_or(0);
        } else if (key == "DNS") {
            lease.dnsServers = addressList(value);
        }
    });
    if (lease.address == 0) {
        return std::nullopt;
    }
    lease.obtained = writtenAt;
    lease.expires = leaseEnd(writtenAt, lifetime);
    return lease;
}

std::optional<LeaseRecord> parseDhcpcdLease(std::string_view bytes, std::int64_t writtenAt) {
    auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < kBootpHeader + sizeof kMagicCookie ||
        std::memcmp(data + kBootpHeader, kMagicCookie, sizeof kMagicCookie) != 0) {
        return std::nullopt;
    }
    LeaseRecord lease;
    lease.address = bigEndian32(data + 16);  // yiaddr
    std::int64_t leaseTime = 0;
    std::size_t at = kBootpHeader + sizeof kMagicCookie;
    while (at < bytes.size()) {
        const unsigned char code = data[at++];
        if (code == 0) {
            continue;  // pad
        }
        if (code == 255 || at >= bytes.size()) {
            break;  // end
        }
        const std::size_t length = data[at++];
        if (at + length > bytes.size()) {
            break;
        }
        const unsigned char* value = data + at;
        if (code == 54 && length == 4) {
            lease.server = bigEndian32(value);
        } else if (code == 51 && length == 4) {
            leaseTime = bigEndian32(value);
        } else if (code == 6 || code == 44) {
            auto& servers = code == 6 ? lease.dnsServers : lease.winsServers;
            for (std::size_t i = 0; i + 4 <= length; i += 4) {
                servers.push_back(bigEndian32(value + i));
            }
        }
        at += length;
    }
    if (lease.address == 0) {
        return std::nullopt;
    }
    lease.obtained = writtenAt;
    // 0xFFFFFFFF is an infinite lease: no expiry to show.
    lease.expires = leaseTime != 0xFFFFFFFF ? leaseEnd(writtenAt, leaseTime) : 0;
    return lease;
}

std::optional<LeaseRecord> currentLease(const std::vector<LeaseRecord>& candidates,
                                        const std::vector<std::uint32_t>& linkAddresses) {
    const LeaseRecord* best = nullptr;
    for (const auto& lease : candidates) {
        if (std::find(linkAddresses.begin(), linkAddresses.end(), lease.address) ==
            linkAddresses.end()) {
            continue;
        }
        if (best == nullptr || lease.expires >= best->expires) {
            best = &lease;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    return *best;
}

}  // namespace nicops::platform::linux_host
