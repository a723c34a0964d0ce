#include "inventory/connection_names.h"

namespace nicops::inventory {

void loadConnectionNames(platform::IpHelper& ipHelper, ConnectionNameTable& table) {
    table.clear();
    table = ipHelper.getInterfaceNames();
}

std::string connectionNameFor(const ConnectionNameTable& table, std::uint32_t adapterIndex) {
    for (const auto& entry : table) {
        if (entry.index == adapterIndex) {
            return entry.friendlyName;
        }
    }
    return {};
}

}  // namespace nicops::inventory
