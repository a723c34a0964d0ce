// The lease files of the DHCP clients (dhclient, systemd-networkd, NetworkManager's internal
// client, dhcpcd) read into lease records, and of a link's recorded leases the one that
// describes it now. Pure functions over file contents.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nicops::platform::linux_host {

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

// Of the leases recorded for one link, the one that describes it now: its address must be one
// the link carries; of several, the one that expires last (the later record on a tie).
std::optional<LeaseRecord> currentLease(const std::vector<LeaseRecord>& candidates,
                                        const std::vector<std::uint32_t>& linkAddresses);

}  // namespace nicops::platform::linux_host
