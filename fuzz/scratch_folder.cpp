#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "fuzz_check.h"

namespace nicops::fuzz {

namespace {

constexpr const char* kPrefix = "nicops-fuzz.";
char folderPath[4096];  // no destructor: the exit handler still reads it

void removeFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folderPath, ignored);
}

// Folders of runs that ended without their exit handler (a crash, a time-out).
void removeStaleFolders(const std::filesystem::path& base) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(base, ignored)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kPrefix, 0) != 0) {
            continue;
        }
        const long pid = std::strtol(name.c_str() + std::strlen(kPrefix), nullptr, 10);
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            std::filesystem::remove_all(entry.path(), ignored);
        }
    }
}

}  // namespace

std::string scratchFolder() {
    if (folderPath[0] == '\0') {
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base)) {
            base = std::filesystem::temp_directory_path();
        }
        removeStaleFolders(base);
        const auto path = base / (kPrefix + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        std::strncpy(folderPath, path.c_str(), sizeof folderPath - 1);
        std::atexit(removeFolder);
    }
    return folderPath;
}

}  // namespace nicops::fuzz
