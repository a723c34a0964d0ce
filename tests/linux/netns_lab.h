// A network namespace for one test: created on construction, deleted on destruction (also when
// the test fails), so the machine's own links, routes and resolver are never touched. Commands
// run inside it through `ip -n` / `ip netns exec`; C++ code runs inside it on a dedicated thread
// that joined the namespace.
//
// sysfs shows the links of the namespace that mounted it, not of the reader. The thread that
// runs code inside therefore also gets a private mount namespace with a fresh sysfs on /sys
// (what `ip netns exec` does for a command), so the backend's default paths read the
// namespace's own /sys/class/net.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace nicops::linux_test {

struct CommandResult {
    int status = -1;     // exit status, -1 when the command could not run
    std::string output;  // stdout and stderr
};

inline CommandResult runCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// Quotes a word for /bin/sh.
inline std::string shellQuote(const std::string& word) {
    std::string out = "'";
    for (char c : word) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// Why namespace tests can't run here; empty when they can.
inline std::string namespaceSkipReason() {
    if (::geteuid() != 0) {
        return "needs root to create network namespaces (run the suite as root)";
    }
    if (runCommand("ip -V").status != 0) {
        return "the ip command (iproute2) is missing";
    }
    return {};
}

// A process started with /bin/sh -c (in the namespaces of the calling thread), in a process
// group of its own; the group is terminated and the process reaped on destruction.
class ChildProcess {
public:
    explicit ChildProcess(const std::string& command) {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setpgid(0, 0);
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~ChildProcess() {
        if (pid_ <= 0) {
            return;
        }
        ::kill(-pid_, SIGTERM);
        for (int i = 0; i < 50; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::kill(-pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // Whether the process has ended (it is reaped then).
    bool ended() {
        if (pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
        }
        return pid_ <= 0;
    }

private:
    pid_t pid_ = -1;
};

// A new folder /tmp/PREFIX-XXXXXX, removed with everything in it on destruction.
struct TempFolder {
    std::filesystem::path path;
    explicit TempFolder(const std::string& prefix) {
        std::string pattern = "/tmp/" + prefix + "-XXXXXX";
        path = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

inline std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Netns {
public:
    Netns() {
        static std::atomic<int> counter{0};
        removeLeftovers();
        name_ = "nicops-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        const auto added = runCommand("ip netns add " + name_);
        created_ = added.status == 0;
        if (!created_) {
            ADD_FAILURE() << "ip netns add " << name_ << ": " << added.output;
        } else {
            ip("link set lo up");
        }
    }
    ~Netns() {
        if (created_) {
            runCommand("ip netns del " + name_);
        }
    }
    Netns(const Netns&) = delete;
    Netns& operator=(const Netns&) = delete;

    const std::string& name() const { return name_; }
    bool created() const { return created_; }

    // `ip -n NAME ARGS`; a failure is reported as a test failure.
    CommandResult ip(const std::string& args) {
        auto result = runCommand("ip -n " + name_ + " " + args);
        if (result.status != 0) {
            ADD_FAILURE() << "ip -n " << name_ << " " << args << ": " << result.output;
        }
        return result;
    }
    // The link's IPv4 addresses with their prefix lengths ("10.0.0.1/24"), in the kernel's
    // order, as `ip` lists them.
    std::vector<std::string> ipv4Addresses(const std::string& link) {
        const auto listed = ip("-o -4 addr show dev " + link);
        std::vector<std::string> out;
        std::istringstream lines(listed.output);
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream words(line);
            std::string word;
            while (words >> word) {
                if (word == "inet" && words >> word) {
                    out.push_back(word);
                }
            }
        }
        return out;
    }
    // A shell command inside the namespace (with its own mount namespace and /sys).
    CommandResult exec(const std::string& command) {
        return runCommand("ip netns exec " + name_ + " sh -c " + shellQuote(command));
    }
    // The interface index of a link.
    std::uint32_t indexOf(const std::string& link) {
        auto result = exec("cat /sys/class/net/" + link + "/ifindex");
        return static_cast<std::uint32_t>(std::strtoul(result.output.c_str(), nullptr, 10));
    }

    // Runs f() on a new thread inside the namespace and returns its result. A thread that can't
    // enter is reported as a failure and f is not run (the result is then a default value).
    template <typename F>
    auto inside(F&& f) -> std::invoke_result_t<F&> {
        using Result = std::invoke_result_t<F&>;
        std::string error;
        std::conditional_t<std::is_void_v<Result>, int, std::optional<Result>> result{};
        std::thread worker([&] {
            error = enterOnThisThread();
            if (!error.empty()) {
                return;
            }
            if constexpr (std::is_void_v<Result>) {
                f();
            } else {
                result = f();
            }
        });
        worker.join();
        if (!error.empty()) {
            ADD_FAILURE() << "entering " << name_ << ": " << error;
        }
        if constexpr (!std::is_void_v<Result>) {
            return result ? std::move(*result) : Result{};
        }
    }

private:
    std::string enterOnThisThread() {
        const std::string path = "/var/run/netns/" + name_;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return path + ": " + std::strerror(errno);
        }
        const int joined = ::setns(fd, CLONE_NEWNET);
        const int setnsErrno = errno;
        ::close(fd);
        if (joined != 0) {
            return std::string("setns: ") + std::strerror(setnsErrno);
        }
        // A private mount namespace for this thread only, with this namespace's sysfs on /sys.
        if (::unshare(CLONE_NEWNS) != 0) {
            return std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
        }
        if (::mount("", "/", nullptr, MS_SLAVE | MS_REC, nullptr) != 0) {
            return std::string("making / a slave mount: ") + std::strerror(errno);
        }
        ::umount2("/sys", MNT_DETACH);
        if (::mount(name_.c_str(), "/sys", "sysfs", 0, nullptr) != 0) {
            return std::string("mounting sysfs: ") + std::strerror(errno);
        }
        return {};
    }

    // Namespaces of test processes that died before they could delete theirs.
    static void removeLeftovers() {
        static std::atomic<bool> done{false};
        if (done.exchange(true)) {
            return;
        }
        std::error_code error;
        for (std::filesystem::directory_iterator it("/var/run/netns", error), end;
             !error && it != end; it.increment(error)) {
            const std::string name = it->path().filename().string();
            constexpr std::string_view prefix = "nicops-test-";
            if (name.rfind(prefix, 0) != 0) {
                continue;
            }
            const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
            if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
                runCommand("ip netns del " + name);
            }
        }
    }

    std::string name_;
    bool created_ = false;
};

}  // namespace nicops::linux_test
