#include "platform/settings_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace nicops::platform {

#ifdef _WIN32
// On Windows the settings file lives beside the program.
std::string defaultConfigDirectory() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) {
        return {};
    }
    const std::string program(path, length);
    const std::size_t slash = program.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : program.substr(0, slash);
}
#else
namespace {

std::string environmentText(const char* name) {
    const char* v = std::getenv(name);
    return v == nullptr ? std::string() : std::string(v);
}

std::string homeDirectory() {
    std::string home = environmentText("HOME");
    if (!home.empty()) {
        return home;
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

}  // namespace

std::string defaultConfigDirectory() {
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base-directory rules say.
    const std::string xdg = environmentText("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg.front() == '/') {
        return xdg + "/nicops";
    }
    const std::string home = homeDirectory();
    if (home.empty()) {
        return {};
    }
    return home + "/.config/nicops";
}

#endif

std::string settingsFilePath(const std::string& configDir) {
    if (configDir.empty()) {
        return "UserConfig.ini";
    }
    if (configDir.back() == '/') {
        return configDir + "UserConfig.ini";
    }
    return configDir + "/UserConfig.ini";
}

#ifdef _WIN32
bool createConfigDirectory(const std::string& configDir) {
    if (configDir.empty()) {
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(configDir, error);
    return std::filesystem::is_directory(configDir, error);
}
#else
bool createConfigDirectory(const std::string& configDir) {
    if (configDir.empty()) {
        return false;
    }
    // Each prefix ending before a '/' (and the whole path) in turn, so parents come first.
    for (std::size_t pos = 1; pos <= configDir.size(); ++pos) {
        if (pos < configDir.size() && configDir[pos] != '/') {
            continue;
        }
        const std::string part = configDir.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    struct stat st {};
    return ::stat(configDir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
#endif

std::string settingsFolderOf(const std::string& iniPath) {
    const std::size_t slash = iniPath.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        return {};  // the working folder, or the root: nothing to make
    }
    return iniPath.substr(0, slash);
}

bool prepareSettingsFolder(const std::string& iniPath) {
    const std::string folder = settingsFolderOf(iniPath);
    return folder.empty() || createConfigDirectory(folder);
}

}  // namespace nicops::platform
