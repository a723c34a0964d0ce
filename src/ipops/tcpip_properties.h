// The TCP/IPv4 properties of the current adapter: what the properties dialog opens with, and
// switching the adapter between DHCP and a static address. The dialog and nicopsctl run the
// same operations.
#pragma once

#include <cstdint>
#include <string>

#include "ipops/operation_host.h"
#include "platform/adapter_configuration.h"

namespace nicops::ipops {

// What the dialog shows when it opens.
struct TcpipProperties {
    bool dhcp = false;         // the platform's DHCP flag for the connection name
    std::string address;       // the adapter's last address in the platform's list, "" if none
    std::string mask;          // that address's mask
    std::string gateway;       // "DhcpDefaultGateway" when dhcp, else "DefaultGateway"
    std::string primaryDns;    // the adapter's primary DNS server
    std::string secondaryDns;  // its secondary DNS server, "114.114.114.114" when it has none
};

// The alternate DNS box's text when the adapter has no secondary server.
inline constexpr const char* kDefaultAlternateDns = "114.114.114.114";

// Reads the properties of the adapter `adapterIndex` (from the snapshot and the store) whose
// connection name is `connectionName` (from the configuration interface).
TcpipProperties loadTcpipProperties(const OperationServices& services,
                                    platform::AdapterConfiguration& configuration,
                                    std::uint32_t adapterIndex, const std::string& connectionName);

// Switches the adapter to DHCP and logs "NAME 修改为自动获取IP成功." or
// "NAME 修改为自动获取IP失败！" (after the platform's reason, when it gives one). True on success.
bool switchToDhcp(platform::AdapterConfiguration& configuration, OperationHost& host,
                  const std::string& connectionName);

// Why the static values are refused before anything changes ("NAME 未修改: ..." when the
// address or the mask is empty); "" when they may be applied.
std::string staticRefusal(const std::string& connectionName,
                          const platform::StaticAddressing& values);

// Applies the static values. An empty address or mask is refused before anything changes, with
// the reason in one log line; otherwise nothing is logged, whatever the outcome. True when
// applied; `problem` then stays empty, else it receives the reason (nicopsctl prints it).
bool switchToStatic(platform::AdapterConfiguration& configuration, OperationHost& host,
                    const std::string& connectionName, const platform::StaticAddressing& values,
                    std::string& problem);

}  // namespace nicops::ipops
