// The resolver's configuration of a link's DNS servers: systemd-resolved through resolvectl when
// it serves this network namespace, else resolv.conf (renamed over, or written in place where it
// is a mount point); what it held before put back. The new resolv.conf text and the reading of
// the mount table are pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/host_files.h"
#include "platform/linux/host_processes.h"

namespace nicops::platform::linux_host {

// resolv.conf with exactly these nameserver lines, where its first nameserver line was (at the
// end when it had none); every other line is kept.
std::string withNameservers(std::string_view content, const std::vector<std::string>& servers);
// Whether a mount table (/proc/PID/mountinfo) lists `path` as a mount point.
bool mountTableHasMountPoint(std::string_view mountinfo, const std::string& path);

// Whether systemd-resolved runs in the namespace and the bus names it as the resolver.
bool resolvedServesLinks(const NamespaceId& ns);
// The link's servers set by hand give way to what DHCP hands out (with systemd-resolved only).
void revertLinkServers(const std::string& device, const NamespaceId& ns);

// One change of a link's DNS servers: made with what the resolver had when it was noted.
class ResolverChange {
public:
    // Notes who serves the link (systemd-resolved or resolv.conf) and the servers it has there.
    ResolverChange(const std::string& device, std::uint32_t index, const NamespaceId& ns,
                   const HostFiles& files);

    // Gives the link exactly these servers (none: the resolver's own choice); "" or why it
    // failed.
    std::string set(const std::vector<std::string>& servers) const;
    // Gives back what was noted; "" or why it failed.
    std::string putBack() const;

private:
    // resolv.conf as the resolver reads it: the file its path leads to, its content (nullopt
    // when there is none).
    struct ResolvConf {
        std::string path;
        std::optional<std::string> content;
    };
    static ResolvConf readResolvConf(const std::string& configured);

    std::string device_;
    std::string resolvConfPath_;
    bool viaResolved_ = false;
    std::optional<std::vector<std::string>> resolvedBefore_;
    ResolvConf resolvConfBefore_;
};

}  // namespace nicops::platform::linux_host
