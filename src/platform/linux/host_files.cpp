#include "platform/linux/host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/ipv4_text.h"

namespace nicops::platform::linux_host {

namespace fs = std::filesystem;

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

// Calls f with every line of text, trimmed.
template <typename F>
void forEachLine(std::string_view text, F&& f) {
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        f(trim(text.substr(at, end - at)));
        at = end + 1;
    }
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Whitespace- (and comma-) separated words.
std::vector<std::string_view> words(std::string_view text,
                                    std::string_view separators = " \t\r\n") {
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t start = text.find_first_not_of(separators, at);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(text.find_first_of(separators, start), text.size());
        out.push_back(text.substr(start, end - start));
        at = end;
    }
    return out;
}

template <typename Number>
std::optional<Number> parseNumber(std::string_view text) {
    Number value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::uint32_t> addressList(std::string_view text) {
    std::vector<std::uint32_t> out;
    for (auto word : words(text, " \t,")) {
        if (auto address = parseIpv4(word)) {
            out.push_back(*address);
        }
    }
    return out;
}

std::optional<std::string> readFile(const std::string& path, std::int64_t* modified = nullptr) {
    // Plain reads: sysfs answers some files with an error (speed of a link that is down), which
    // must read as "unknown", not throw.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string content;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    if (modified != nullptr) {
        struct stat info {};
        *modified = ::fstat(fd, &info) == 0 ? static_cast<std::int64_t>(info.st_mtime) : 0;
    }
    ::close(fd);
    return content;
}

// Regular files of a folder whose names pass `accept`, in name order; none when the folder
// can't be read.
template <typename Accept>
std::vector<std::string> filesIn(const std::string& folder, Accept&& accept) {
    std::vector<std::string> out;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (accept(std::string_view(name)) && it->is_regular_file(typeError)) {
            out.push_back(it->path().string());
        }
    }
    std::sort(out.begin(), out.end());
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

std::optional<std::vector<std::string>> parseResolvedLinkServers(std::string_view text) {
    std::optional<std::vector<std::string>> servers;
    forEachLine(text, [&](std::string_view line) {
        if (!startsWith(line, "SERVERS=")) {
            return;
        }
        servers.emplace();
        for (auto entry : words(line.substr(8))) {
            // An entry may carry a port, an interface or a server name: 1.2.3.4:53%2#name.
            const std::string_view address = entry.substr(0, entry.find_first_of(":%#"));
            if (parseIpv4(address)) {
                servers->emplace_back(address);
            }
        }
    });
    return servers;
}

std::vector<std::string> parseResolvConfServers(std::string_view text) {
    std::vector<std::string> servers;
    forEachLine(text, [&](std::string_view line) {
        const auto parts = words(line);
        if (parts.size() >= 2 && parts[0] == "nameserver" && parseIpv4(parts[1])) {
            servers.emplace_back(parts[1]);
        }
    });
    return servers;
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

std::vector<LeaseRecord> HostFiles::dhclientLeases() const {
    const std::string varLib = options_.varLibRoot;
    const auto isV4Database = [](std::string_view name) {
        return (endsWith(name, ".leases") || endsWith(name, ".lease")) &&
               name.find("dhclient6") == std::string_view::npos;
    };
    std::vector<std::string> paths;
    for (const auto& path : filesIn(varLib + "/dhcp", [&](std::string_view name) {
             return startsWith(name, "dhclient") && isV4Database(name);
         })) {
        paths.push_back(path);
    }
    for (const auto& path : filesIn(varLib + "/dhclient", isV4Database)) {
        paths.push_back(path);
    }
    for (const auto& path : filesIn(varLib + "/NetworkManager", [&](std::string_view name) {
             return startsWith(name, "dhclient-") && isV4Database(name);
         })) {
        paths.push_back(path);
    }
    std::vector<LeaseRecord> leases;
    for (const auto& path : paths) {
        if (auto text = readFile(path)) {
            for (auto& lease : parseDhclientLeases(*text)) {
                leases.push_back(std::move(lease));
            }
        }
    }
    return leases;
}

std::vector<LeaseRecord> HostFiles::leasesFor(
    const std::string& name, std::uint32_t index,
    const std::vector<LeaseRecord>& dhclientRecords) const {
    std::vector<LeaseRecord> leases;
    for (const auto& lease : dhclientRecords) {
        if (lease.interfaceName == name) {
            leases.push_back(lease);
        }
    }
    const auto addKeyValue = [&](const std::string& path) {
        std::int64_t modified = 0;
        if (auto text = readFile(path, &modified)) {
            if (auto lease = parseKeyValueLease(*text, modified)) {
                leases.push_back(std::move(*lease));
            }
        }
    };
    addKeyValue(options_.runRoot + "/systemd/netif/leases/" + std::to_string(index));
    const std::string suffix = "-" + name + ".lease";
    for (const auto& path :
         filesIn(options_.varLibRoot + "/NetworkManager", [&](std::string_view file) {
             return startsWith(file, "internal-") && endsWith(file, suffix);
         })) {
        addKeyValue(path);
    }
    for (const std::string& file : {name + ".lease", "dhcpcd-" + name + ".lease"}) {
        std::int64_t modified = 0;
        if (auto bytes = readFile(options_.varLibRoot + "/dhcpcd/" + file, &modified)) {
            if (auto lease = parseDhcpcdLease(*bytes, modified)) {
                leases.push_back(std::move(*lease));
            }
        }
    }
    return leases;
}

std::optional<std::vector<std::string>> HostFiles::resolvedServers(std::uint32_t index) const {
    auto text = readFile(options_.runRoot + "/systemd/resolve/netif/" + std::to_string(index));
    if (!text) {
        return std::nullopt;
    }
    auto servers = parseResolvedLinkServers(*text);
    if (!servers || servers->empty()) {
        return std::nullopt;
    }
    return servers;
}

std::optional<std::vector<std::string>> HostFiles::resolvConfServers() const {
    auto text = readFile(options_.resolvConfPath);
    if (!text) {
        return std::nullopt;
    }
    return parseResolvConfServers(*text);
}

bool HostFiles::isWireless(const std::string& name, std::uint32_t index,
                           const std::vector<std::uint8_t>& hwAddress) const {
    const std::string base = options_.sysRoot + "/class/net/" + name;
    std::error_code error;
    if (!fs::exists(base + "/phy80211", error) && !fs::exists(base + "/wireless", error)) {
        return false;
    }
    const auto shownIndex = readFile(base + "/ifindex");
    if (!shownIndex || parseNumber<std::uint32_t>(trim(*shownIndex)) != index) {
        return false;
    }
    if (hwAddress.empty()) {
        return true;
    }
    std::string expected;
    for (const std::uint8_t byte : hwAddress) {
        constexpr char kHex[] = "0123456789abcdef";
        expected += expected.empty() ? "" : ":";
        expected += kHex[byte >> 4];
        expected += kHex[byte & 0xF];
    }
    const auto shownAddress = readFile(base + "/address");
    return shownAddress && trim(*shownAddress) == expected;
}

}  // namespace nicops::platform::linux_host
