// The system bus as the adapter configuration asks it: which process owns a bus name. Over D-Bus
// a network namespace still reaches the managers of the machine, so a manager is only talked to
// when the bus names one of the processes of this namespace as the owner of its name.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace nicops::platform::linux_host {

// Whether the system bus names one of `processes` as the owner of `busName`: only then does
// what is sent to that name reach them, and not a manager of another namespace.
bool busOwnerIsOneOf(const std::string& busName, const std::vector<pid_t>& processes);

}  // namespace nicops::platform::linux_host
