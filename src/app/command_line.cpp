#include "app/command_line.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#ifndef NICOPS_VERSION
#define NICOPS_VERSION "0.0.0"
#endif

namespace nicops::app {

namespace {

bool anyArgument(int argc, char** argv, std::initializer_list<std::string_view> words) {
    for (int i = 1; i < argc; ++i) {
        for (std::string_view word : words) {
            if (argv[i] == word) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

bool asksForHelp(int argc, char** argv) {
    return anyArgument(argc, argv, {"--help", "-h"});
}

bool asksForVersion(int argc, char** argv) {
    return anyArgument(argc, argv, {"--version"});
}

std::string versionText(std::string_view program) {
    return std::string(program) + " " + NICOPS_VERSION + "\n";
}

std::optional<std::string> optionValue(int argc, char** argv, int& i, std::string_view name) {
    const std::string_view arg = argv[i];
    if (arg.substr(0, name.size()) != name) {
        return std::nullopt;
    }
    std::string value;
    if (arg.size() == name.size()) {
        if (i + 1 < argc) {
            value = argv[++i];
        }
    } else if (arg[name.size()] == '=') {
        value = arg.substr(name.size() + 1);
    } else {
        return std::nullopt;  // a longer option that starts with `name`
    }
    if (value.empty()) {
        throw UsageError{std::string(name) + " needs a value"};
    }
    return value;
}

void checkConfigDirectory(const std::string& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) {
            throw UsageError{"--config '" + dir + "' is not a folder"};
        }
        return;
    }
    // Missing, or out of reach: the settings file can't be read, so the defaults apply, as
    // for a missing file.
    if (errno != ENOENT && errno != EACCES) {
        throw UsageError{"--config '" + dir + "' can't be a folder (" + std::strerror(errno) + ")"};
    }
}

}  // namespace nicops::app
