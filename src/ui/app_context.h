// The application context: everything that lives as long as the process — the snapshot, the
// adapter shown, the settings and the platform services. Created in main and passed by
// reference; there are no mutable globals.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "inventory/network_query.h"
#include "inventory/snapshot.h"
#include "ipops/operation_host.h"
#include "ipops/privileged_changes.h"
#include "platform/adapter_configuration.h"
#include "platform/address_probe.h"
#include "platform/ip_helper.h"
#include "platform/persisted_store.h"
#include "settings/app_settings.h"

namespace nicops::ui {

// currentAdapterIndex when no adapter is selected (-1 as a 32-bit value).
inline constexpr std::uint32_t kNoAdapter = 0xFFFFFFFFU;

// Stand-ins for the services the program has none of (and until it hands the real ones over):
// no probe can be made (-1), nothing can be stored, no adapter can be reconfigured.
class NoProbe final : public platform::AddressProbe {
public:
    std::vector<std::int32_t> probeAddresses(const std::vector<std::string>& addresses,
                                             int) override {
        return std::vector<std::int32_t>(addresses.size(), -1);
    }
};
class NoStore final : public platform::PersistedStore {
public:
    bool writeMultiString(const std::string&, const std::string&, const std::string&) override {
        return false;
    }
    std::string readMultiString(const std::string&, const std::string&) override { return {}; }
    std::string readTextValue(std::uint32_t, const std::string&) override { return {}; }
    std::string lastError() const override { return "没有可用的设置储存."; }
};

class NoConfiguration final : public platform::AdapterConfiguration {
public:
    bool isDhcpEnabled(const std::string&) override { return false; }
    bool enableDhcp(const std::string&) override { return false; }
    bool setStaticAddressing(const std::string&, const platform::StaticAddressing&) override {
        return false;
    }
    std::string lastProblem() const override { return "没有可用的网卡配置接口."; }
};

struct AppContext {
    explicit AppContext(platform::HostBackend& host) : backend(host), networkQuery(host) {}

    platform::HostBackend& backend;
    inventory::NetworkQuery networkQuery;
    // The in-use probe, the persisted store and the switching of adapters between DHCP and
    // static addressing; the program points them at the platform's (app::wire) and leaves the
    // stand-in where the platform has none. Never null.
    platform::AddressProbe* probe = &noProbe;
    platform::PersistedStore* store = &noStore;
    platform::AdapterConfiguration* configuration = &noConfiguration;
    // Where the window's changes run when this process may not make them (app::wire); null:
    // they run here, through the services above.
    ipops::PrivilegedChanges* privileged = nullptr;

    // Guards `snapshot`: workers rebuild it while the UI thread may read it.
    std::mutex snapshotMutex;
    inventory::AdapterSnapshot snapshot;

    settings::SharedSettings settings;

    // Whether the HTTP library the lookup uses can be used; checked at start-up.
    std::function<bool()> httpLibraryUsable = [] { return true; };

    // The key of the range preset the add dialog loaded last ("" until one is loaded); kept
    // while the dialog is closed and opened again. UI thread only.
    std::string currentPresetKey;

    // What the list menu's operations work with.
    ipops::OperationServices services() {
        return {backend, *probe, *store, snapshotMutex, snapshot};
    }

private:
    NoProbe noProbe;
    NoStore noStore;
    NoConfiguration noConfiguration;
};

}  // namespace nicops::ui
