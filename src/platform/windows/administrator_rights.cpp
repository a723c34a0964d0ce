#include "platform/windows/administrator_rights.h"

// clang-format off
#include <windows.h>
// clang-format on

namespace nicops::platform::windows {

namespace {

// Whether the calling thread's token has the group enabled (CheckTokenMembership looks at the
// impersonation token, else at a copy of the process's).
bool inGroup(WELL_KNOWN_SID_TYPE group) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    if (!CreateWellKnownSid(group, nullptr, sid, &size)) {
        return false;
    }
    BOOL member = FALSE;
    return CheckTokenMembership(nullptr, sid, &member) && member;
}

bool tokenIsElevated() {
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated =
        GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
        elevation.TokenIsElevated != 0;
    CloseHandle(token);
    return elevated;
}

}  // namespace

bool mayAdministerNetwork() {
    return inGroup(WinBuiltinAdministratorsSid) || tokenIsElevated() ||
           inGroup(WinBuiltinNetworkConfigurationOperatorsSid);
}

std::string administratorRightsProblem(RightsCheck check) {
    if (check()) {
        return {};
    }
    return "更改IP地址需要管理员权限.";
}

}  // namespace nicops::platform::windows
