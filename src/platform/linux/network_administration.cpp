#include "platform/linux/network_administration.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace nicops::platform::linux_host {

namespace {

// Whether the calling thread holds CAP_NET_ADMIN in its effective set.
bool mayAdministerNetwork() {
    __user_cap_header_struct header{};
    header.version = _LINUX_CAPABILITY_VERSION_3;
    header.pid = 0;
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return ::geteuid() == 0;
    }
    return (data[CAP_TO_INDEX(CAP_NET_ADMIN)].effective & CAP_TO_MASK(CAP_NET_ADMIN)) != 0;
}

}  // namespace

std::string networkAdministrationProblem() {
    if (mayAdministerNetwork()) {
        return {};
    }
    return "更改IP地址需要root权限或CAP_NET_ADMIN能力.";
}

}  // namespace nicops::platform::linux_host
