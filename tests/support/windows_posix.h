// The few POSIX calls that the portable tests make (temporary folders, environment variables),
// for the Windows build, which includes this header in every test source.
#pragma once

#ifdef _WIN32
#include <direct.h>
#include <io.h>

#include <cstdlib>
#include <string>

inline char* mkdtemp(char* pattern) {
    return _mktemp(pattern) != nullptr && _mkdir(pattern) == 0 ? pattern : nullptr;
}

inline int setenv(const char* name, const char* value, int) {
    return _putenv((std::string(name) + "=" + value).c_str());
}

inline int unsetenv(const char* name) {
    return _putenv((std::string(name) + "=").c_str());
}
#endif
