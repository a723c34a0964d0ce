#include "platform/linux/linux_backend.h"

namespace nicops::platform::linux_host {

std::unique_ptr<HostBackend> openLinuxBackend() { return nullptr; }

}  // namespace nicops::platform::linux_host
