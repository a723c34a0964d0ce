#include "app/backend_choice.h"

#include "platform/linux/linux_backend.h"
#include "platform/sim/sim_host.h"

namespace nicops::app {

BackendChoice chooseBackend(const std::string& simFile) {
    BackendChoice choice;
    if (!simFile.empty()) {
        choice.backend = platform::sim::SimHost::open(simFile, choice.error);
        choice.exitCode = choice.backend ? 0 : 1;
        return choice;
    }
    choice.backend = platform::linux_host::openLinuxBackend();
    if (!choice.backend) {
        choice.error = "the host's adapters can't be read here; use --sim FILE";
        choice.exitCode = 2;
    }
    return choice;
}

}  // namespace nicops::app
