#include "app/backend_choice.h"

#include <cerrno>
#include <cstring>

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
    errno = 0;
    choice.backend = platform::linux_host::openLinuxBackend();
    if (!choice.backend) {
        const int reason = errno;
        choice.error = "the host's adapters can't be read (" +
                       std::string(reason != 0 ? std::strerror(reason) : "no netlink socket") +
                       "); --sim FILE shows a simulated host";
        choice.exitCode = 1;
    }
    return choice;
}

}  // namespace nicops::app
