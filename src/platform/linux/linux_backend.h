// The host's real adapters on Linux: rtnetlink dumps, sysfs and the resolver and lease files.
#pragma once

#include <memory>

#include "platform/ip_helper.h"

namespace nicops::platform::linux_host {

// The backend of the machine (or network namespace) the process runs in; nullptr when it can't
// be opened.
std::unique_ptr<HostBackend> openLinuxBackend();

}  // namespace nicops::platform::linux_host
