#include "platform/atomic_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>

namespace nicops::platform {

namespace {

// A read that gives no content: `status`, with `why` for a caller that asked for the reason.
FileReadStatus refusal(std::string* reason, FileReadStatus status, std::string why) {
    if (reason != nullptr) {
        *reason = std::move(why);
    }
    return status;
}

}  // namespace

#ifdef _WIN32
// Windows: the temporary file is written and flushed to the disk, then moved over the old one in
// one step. Paths are GBK, the system's ANSI code page.
bool replaceFileAtomically(const std::string& path, std::string_view content, std::string* error) {
    const auto report = [error](const std::string& what) {
        if (error != nullptr) {
            *error = what + ": error " + std::to_string(GetLastError());
        }
        return false;
    };
    const std::string temp = path + "." + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount64()) + ".tmp";
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return report("cannot create a temporary file beside " + path);
    }
    bool written = true;
    for (std::size_t done = 0; written && done < content.size();) {
        DWORD n = 0;
        const auto chunk =
            static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1u << 30));
        written = WriteFile(file, content.data() + done, chunk, &n, nullptr) != 0;
        done += n;
    }
    const bool flushed = written && FlushFileBuffers(file) != 0;
    CloseHandle(file);
    if (!flushed || MoveFileExA(temp.c_str(), path.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        const bool r = report((flushed ? "cannot replace " : "cannot write ") + path);
        DeleteFileA(temp.c_str());
        return r;
    }
    return true;
}

// Windows has no FIFOs in the file system: the type is checked, then the file read.
FileReadStatus readRegularFile(const std::string& path, std::size_t maxBytes, std::string& content,
                               std::string* reason) {
    content.clear();
    auto refuse = [reason](FileReadStatus status, std::string why) {
        return refusal(reason, status, std::move(why));
    };
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                   ? refuse(FileReadStatus::Missing, "no such file")
                   : refuse(FileReadStatus::Unreadable,
                            "cannot be opened: error " + std::to_string(code));
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return refuse(FileReadStatus::IsDirectory, "is a folder, not a file");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return refuse(FileReadStatus::Unreadable, "cannot be opened");
    }
    const std::string tooLarge = "is larger than " + std::to_string(maxBytes) + " bytes";
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        // The file may grow while it is read: the cap holds for what is read.
        if (content.size() + static_cast<std::size_t>(in.gcount()) > maxBytes) {
            content.clear();
            return refuse(FileReadStatus::TooLarge, tooLarge);
        }
        content.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        content.clear();
        return refuse(FileReadStatus::Unreadable, "cannot be read");
    }
    return FileReadStatus::Ok;
}
#else
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

FileReadStatus readRegularFile(const std::string& path, std::size_t maxBytes, std::string& content,
                               std::string* reason) {
    content.clear();
    auto refuse = [reason](FileReadStatus status, std::string why) {
        return refusal(reason, status, std::move(why));
    };
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return errno == ENOENT ? refuse(FileReadStatus::Missing, "no such file")
                               : refuse(FileReadStatus::Unreadable,
                                        std::string("cannot be opened: ") + std::strerror(errno));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return refuse(FileReadStatus::Unreadable,
                      std::string("cannot be read: ") + std::strerror(errno));
    }
    if (S_ISDIR(st.st_mode)) {
        return refuse(FileReadStatus::IsDirectory, "is a folder, not a file");
    }
    if (!S_ISREG(st.st_mode)) {
        return refuse(FileReadStatus::NotRegular, "is not a regular file");
    }
    const std::string tooLarge = "is larger than " + std::to_string(maxBytes) + " bytes";
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        return refuse(FileReadStatus::TooLarge, tooLarge);
    }
    content.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            content.clear();
            return refuse(FileReadStatus::Unreadable,
                          std::string("cannot be read: ") + std::strerror(errno));
        }
        if (n == 0) {
            return FileReadStatus::Ok;
        }
        // The file may grow while it is read: the cap holds for what is read, too.
        if (content.size() + static_cast<std::size_t>(n) > maxBytes) {
            content.clear();
            return refuse(FileReadStatus::TooLarge, tooLarge);
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
}

#endif

bool readWholeFile(const std::string& path, std::string& content, std::string* error) {
    constexpr std::size_t kMaxBytes = std::size_t{256} << 20;
    return readRegularFile(path, kMaxBytes, content, error) == FileReadStatus::Ok;
}

}  // namespace nicops::platform
