// How the Linux adapter configuration runs other programs: how long it waits for them, and how a
// failed run reads in its messages.
#pragma once

#include <chrono>
#include <string>

#include "platform/linux/host_processes.h"

namespace nicops::platform::linux_host {

inline constexpr std::chrono::seconds kLeaseWait{15};  // a DHCP client binding its lease
inline constexpr std::chrono::seconds kToolWait{10};   // nmcli, resolvectl and dbus-send answering

// Why a program run failed, in one line: its last line of output when it said something.
std::string failureOf(const std::string& program, const ProgramResult& result);

}  // namespace nicops::platform::linux_host
