// The Windows backend: the IP helper functions, each with its two-call size pattern, mapped
// onto the platform records. Connection names come from GetAdaptersAddresses (the friendly name
// by interface index, converted to GBK). A connection's status, speed, MTU and DHCP flag come
// from WMI by connection name, and where WMI has no value from GetAdaptersAddresses (the MTU
// from GetAdapterIndex and GetIfEntry).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ip_helper.h"
#include "platform/windows/administrator_rights.h"

namespace nicops::platform::windows {

// One entry of GetAdaptersAddresses, as the connection queries need it.
struct ConnectionEntry {
    std::uint32_t ifIndex = 0;
    std::string adapterName;   // the GUID in braces
    std::string friendlyName;  // GBK, one line
    std::int32_t operStatus = 0;
    std::uint64_t transmitSpeed = 0;  // bits per second
    bool dhcpEnabled = false;
};

// Every entry of GetAdaptersAddresses (any family, with prefixes); empty when it fails.
std::vector<ConnectionEntry> listConnections();

// Without administrator rights (administrator_rights.h) every add and delete answers 5, the
// code the IP helper itself gives then, without calling it: Wine answers 50 to every call, and
// a batch of thousands need not make as many calls that can only fail.
class WindowsBackend : public HostBackend {
public:
    explicit WindowsBackend(RightsCheck rights = mayAdministerNetwork) : rights_(rights) {}

    std::vector<AdapterInfo> getAdaptersInfo() override;
    std::optional<std::vector<std::string>> getPerAdapterDns(std::uint32_t adapterIndex) override;
    std::vector<InterfaceName> getInterfaceNames() override;
    std::uint32_t addIpAddress(const std::string& address, const std::string& mask,
                               std::uint32_t adapterIndex) override;
    std::uint32_t deleteIpAddress(std::uint32_t nteContext) override;
    // Refuses what planAddressBatch refuses without asking the platform.
    std::vector<std::uint32_t> addIpAddresses(const std::vector<AddressToAdd>& items,
                                              std::uint32_t adapterIndex) override;
    std::vector<std::uint32_t> deleteIpAddresses(
        const std::vector<std::uint32_t>& contexts) override;
    std::string addressChangeProblem() override;

    std::int32_t connectionStatus(const std::string& connectionName) override;
    std::int32_t mediaState(const std::string& connectionName) override;
    std::int64_t linkSpeed(const std::string& connectionName) override;
    std::int32_t mtu(const std::string& connectionName) override;
    std::optional<bool> dhcpFlag(const std::string& connectionName) override;

private:
    RightsCheck rights_;
};

}  // namespace nicops::platform::windows
