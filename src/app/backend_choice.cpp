#include "app/backend_choice.h"

#include <cerrno>
#include <cstring>

#include "platform/file_store.h"
#ifdef _WIN32
#include "platform/windows/icmp_probe_windows.h"
#include "platform/windows/registry_store.h"
#include "platform/windows/windows_backend.h"
#include "platform/windows/wmi_configuration.h"
#else
#include "platform/linux/adapter_configuration_linux.h"
#include "platform/linux/icmp_probe.h"
#include "platform/linux/linux_backend.h"
#endif
#include "platform/live_gateway_store.h"
#include "platform/sim/sim_host.h"

namespace nicops::app {

std::string defaultStorePath(const std::string& simFile) {
    return simFile.empty() ? std::string(platform::kDefaultStorePath) : simFile + ".store.json";
}

namespace {

// The file store at storePath; its gateway values are the backend's live ones.
std::unique_ptr<platform::PersistedStore> storeFor(platform::IpHelper& backend,
                                                   const std::string& storePath) {
    return std::make_unique<platform::LiveGatewayStore>(
        std::make_unique<platform::FileStore>(storePath), backend);
}

}  // namespace

BackendChoice chooseBackend(const std::string& simFile, const std::string& storePath) {
    BackendChoice choice;
    choice.storePath = storePath.empty() ? defaultStorePath(simFile) : storePath;
    if (!simFile.empty()) {
        auto sim = platform::sim::SimHost::open(simFile, choice.error);
        choice.exitCode = sim ? 0 : 1;
        if (sim) {
            choice.probe = sim.get();
            choice.configuration = sim.get();
            choice.store = storeFor(*sim, choice.storePath);
            choice.backend = std::move(sim);
        }
        return choice;
    }
#ifdef _WIN32
    // Without an ICMP handle there is no probe, and the context keeps its stand-in.
    choice.backend = std::make_unique<platform::windows::WindowsBackend>();
    choice.ownedProbe = platform::windows::IcmpEchoProbe::open();
    choice.probe = choice.ownedProbe.get();
    choice.ownedConfiguration = platform::windows::openWmiAdapterConfiguration();
    choice.configuration = choice.ownedConfiguration.get();
    if (storePath.empty()) {
        // The registry itself, gateway values included: the system keeps DefaultGateway and
        // DhcpDefaultGateway in the interface key, so nothing is answered from the live tables.
        choice.store = std::make_unique<platform::windows::RegistryStore>();
        choice.storePath = std::string(kRegistryStoreName);
    }
#else
    errno = 0;
    choice.backend = platform::linux_host::openLinuxBackend();
    if (!choice.backend) {
        const int reason = errno;
        choice.error = "the host's adapters can't be read (" +
                       std::string(reason != 0 ? std::strerror(reason) : "no netlink socket") +
                       "); --sim FILE shows a simulated host";
        choice.exitCode = 1;
        return choice;
    }
    choice.ownedProbe = platform::linux_host::IcmpProbe::open();
    choice.probe = choice.ownedProbe.get();
    choice.ownedConfiguration = platform::linux_host::openLinuxAdapterConfiguration();
    choice.configuration = choice.ownedConfiguration.get();
#endif
    if (!choice.store) {
        choice.store = storeFor(*choice.backend, choice.storePath);
    }
    return choice;
}

void wire(ui::AppContext& context, const BackendChoice& choice) {
    if (choice.probe != nullptr) {
        context.probe = choice.probe;
    }
    if (choice.store != nullptr) {
        context.store = choice.store.get();
    }
    if (choice.configuration != nullptr) {
        context.configuration = choice.configuration;
    }
    context.privileged = choice.privileged.get();
}

}  // namespace nicops::app
