// Other programs of the host as the Linux side needs them: running one with a deadline (fork and
// exec, no shell), finding running processes by name in one network namespace, stopping one.
// Processes started here inherit the calling thread's namespaces.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nicops::platform::linux_host {

// A namespace as the kernel names it: the device and inode of its nsfs entry.
struct NamespaceId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const NamespaceId&) const = default;
};

// The network namespace of the calling thread; nullopt when /proc can't tell.
std::optional<NamespaceId> threadNetworkNamespace();
// The network namespace of a process; nullopt when it can't be examined (it ended, or the
// caller may not look).
std::optional<NamespaceId> processNetworkNamespace(pid_t pid);

// Whether the process exists and has not ended (a zombie has ended).
bool processRuns(pid_t pid);
// Its name (/proc/PID/comm: the program's file name, cut at 15 bytes); "" when it is gone.
std::string processName(pid_t pid);
// Its arguments, argv[0] first; empty when it is gone or has ended.
std::vector<std::string> processArguments(pid_t pid);
// The running processes named `name` (as processName gives it) whose network namespace is
// `ns`; a process that can't be examined is left out.
std::vector<pid_t> processesInNamespace(std::string_view name, const NamespaceId& ns);
// SIGTERM, then SIGKILL when it still runs after `grace`; true once it has ended.
bool stopProcess(pid_t pid, std::chrono::milliseconds grace);

// The program to run for `name`: a name with a slash as it is, else the first executable file
// of that name in the folders of PATH, then /usr/local/sbin, /usr/local/bin, /usr/sbin, /usr/bin,
// /sbin, /bin; "" when there is none.
std::string findProgram(const std::string& name);

struct ProgramResult {
    bool started = false;
    bool timedOut = false;  // killed when its time was up
    int exitStatus = -1;    // the exit status, -1 when it was killed by a signal or never ran
    std::string output;     // its standard output and error, at most 64 KiB
};

// Runs argv (argv[0] as findProgram finds it) with standard input on /dev/null and waits at
// most `limit` for it to end; a program still running then is killed. Only the program itself
// is waited for: a daemon it leaves behind keeps running.
ProgramResult runProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit);

}  // namespace nicops::platform::linux_host
