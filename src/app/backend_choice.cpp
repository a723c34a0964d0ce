#include "app/backend_choice.h"

#include <cerrno>
#include <cstring>

#include "platform/file_store.h"
#include "platform/linux/icmp_probe.h"
#include "platform/linux/linux_backend.h"
#include "platform/sim/sim_host.h"

namespace nicops::app {

std::string defaultStorePath(const std::string& simFile) {
    return simFile.empty() ? std::string(platform::kDefaultStorePath) : simFile + ".store.json";
}

BackendChoice chooseBackend(const std::string& simFile, const std::string& storePath) {
    BackendChoice choice;
    choice.storePath = storePath.empty() ? defaultStorePath(simFile) : storePath;
    if (!simFile.empty()) {
        auto sim = platform::sim::SimHost::open(simFile, choice.error);
        choice.exitCode = sim ? 0 : 1;
        if (sim) {
            choice.probe = sim.get();
            choice.backend = std::move(sim);
            choice.store = std::make_unique<platform::FileStore>(choice.storePath);
        }
        return choice;
    }
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
    choice.store = std::make_unique<platform::FileStore>(choice.storePath);
    return choice;
}

}  // namespace nicops::app
