// Choosing the host backend from the command line: the simulated host of --sim FILE, or the
// platform's real backend.
#pragma once

#include <memory>
#include <string>

#include "platform/ip_helper.h"

namespace nicops::app {

struct BackendChoice {
    std::unique_ptr<platform::HostBackend> backend;
    std::string error;  // why there is no backend
    int exitCode = 0;   // 1 when there is no backend: the command can't run
};

BackendChoice chooseBackend(const std::string& simFile);

}  // namespace nicops::app
