// The adapter's address set in the persisted store, so that what add and delete changed
// survives a restart; and what the dialogs read back from there.
#pragma once

#include <cstdint>
#include <string>

#include "ipops/operation_host.h"

namespace nicops::ipops {

// "HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\" + name.
std::string tcpipInterfaceKey(const std::string& adapterName);

// Writes the adapter's addresses and masks ("IPAddress", "SubnetMask"), in the order of the
// snapshot's address table, with its log lines; true when both were written. An adapter the
// snapshot no longer has (its link went away meanwhile) gets the failure lines and nothing is
// written, for it or any other.
bool persistAddresses(const OperationServices& services, OperationHost& host,
                      std::uint32_t adapterIndex);
// The same for the current adapter.
bool persistAddresses(const OperationServices& services, OperationHost& host);

// The mask the add dialog proposes for the adapter, as its mask box reads it: the stored
// "DhcpSubnetMask", else the stored "SubnetMask", else "255.255.255.0".
std::string loadDefaultMask(const OperationServices& services, std::uint32_t adapterIndex);

// Re-adds to every adapter present the stored addresses (with their stored masks) that it
// lacks, one log line per address and a summary.
void restoreAddresses(const OperationServices& services, OperationHost& host);

}  // namespace nicops::ipops
