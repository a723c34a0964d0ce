#include "platform/linux/host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/linux/host_file_text.h"
#include "platform/linux/resolver_files.h"

namespace nicops::platform::linux_host {

namespace fs = std::filesystem;

namespace {

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

}  // namespace

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
