// What the programs' command lines share: usage errors, --help, --version, option values, the
// settings folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nicops::app {

// A usage error: exit status 2, one line saying what is wrong.
struct UsageError {
    std::string what;
};

// True when any argument is --help or -h.
bool asksForHelp(int argc, char** argv);

// True when any argument is --version.
bool asksForVersion(int argc, char** argv);

// "PROGRAM VERSION\n", what --version prints.
std::string versionText(std::string_view program);

// The value of the option `name` when argv[i] is that option: "--name VALUE" (i moves past
// VALUE) or "--name=VALUE". Nothing when argv[i] is another argument. A missing or empty value
// is a usage error.
std::optional<std::string> optionValue(int argc, char** argv, int& i, std::string_view name);

// --config DIR: a folder that doesn't exist yet is fine (no settings file, so the defaults),
// but a name that exists as something else, or can't be a folder at all, is a usage error.
void checkConfigDirectory(const std::string& dir);

}  // namespace nicops::app
