#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace nicops::platform {

namespace {

bool fail(std::string* error, const std::string& what) {
    if (error != nullptr) {
        *error = what + ": " + std::strerror(errno);
    }
    return false;
}

}  // namespace

bool replaceFileAtomically(const std::string& path, std::string_view content, std::string* error) {
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        return fail(error, "cannot create a temporary file beside " + path);
    }
    // mkstemp creates 0600: the new file keeps the old one's mode, a new file is an ordinary
    // user file.
    struct stat old {};
    (void)::fchmod(fd, ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const bool r = fail(error, "cannot write " + temp);
            ::close(fd);
            ::unlink(temp.c_str());
            return r;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    const bool synced = ::fsync(fd) == 0;
    if (::close(fd) != 0 || !synced) {
        const bool r = fail(error, "cannot flush " + temp);
        ::unlink(temp.c_str());
        return r;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const bool r = fail(error, "cannot replace " + path);
        ::unlink(temp.c_str());
        return r;
    }
    return true;
}

bool readWholeFile(const std::string& path, std::string& content, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return fail(error, "cannot open " + path);
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        return fail(error, "cannot read " + path);
    }
    content = std::move(buffer).str();
    return true;
}

}  // namespace nicops::platform
