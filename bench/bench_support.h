// What the benchmarks share: timing a command run as a child process, and running a shell
// command for setting up a namespace.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace nicops::bench {

using Clock = std::chrono::steady_clock;

inline double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Starts argv with stdin from `input` and stdout and stderr on /dev/null; its pid, or -1 when
// it could not start.
inline pid_t spawnQuiet(const std::vector<std::string>& args,
                        const std::string& input = "/dev/null") {
    std::vector<char*> argv;
    for (const auto& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Runs argv as spawnQuiet does; wall time in ms, or -1 when it could not start or did not exit
// with 0.
inline double timeCommand(const std::vector<std::string>& args,
                          const std::string& input = "/dev/null") {
    const auto start = Clock::now();
    const pid_t pid = spawnQuiet(args, input);
    if (pid < 0) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double elapsed = millisecondsSince(start);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? elapsed : -1;
}

inline int run(const std::string& command) {
    return std::system(command.c_str());
}

}  // namespace nicops::bench
