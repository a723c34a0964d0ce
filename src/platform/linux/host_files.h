// The file side of the Linux backend: DHCP clients' lease records, the resolver's server lists
// and the sysfs facts of a link. Parsers are pure functions over file contents; HostFiles reads
// the files under roots that tests point elsewhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nicops::platform::linux_host {

// Where the backend finds the host's files. Tests point them at private folders.
struct LinuxBackendOptions {
    std::string sysRoot = "/sys";
    std::string runRoot = "/run";
    std::string varLibRoot = "/var/lib";
    std::string resolvConfPath = "/etc/resolv.conf";
};

// One lease as a DHCP client recorded it. Times are seconds since 1970-01-01 UTC, 0 when the
// record doesn't tell.
struct LeaseRecord {
    std::string interfaceName;  // empty when the file name, not the record, names the link
    std::uint32_t address = 0;
    std::uint32_t server = 0;
    std::int64_t obtained = 0;
    std::int64_t expires = 0;
    std::vector<std::uint32_t> dnsServers;
    std::vector<std::uint32_t> winsServers;  // NetBIOS name servers (option 44), in order
};

// Every "lease { ... }" block of a dhclient lease database, in file order.
std::vector<LeaseRecord> parseDhclientLeases(std::string_view text);
// A KEY=VALUE lease file (systemd-networkd, NetworkManager's internal client). The files carry
// no time of their own; `writtenAt` (the file's modification time) is taken as the time the
// lease was obtained. These clients record no NetBIOS name servers.
std::optional<LeaseRecord> parseKeyValueLease(std::string_view text, std::int64_t writtenAt);
// dhcpcd's lease file: the server's DHCP message as received, written when it was obtained.
std::optional<LeaseRecord> parseDhcpcdLease(std::string_view bytes, std::int64_t writtenAt);

// IPv4 entries of the SERVERS= line of a resolver manager's per-link state file, in order;
// nullopt when the file has no SERVERS= line.
std::optional<std::vector<std::string>> parseResolvedLinkServers(std::string_view text);
// IPv4 "nameserver" entries of resolv.conf, in order.
std::vector<std::string> parseResolvConfServers(std::string_view text);

// Of the leases recorded for one link, the one that describes it now: its address must be one
// the link carries; of several, the one that expires last (the later record on a tie).
std::optional<LeaseRecord> currentLease(const std::vector<LeaseRecord>& candidates,
                                        const std::vector<std::uint32_t>& linkAddresses);

class HostFiles {
public:
    explicit HostFiles(LinuxBackendOptions options) : options_(std::move(options)) {}

    const LinuxBackendOptions& options() const { return options_; }

    // The dhclient lease databases, which may hold leases of many links: read once per
    // snapshot.
    std::vector<LeaseRecord> dhclientLeases() const;
    // Every lease recorded for one link: the dhclient records naming it, and the files that
    // name the link in their file name (dhcpcd, NetworkManager's internal client) or by index
    // (systemd-networkd).
    std::vector<LeaseRecord> leasesFor(const std::string& name, std::uint32_t index,
                                       const std::vector<LeaseRecord>& dhclientRecords) const;

    // The resolver manager's per-link servers; nullopt when it publishes none for the link.
    std::optional<std::vector<std::string>> resolvedServers(std::uint32_t index) const;
    // resolv.conf's servers; nullopt when the file can't be read.
    std::optional<std::vector<std::string>> resolvConfServers() const;

    // Whether sysfs shows the link as a wireless LAN device. sysfs shows the links of the
    // namespace that mounted it, so the entry only counts when it is the same link: the same
    // index and, when the link has one, the same hardware address.
    bool isWireless(const std::string& name, std::uint32_t index,
                    const std::vector<std::uint8_t>& hwAddress) const;

private:
    LinuxBackendOptions options_;
};

}  // namespace nicops::platform::linux_host
