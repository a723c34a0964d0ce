// Where the window's changes run when its own process may not make them: another, privileged
// process that runs the same operation and logs the same lines, which reach the host's log as
// they come. Only what changes the host goes there (add and delete with the store write that ends
// them, the switch to DHCP or to static addressing); reading never does. Each call returns when
// that process has ended, so it runs on a worker, never on the UI thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ipops/add_range.h"
#include "ipops/delete_addresses.h"
#include "ipops/operation_host.h"
#include "platform/adapter_configuration.h"

namespace nicops::ipops {

class PrivilegedChanges {
public:
    virtual ~PrivilegedChanges() = default;

    // As addIpRanges for the host's current adapter, inside one busy period of the host; the
    // host's display is reloaded afterwards, unless the change was refused.
    virtual void addIpRanges(OperationHost& host, const AddRequest& request) = 0;
    // As deleteSelectedAddresses (rows not empty) for the host's current adapter.
    virtual void deleteAddresses(OperationHost& host, const std::vector<SelectedRow>& rows) = 0;
    // As switchToDhcp / switchToStatic for the adapter `adapterIndex`, called `connectionName`.
    virtual void switchToDhcp(OperationHost& host, std::uint32_t adapterIndex,
                              const std::string& connectionName) = 0;
    virtual void switchToStatic(OperationHost& host, std::uint32_t adapterIndex,
                                const std::string& connectionName,
                                const platform::StaticAddressing& values) = 0;
};

}  // namespace nicops::ipops
