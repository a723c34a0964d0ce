#include "app/data_output.h"

#include <fcntl.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace nicops::app {

DataOutput::DataOutput(const char* program) : program_(program) {
#ifdef _WIN32
    // Windows has no SIGPIPE, and its programs start with the three handles set. The standard
    // streams carry the bytes as they are, as on Linux: lines end LF, and a byte 0x1A ends
    // nothing.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        _setmode(fd, _O_BINARY);
    }
#else
    std::signal(SIGPIPE, SIG_IGN);
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        const int held = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (held != -1 && held != fd) {  // lower numbers are open, so this is rare
            ::dup2(held, fd);
            ::close(held);
        }
        if (fd == STDOUT_FILENO) {
            stdoutClosed_ = true;
        }
    }
#endif
}

bool DataOutput::write(std::string_view data) {
    if (errno_ != 0) {
        return false;
    }
    if (data.empty()) {
        return true;  // nothing is lost, even on a closed stdout
    }
    if (stdoutClosed_) {
        errno_ = EBADF;
        return false;
    }
    // Straight to the descriptor: nothing is left in a buffer to fail unnoticed at exit.
    while (!data.empty()) {
        const ssize_t n = ::write(STDOUT_FILENO, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            errno_ = errno;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

int DataOutput::writeStatus(std::string_view data) {
    if (write(data)) {
        return 0;
    }
    std::fprintf(stderr, "%s: %s\n", program_, error().c_str());
    return 1;
}

std::string DataOutput::error() const {
    return std::string("cannot write the output (") + std::strerror(errno_) + ")";
}

}  // namespace nicops::app
