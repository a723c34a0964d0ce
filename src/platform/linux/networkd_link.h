// systemd-networkd's side of a link: whether it manages the link, by its per-link state file, and
// whether the link's .network file turns on DHCPv4. The readers of both files are pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/linux/host_files.h"

namespace nicops::platform::linux_host {

struct NetworkdLink {
    bool managed = false;     // ADMIN_STATE is set and not "unmanaged"
    std::string networkFile;  // its .network file when managed and the state file names it
};

// The link as its state file (/run/systemd/netif/links/INDEX) describes it.
NetworkdLink parseNetworkdLinkState(std::string_view text);
// Whether the text of a .network file turns on DHCPv4: the last DHCP= line of its [Network]
// sections says yes, ipv4, true, on or 1.
bool networkFileTextEnablesDhcp(std::string_view content);

// The link as the state file under the run root describes it; not managed when there is none.
NetworkdLink networkdLinkOf(const LinuxBackendOptions& options, std::uint32_t index);
// Whether the .network file at `path` turns on DHCPv4; false when there is no such file.
bool networkFileEnablesDhcp(const std::string& path);

}  // namespace nicops::platform::linux_host
