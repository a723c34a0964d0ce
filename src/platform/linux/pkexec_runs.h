// Running a program as root through pkexec, the desktop's elevation tool: polkit decides by the
// action whose exec path is the program, and asks the user through the desktop's agent (never on
// a terminal). The subject polkit authorises is the calling process, so an authorisation the
// action keeps for a while covers this process's later runs.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nicops::platform::linux_host {

// pkexec as findProgram finds it; "" when there is none.
std::string findPkexec();

struct ElevatedRun {
    bool started = false;  // pkexec was started
    // pkexec ended with 126 (the user dismissed the authentication) or 127 (not authorised, no
    // agent, or the program could not be run): the program never ran.
    bool refused = false;
    int exitStatus = -1;  // the program's exit status; -1 when a signal ended it
};

// Runs `pkexec PROGRAM ARGS...` (argv[0] the program's absolute path) with `input` as its
// standard input, standard output discarded, and each line of its standard error (without the
// line end) handed to `onLine` on the calling thread as it comes. The environment is PATH and
// LC_ALL=C.UTF-8 only, so the program writes UTF-8 whatever this process's locale is. Waits for
// the end however long the user takes to answer.
ElevatedRun runElevated(const std::string& pkexec, const std::vector<std::string>& argv,
                        const std::string& input,
                        const std::function<void(std::string_view line)>& onLine);

}  // namespace nicops::platform::linux_host
