#include "app/command_line.h"

#include <cstring>

namespace nicops::app {

bool asksForHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return true;
        }
    }
    return false;
}

std::string optionValue(int argc, char** argv, int& i) {
    if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        throw UsageError{std::string(argv[i]) + " needs a value"};
    }
    return argv[++i];
}

}  // namespace nicops::app
