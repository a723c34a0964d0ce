// The resolver's server lists as its files hold them: the per-link state file of
// systemd-resolved and resolv.conf. Pure functions over file contents.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nicops::platform::linux_host {

// IPv4 entries of the SERVERS= line of a resolver manager's per-link state file, in order;
// nullopt when the file has no SERVERS= line.
std::optional<std::vector<std::string>> parseResolvedLinkServers(std::string_view text);
// IPv4 "nameserver" entries of resolv.conf, in order.
std::vector<std::string> parseResolvConfServers(std::string_view text);

}  // namespace nicops::platform::linux_host
