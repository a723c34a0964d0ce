// Whether the calling thread may change the host's addresses and adapter settings: its token
// (the one it impersonates, else the process's) is elevated, or holds Administrators or Network
// Configuration Operators as an enabled group. Without that the IP helper answers
// ERROR_ACCESS_DENIED (5) to every add and delete, and WMI refuses every change.
#pragma once

#include <cstdint>
#include <string>

namespace nicops::platform::windows {

// What the IP helper answers an add or delete without the rights.
inline constexpr std::uint32_t kAccessDenied = 5;

// The check itself; a stand-in takes its place in the tests (Wine counts every token as
// elevated).
using RightsCheck = bool (*)();
bool mayAdministerNetwork();

// The line that says the rights are missing, when `check` says so; else "".
std::string administratorRightsProblem(RightsCheck check);

}  // namespace nicops::platform::windows
