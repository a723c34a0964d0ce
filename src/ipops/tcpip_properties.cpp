#include "ipops/tcpip_properties.h"

#include "ipops/persisted_settings.h"

namespace nicops::ipops {

TcpipProperties loadTcpipProperties(const OperationServices& services,
                                    platform::AdapterConfiguration& configuration,
                                    std::uint32_t adapterIndex, const std::string& connectionName) {
    TcpipProperties properties;
    std::string adapterName;
    {
        std::lock_guard lock(services.snapshotMutex);
        const auto& snapshot = services.snapshot;
        if (const auto* record = snapshot.adapters.find(adapterIndex)) {
            adapterName = record->adapterName;
            properties.primaryDns = record->primaryDns;
            properties.secondaryDns = record->secondaryDns;
        }
        // The adapter's last address in the platform's list: the one without a successor.
        for (const auto& [address, entry] : snapshot.addresses) {
            if (entry.adapterIndex == adapterIndex && entry.hasNext == 0) {
                properties.address = address;
                properties.mask = entry.mask;
                break;
            }
        }
    }
    if (properties.secondaryDns.empty()) {
        properties.secondaryDns = kDefaultAlternateDns;
    }
    properties.dhcp = configuration.isDhcpEnabled(connectionName);
    properties.gateway = services.store.readMultiString(
        tcpipInterfaceKey(adapterName), properties.dhcp ? "DhcpDefaultGateway" : "DefaultGateway");
    return properties;
}

bool switchToDhcp(platform::AdapterConfiguration& configuration, OperationHost& host,
                  const std::string& connectionName) {
    const bool ok = configuration.enableDhcp(connectionName);
    if (!ok) {
        if (const std::string problem = configuration.lastProblem(); !problem.empty()) {
            host.appendLog(problem);
        }
    }
    host.appendLog(connectionName + (ok ? " 修改为自动获取IP成功." : " 修改为自动获取IP失败！"));
    return ok;
}

std::string staticRefusal(const std::string& connectionName,
                          const platform::StaticAddressing& values) {
    // The platform would take an empty address or mask as "clear the adapter's addresses".
    if (values.address.empty() || values.mask.empty()) {
        return connectionName + " 未修改: IP地址和子网掩码不能为空.";
    }
    return {};
}

bool switchToStatic(platform::AdapterConfiguration& configuration, OperationHost& host,
                    const std::string& connectionName, const platform::StaticAddressing& values,
                    std::string& problem) {
    problem = staticRefusal(connectionName, values);
    if (!problem.empty()) {
        host.appendLog(problem);
        return false;
    }
    if (configuration.setStaticAddressing(connectionName, values)) {
        return true;
    }
    problem = configuration.lastProblem();
    return false;
}

}  // namespace nicops::ipops
