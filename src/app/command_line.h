// What the programs' command lines share: usage errors, --help, option values.
#pragma once

#include <string>

namespace nicops::app {

// A usage error: exit status 2, one line saying what is wrong.
struct UsageError {
    std::string what;
};

// True when any argument is --help or -h.
bool asksForHelp(int argc, char** argv);

// The value that follows the option argv[i]; moves i past it. A missing or empty value is a
// usage error.
std::string optionValue(int argc, char** argv, int& i);

}  // namespace nicops::app
