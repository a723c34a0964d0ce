// The machine's DHCP clients on a link nobody manages: dhclient, dhcpcd or udhcpc, started for
// the link with a pid file and a lease file of its own, found again by that pid file or by a
// command line naming the link, and stopped. Their command lines are pure functions.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/host_files.h"
#include "platform/linux/host_processes.h"
#include "platform/linux/rtnl_records.h"

namespace nicops::platform::linux_host {

// The command that starts `client` for the device and ends once it has bound a lease (or given
// up): dhclient with its pid and lease file under the roots of `options`, dhcpcd keeping its own
// pid file, udhcpc with its pid file.
std::vector<std::string> dhcpClientCommand(std::string_view client, const std::string& device,
                                           const LinuxBackendOptions& options);
// Whether a command line (argv[0] not counted) names the device: as an argument of its own,
// "-iDEVICE" or "--interface=DEVICE".
bool namesInterface(const std::vector<std::string>& arguments, const std::string& device);

// The first of dhclient, dhcpcd and udhcpc that is installed; "" when none is.
std::string installedDhcpClient();
// The DHCP clients running for the link in this namespace: the one our pid file names, and any
// whose command line names the link.
std::vector<pid_t> dhcpClientsOf(const std::string& device, const NamespaceId& ns,
                                 const LinuxBackendOptions& options);
// Stops the link's DHCP clients and removes our pid files; "" or why one would not end.
std::string stopDhcpClients(const LinkRecord& link, const NamespaceId& ns,
                            const LinuxBackendOptions& options);
// Runs `client` for the link until it has bound a lease (15 s at most); "" once it has, else the
// link's clients are stopped and the problem says why.
std::string runDhcpClient(const std::string& client, const LinkRecord& link, const NamespaceId& ns,
                          const LinuxBackendOptions& options);

}  // namespace nicops::platform::linux_host
