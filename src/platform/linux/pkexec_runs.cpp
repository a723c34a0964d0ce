#include "platform/linux/pkexec_runs.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/host_processes.h"

namespace nicops::platform::linux_host {

namespace {

// The input as a file the child reads from its start: nothing to feed while the user decides,
// and no broken pipe when pkexec ends without reading.
int inputFile(const std::string& input) {
    const int fd = ::memfd_create("nicops-input", MFD_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    for (std::size_t written = 0; written < input.size();) {
        const ssize_t n = ::write(fd, input.data() + written, input.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        written += static_cast<std::size_t>(n);
    }
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Hands every complete line of `pending` to onLine and keeps the rest.
void passLines(std::string& pending, const std::function<void(std::string_view)>& onLine) {
    std::size_t start = 0;
    for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
        onLine(std::string_view(pending).substr(start, end - start));
    }
    pending.erase(0, start);
}

}  // namespace

std::string findPkexec() {
    return findProgram("pkexec");
}

ElevatedRun runElevated(const std::string& pkexec, const std::vector<std::string>& argv,
                        const std::string& input,
                        const std::function<void(std::string_view line)>& onLine) {
    ElevatedRun run;
    // Everything the child needs is made before fork: between fork and exec only
    // async-signal-safe calls are allowed.
    std::vector<std::string> words{pkexec, "--disable-internal-agent"};
    words.insert(words.end(), argv.begin(), argv.end());
    std::vector<char*> arguments;
    arguments.reserve(words.size() + 1);
    for (std::string& word : words) {
        arguments.push_back(word.data());
    }
    arguments.push_back(nullptr);
    std::string path = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
    std::string locale = "LC_ALL=C.UTF-8";
    char* environment[] = {path.data(), locale.data(), nullptr};
    sigset_t noSignals;
    sigemptyset(&noSignals);

    const int in = inputFile(input);
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    int errors[2];
    if (in < 0 || devNull < 0 || ::pipe2(errors, O_CLOEXEC) != 0) {
        for (int fd : {in, devNull}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
        return run;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        ::dup2(in, STDIN_FILENO);
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(errors[1], STDERR_FILENO);
        ::execve(pkexec.c_str(), arguments.data(), environment);
        ::_exit(127);
    }
    ::close(in);
    ::close(devNull);
    ::close(errors[1]);
    if (pid < 0) {
        ::close(errors[0]);
        return run;
    }
    run.started = true;

    // Lines until the end of the pipe, or until the program has ended: a daemon it started may
    // hold the pipe open.
    (void)::fcntl(errors[0], F_SETFL, O_NONBLOCK);
    std::string pending;
    int status = 0;
    bool ended = false;
    for (bool open = true; open && !ended;) {
        pollfd readable{errors[0], POLLIN, 0};
        (void)::poll(&readable, 1, 100);
        ended = ::waitpid(pid, &status, WNOHANG) == pid;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(errors[0], buffer, sizeof buffer);
            if (n > 0) {
                pending.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            open = n < 0 && (errno == EAGAIN || errno == EINTR);
            break;
        }
        passLines(pending, onLine);
    }
    ::close(errors[0]);
    if (!pending.empty()) {
        onLine(pending);
    }
    while (!ended && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        const int code = WEXITSTATUS(status);
        run.refused = code == 126 || code == 127;
        run.exitStatus = code;
    }
    return run;
}

}  // namespace nicops::platform::linux_host
