#include "platform/linux/host_processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include "platform/atomic_file.h"

namespace nicops::platform::linux_host {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxOutput = 64 * 1024;
constexpr std::size_t kMaxProcFile = 64 * 1024;

std::string procPath(pid_t pid, const char* entry) {
    return "/proc/" + std::to_string(pid) + "/" + entry;
}

std::optional<std::string> readProcFile(const std::string& path) {
    std::string content;
    if (readRegularFile(path, kMaxProcFile, content) != FileReadStatus::Ok) {
        return std::nullopt;
    }
    return content;
}

std::optional<NamespaceId> namespaceAt(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return NamespaceId{st.st_dev, st.st_ino};
}

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// Appends what can be read now; false once the pipe is at its end.
bool drain(int fd, std::string& output) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            output.append(buffer, std::min(static_cast<std::size_t>(n),
                                           kMaxOutput - std::min(kMaxOutput, output.size())));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

}  // namespace

std::optional<NamespaceId> threadNetworkNamespace() {
    if (auto id = namespaceAt("/proc/thread-self/ns/net")) {
        return id;
    }
    // Kernels before 3.17 have no thread-self.
    return namespaceAt("/proc/self/task/" + std::to_string(::syscall(SYS_gettid)) + "/ns/net");
}

std::optional<NamespaceId> processNetworkNamespace(pid_t pid) {
    return namespaceAt(procPath(pid, "ns/net"));
}

bool processRuns(pid_t pid) {
    if (pid <= 0) {
        return false;
    }
    const auto stat = readProcFile(procPath(pid, "stat"));
    if (!stat) {
        return false;
    }
    // "PID (NAME) STATE ...": the name may hold any byte, ')' included.
    const auto close = stat->rfind(')');
    if (close == std::string::npos || close + 2 >= stat->size()) {
        return false;
    }
    const char state = (*stat)[close + 2];
    return state != 'Z' && state != 'X';
}

std::string processName(pid_t pid) {
    auto name = readProcFile(procPath(pid, "comm")).value_or("");
    if (!name.empty() && name.back() == '\n') {
        name.pop_back();
    }
    return name;
}

std::vector<std::string> processArguments(pid_t pid) {
    const auto raw = readProcFile(procPath(pid, "cmdline"));
    std::vector<std::string> arguments;
    if (!raw) {
        return arguments;
    }
    std::size_t start = 0;
    while (start < raw->size()) {
        auto end = raw->find('\0', start);
        if (end == std::string::npos) {
            end = raw->size();
        }
        arguments.push_back(raw->substr(start, end - start));
        start = end + 1;
    }
    return arguments;
}

std::vector<pid_t> processesInNamespace(std::string_view name, const NamespaceId& ns) {
    std::vector<pid_t> found;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return found;
    }
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') {
            continue;
        }
        const auto id = static_cast<pid_t>(pid);
        if (processName(id) == name && processRuns(id) && processNetworkNamespace(id) == ns) {
            found.push_back(id);
        }
    }
    ::closedir(proc);
    return found;
}

bool stopProcess(pid_t pid, std::chrono::milliseconds grace) {
    const auto waitForEnd = [pid](std::chrono::milliseconds limit) {
        for (const auto deadline = Clock::now() + limit;;) {
            // Our own child is reaped here; anyone else's by its parent.
            (void)::waitpid(pid, nullptr, WNOHANG);
            if (!processRuns(pid)) {
                return true;
            }
            if (Clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(20ms);
        }
    };
    if (!processRuns(pid)) {
        return true;
    }
    (void)::kill(pid, SIGTERM);
    if (waitForEnd(grace)) {
        return true;
    }
    (void)::kill(pid, SIGKILL);
    return waitForEnd(1s);
}

std::string findProgram(const std::string& name) {
    if (name.empty()) {
        return {};
    }
    if (name.find('/') != std::string::npos) {
        return isExecutableFile(name) ? name : std::string();
    }
    std::string folders;
    if (const char* path = std::getenv("PATH")) {
        folders = path;
        folders += ':';
    }
    folders += "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        auto end = folders.find(':', start);
        if (end == std::string::npos) {
            end = folders.size();
        }
        const std::string folder = folders.substr(start, end - start);
        // An empty entry or a relative folder would depend on the working folder.
        if (!folder.empty() && folder.front() == '/' && isExecutableFile(folder + "/" + name)) {
            return folder + "/" + name;
        }
        start = end + 1;
    }
    return {};
}

ProgramResult runProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
    ProgramResult result;
    const std::string path = argv.empty() ? std::string() : findProgram(argv.front());
    if (path.empty()) {
        return result;
    }
    // Everything the child needs is made before fork: between fork and exec only
    // async-signal-safe calls are allowed.
    std::vector<char*> arguments;
    arguments.reserve(argv.size() + 1);
    for (const auto& argument : argv) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    sigset_t noSignals;
    sigemptyset(&noSignals);
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        return result;
    }
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The program starts with no blocked signals and SIGPIPE at its default, whatever this
        // thread had.
        ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        if (devNull >= 0) {
            ::dup2(devNull, STDIN_FILENO);
        }
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(output[1], STDERR_FILENO);
        ::execv(path.c_str(), arguments.data());
        ::_exit(127);
    }
    ::close(output[1]);
    if (devNull >= 0) {
        ::close(devNull);
    }
    if (pid < 0) {
        ::close(output[0]);
        return result;
    }
    result.started = true;
    (void)::fcntl(output[0], F_SETFL, O_NONBLOCK);
    bool open = true;
    int status = 0;
    for (const auto deadline = Clock::now() + limit;;) {
        if (open) {
            open = drain(output[0], result.output);
        }
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            if (open) {
                drain(output[0], result.output);
            }
            if (WIFEXITED(status)) {
                result.exitStatus = WEXITSTATUS(status);
            }
            break;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            result.timedOut = true;
            break;
        }
        const auto wait = std::min<Clock::duration>(deadline - now, 20ms);
        const int waitMs =
            static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(wait).count());
        if (open) {
            pollfd readable{output[0], POLLIN, 0};
            (void)::poll(&readable, 1, std::max(waitMs, 1));
        } else {
            std::this_thread::sleep_for(wait);
        }
    }
    ::close(output[0]);
    return result;
}

}  // namespace nicops::platform::linux_host
