// The host's files as the Linux backend reads them, under roots that tests point elsewhere: the
// lease files of a link's DHCP clients, the resolver's server lists and the wireless entry of a
// link in sysfs. What the files say is read by lease_files.h and resolver_files.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/lease_files.h"

namespace nicops::platform::linux_host {

// Where the backend finds the host's files. Tests point them at private folders.
struct LinuxBackendOptions {
    std::string sysRoot = "/sys";
    std::string runRoot = "/run";
    std::string varLibRoot = "/var/lib";
    std::string resolvConfPath = "/etc/resolv.conf";
};

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
