// The connection names of links: the name the adapter box lists a link under (its alias, else
// its kernel name, in GBK on one line), one link per name, and the link a name points at.
// Loopback is never listed. Pure.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/linux/rtnl_records.h"

namespace nicops::platform::linux_host {

// Whether the link is loopback, which the adapter list leaves out.
bool isLoopback(const LinkRecord& link);

// The connection name of every link (empty for loopback, which is not listed): its alias, or
// its kernel name when it has none, in GBK on one line. Link facts are asked by connection
// name, so a name must point at one link: an alias that shows as a name an earlier link already
// shows, or as another link's kernel name, gives way to the kernel name, which the kernel keeps
// unique (and free of whitespace).
std::vector<std::string> connectionNamesOf(const std::vector<LinkRecord>& links);

// The link that the adapter box lists under this connection name (its alias, else its kernel
// name, as getInterfaceNames() names it); loopback is never one. nullopt when none is.
std::optional<LinkRecord> linkOfConnectionName(std::vector<LinkRecord> links,
                                               const std::string& connectionName);

}  // namespace nicops::platform::linux_host
