// Connection names: the friendly names users know their adapters by, matched to adapters by
// interface index alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ip_helper.h"

namespace nicops::inventory {

// The connection-name table, in the platform's order (duplicates possible).
using ConnectionNameTable = std::vector<platform::InterfaceName>;

// Empties the table, then fills it with the platform's (interface index, friendly name) entries.
void loadConnectionNames(platform::IpHelper& ipHelper, ConnectionNameTable& table);

// The friendly name of the first entry with this index; empty when none matches.
std::string connectionNameFor(const ConnectionNameTable& table, std::uint32_t adapterIndex);

}  // namespace nicops::inventory
