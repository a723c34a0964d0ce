// Whether the calling thread may change addresses and routes: CAP_NET_ADMIN in its effective
// set, else the line that says what is missing.
#pragma once

#include <string>

namespace nicops::platform::linux_host {

// Changing addresses and routes needs CAP_NET_ADMIN in the effective set of the calling thread;
// the line that says so when it is missing, else "".
std::string networkAdministrationProblem();

}  // namespace nicops::platform::linux_host
