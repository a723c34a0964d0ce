// A simulated host read from a JSON description: tests, demos and screenshots run on it. Adds
// and deletes change the description and write it back atomically after each change, so
// successive runs see each other's work.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/address_probe.h"
#include "platform/ip_helper.h"

namespace nicops::platform::sim {

// Result codes the simulated host answers with, as the real platform would.
inline constexpr std::uint32_t kInvalidParameter = 87;
inline constexpr std::uint32_t kNotFound = 1168;
inline constexpr std::uint32_t kObjectAlreadyExists = 5010;
inline constexpr std::uint32_t kWriteFault = 29;

class SimHost final : public HostBackend, public AddressProbe {
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
    // A batch is applied in memory and the file written once; when that write fails nothing of
    // the batch is kept and every item that would have succeeded answers kWriteFault.
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

private:
    SimHost(std::string path, nlohmann::json host)
        : path_(std::move(path)), host_(std::move(host)) {}

    // The first adapter with that connection name (the last one with lastMatch); none for "".
    const nlohmann::json* adapterByName(const std::string& connectionName,
                                        bool lastMatch = false) const;
    nlohmann::json& mutableAdapters();
    bool save();

    std::mutex mutex_;
    std::string path_;
    nlohmann::json host_;
};

}  // namespace nicops::platform::sim
