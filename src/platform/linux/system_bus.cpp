#include "platform/linux/system_bus.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "platform/linux/program_runs.h"

namespace nicops::platform::linux_host {

bool busOwnerIsOneOf(const std::string& busName, const std::vector<pid_t>& processes) {
    const auto answer =
        runProgram({"dbus-send", "--system", "--print-reply", "--dest=org.freedesktop.DBus",
                    "/org/freedesktop/DBus", "org.freedesktop.DBus.GetConnectionUnixProcessID",
                    "string:" + busName},
                   kToolWait);
    constexpr std::string_view kNumber = "uint32 ";
    const auto at = answer.output.find(kNumber);
    if (answer.exitStatus != 0 || at == std::string::npos) {
        return false;
    }
    const long owner = std::strtol(answer.output.c_str() + at + kNumber.size(), nullptr, 10);
    return std::find(processes.begin(), processes.end(), static_cast<pid_t>(owner)) !=
           processes.end();
}

}  // namespace nicops::platform::linux_host
