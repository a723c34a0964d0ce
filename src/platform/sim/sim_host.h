// A simulated host read from a JSON description: tests, demos and screenshots run on it. Adds,
// deletes and DHCP/static switches change the description and write it back atomically after
// each change, so successive runs see each other's work.
//
// The description (UTF-8; see tests/data/demo-host.json):
//   "adapters": a list, in the platform's order, of objects with
//     "index" (required), "adapterName", "description", "hwAddress" ("00-1A-2B-3C-4D-5E"),
//     "type", "dhcpEnabled" (0/1, as the adapter record reads it), "haveWins", "leaseObtained",
//     "leaseExpires"; the address lists "ipAddresses", "gateways", "dhcpServer", "primaryWins",
//     "secondaryWins" and "dns", each element an address text or an object {"address", "mask",
//     "context", "next"}; "friendlyName" (the connection name), "status", "operStatus",
//     "speed", "mtu" for the link queries; "dhcpFlag" (true/false) whether the adapter obtains
//     its address automatically, as the DHCP/static switch reads and sets it;
//     "configurationRefused": a text that makes every DHCP/static switch of the adapter fail
//     with that text as the reason.
//   "interfaces": the connection-name table [{"index", "name"}] when it differs from the
//     adapters' own names.
//   "answering": the addresses that answer the in-use probe.
//   "refuse": {"address": code} adds of that address fail with that code (not 0), as the platform's
//     answer: an add that planAddressBatch refuses answers the rule's code first.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/adapter_configuration.h"
#include "platform/address_probe.h"
#include "platform/ip_helper.h"

namespace nicops::platform::sim {

// One DHCP/static switch the host was asked for, whatever its outcome.
struct ConfigurationCall {
    std::string connectionName;
    std::optional<StaticAddressing> staticValues;  // nullopt: enableDhcp
};

class SimHost final : public HostBackend, public AddressProbe, public AdapterConfiguration {
public:
    // The host described by the file; nullptr with `error` naming the file and the reason when
    // it can't be read or is malformed.
    static std::unique_ptr<SimHost> open(const std::string& path, std::string& error);

    std::vector<AdapterInfo> getAdaptersInfo() override;
    std::optional<std::vector<std::string>> getPerAdapterDns(std::uint32_t adapterIndex) override;
    std::vector<InterfaceName> getInterfaceNames() override;
    std::uint32_t addIpAddress(const std::string& address, const std::string& mask,
                               std::uint32_t adapterIndex) override;
    std::uint32_t deleteIpAddress(std::uint32_t nteContext) override;
    // A batch is planned by planAddressBatch as on a real host (87, then kNotFound for a
    // missing adapter, then 17), applied in memory and the file written once; when that write
    // fails nothing of the batch is kept and every item that would have succeeded answers
    // kWriteFault.
    std::vector<std::uint32_t> addIpAddresses(const std::vector<AddressToAdd>& items,
                                              std::uint32_t adapterIndex) override;
    std::vector<std::uint32_t> deleteIpAddresses(
        const std::vector<std::uint32_t>& contexts) override;

    // Addresses listed in the description's "answering" answer in 1 ms, all others -1.
    std::vector<std::int32_t> probeAddresses(const std::vector<std::string>& addresses,
                                             int timeoutMs) override;

    std::int32_t connectionStatus(const std::string& connectionName) override;
    std::int32_t mediaState(const std::string& connectionName) override;
    std::int64_t linkSpeed(const std::string& connectionName) override;
    std::int32_t mtu(const std::string& connectionName) override;
    std::optional<bool> dhcpFlag(const std::string& connectionName) override;

    // The "dhcpFlag" of the last adapter with that name, as the platform's adapter list answers
    // (like the media state). The switches change the first adapter with the name, the one the
    // management interface finds; an adapter with "configurationRefused" refuses them.
    bool isDhcpEnabled(const std::string& connectionName) override;
    bool enableDhcp(const std::string& connectionName) override;
    bool setStaticAddressing(const std::string& connectionName,
                             const StaticAddressing& values) override;
    std::string lastProblem() const override;
    // Every switch asked for so far, in order.
    std::vector<ConfigurationCall> configurationCalls() const;

private:
    SimHost(std::string path, nlohmann::json host)
        : path_(std::move(path)), host_(std::move(host)) {}

    // The first adapter with that connection name (the last one with lastMatch); none for "".
    const nlohmann::json* adapterByName(const std::string& connectionName,
                                        bool lastMatch = false) const;
    nlohmann::json& mutableAdapters();
    bool save(std::string* reason = nullptr);
    // Applies `change` to the first adapter with that name and writes the host back; all or
    // nothing. False with lastProblem_ set when there is no such adapter, it refuses, `change`
    // refuses (returning its reason) or the file can't be written.
    bool reconfigure(const std::string& connectionName,
                     const std::function<std::string(nlohmann::json& adapter)>& change);

    mutable std::mutex mutex_;
    std::string path_;
    nlohmann::json host_;
    std::string lastProblem_;
    std::vector<ConfigurationCall> configurationCalls_;
};

}  // namespace nicops::platform::sim
