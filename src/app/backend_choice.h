// Choosing the host backend from the command line: the simulated host of --sim FILE, or the
// platform's real backend; with it the in-use probe and the persisted store that go with it, and
// wiring the choice into the application context.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "ipops/privileged_changes.h"
#include "platform/adapter_configuration.h"
#include "platform/address_probe.h"
#include "platform/ip_helper.h"
#include "platform/persisted_store.h"
#include "ui/app_context.h"

namespace nicops::app {

struct BackendChoice {
    std::unique_ptr<platform::HostBackend> backend;
    // The in-use probe: the simulated host itself, or the platform's echo probe (owned here).
    platform::AddressProbe* probe = nullptr;
    std::unique_ptr<platform::AddressProbe> ownedProbe;
    // Switching adapters between DHCP and static addressing: the simulated host itself, or the
    // platform's (owned here).
    platform::AdapterConfiguration* configuration = nullptr;
    std::unique_ptr<platform::AdapterConfiguration> ownedConfiguration;
    // The persisted store: on Windows without --sim and --store the registry (storePath is then
    // kRegistryStoreName); else a file store at storePath, whose gateway values are the
    // backend's live ones (platform/live_gateway_store.h).
    std::unique_ptr<platform::PersistedStore> store;
    std::string storePath;
    // Where the window's changes run when its process may not make them (the window sets it:
    // app/privileged_changes.h); null: in the process.
    std::unique_ptr<ipops::PrivilegedChanges> privileged;
    std::string error;  // why there is no backend
    int exitCode = 0;   // 1 when there is no backend: the command can't run
};

// Where the registry store keeps the address sets, as messages name it.
inline constexpr std::string_view kRegistryStoreName =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces";

// The store file the programs use when --store is not given: beside the simulated host's
// file (FILE + ".store.json"), else the system's store file (on Windows the registry is used
// instead).
std::string defaultStorePath(const std::string& simFile);

// storePath "" means defaultStorePath(simFile); on Windows without simFile, the registry.
BackendChoice chooseBackend(const std::string& simFile, const std::string& storePath = {});

// Points the context's in-use probe, persisted store, adapter configuration and privileged path
// at the choice's;
// where the choice has none (no ICMP handle could be opened), the context keeps its stand-in. The
// choice must outlive the context.
void wire(ui::AppContext& context, const BackendChoice& choice);

}  // namespace nicops::app
