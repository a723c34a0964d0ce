#include "platform/atomic_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string_view>
#include <utility>

namespace nicops::platform {

namespace {

// What a temporary file's name adds to the name of the file it replaces.
constexpr std::string_view kTempInfix = ".tmp-";

// A read that gives no content: `status`, with `why` for a caller that asked for the reason.
FileReadStatus refusal(std::string* reason, FileReadStatus status, std::string why) {
    if (reason != nullptr) {
        *reason = std::move(why);
    }
    return status;
}

}  // namespace

#ifdef _WIN32
namespace {

// The length of the folder part of path, its last separator included.
std::size_t folderLength(const std::string& path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? 0 : cut + 1;
}

// A temporary file of an earlier writer of `path` that was ended before it could move its file
// into place: "PATH.tmp-PID-TICKS". A live writer keeps its file open (sharing only the delete
// its own move needs), so an open for deletion that shares nothing succeeds only on a leftover.
void removeLeftovers(const std::string& path) {
    WIN32_FIND_DATAA found{};
    const std::string prefix = path + std::string(kTempInfix);
    HANDLE search = FindFirstFileA((prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string folder = path.substr(0, folderLength(path));
    do {
        // Only the names this writer gives: the file's name, the infix, digits, a dash, digits
        // (the search also matches short 8.3 names).
        const std::string_view name = found.cFileName;
        const std::string_view start = std::string_view(prefix).substr(folderLength(path));
        const std::string_view suffix =
            name.starts_with(start) ? name.substr(start.size()) : std::string_view();
        const std::size_t dash = suffix.find('-');
        const auto digits = [](std::string_view s) {
            return !s.empty() &&
                   std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
        };
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            dash == std::string_view::npos || !digits(suffix.substr(0, dash)) ||
            !digits(suffix.substr(dash + 1))) {
            continue;
        }
        const std::string leftover = folder + found.cFileName;
        HANDLE file = CreateFileA(leftover.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);  // deletes it
        }
    } while (FindNextFileA(search, &found) != 0);
    FindClose(search);
}

}  // namespace

// Windows: the temporary file is written and flushed to the disk, then moved over the old one in
// one step while it is still open, so no other writer can take it for a leftover. Paths are GBK,
// the system's ANSI code page.
bool replaceFileAtomically(const std::string& path, std::string_view content, std::string* error) {
    const auto report = [error](const std::string& what) {
        if (error != nullptr) {
            *error = what + ": error " + std::to_string(GetLastError());
        }
        return false;
    };
    removeLeftovers(path);
    const std::string temp = path + std::string(kTempInfix) +
                             std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount64());
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
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
    if (!flushed || MoveFileExA(temp.c_str(), path.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        const bool r = report((!written   ? "cannot write a temporary file beside "
                               : !flushed ? "cannot flush a temporary file beside "
                                          : "cannot replace ") +
                              path);
        CloseHandle(file);
        DeleteFileA(temp.c_str());
        return r;
    }
    CloseHandle(file);
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

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The folder of path and the name in it.
std::pair<std::string, std::string> splitPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {".", path};
    }
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// "NAME.tmp-" and six characters of mkstemp's: a temporary file of a writer of NAME.
bool isTemporaryName(std::string_view entry, std::string_view name) {
    const std::size_t prefix = name.size() + kTempInfix.size();
    return entry.size() == prefix + 6 && entry.starts_with(name) &&
           entry.substr(name.size(), kTempInfix.size()) == kTempInfix &&
           std::all_of(entry.begin() + static_cast<std::ptrdiff_t>(prefix), entry.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

// Temporary files of earlier writers of `path` that were ended before they renamed theirs. A
// writer holds an exclusive lock on its temporary file from before the file is first seen by
// its name until after the rename, so a name whose file can be locked is a leftover (its
// writer is gone) and is removed; one that is still the same file after the lock is taken, that
// is: a name another writer has just renamed away is left alone.
void removeLeftovers(const std::string& path) {
    const auto [folder, name] = splitPath(path);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTemporaryName(entry->d_name, name)) {
            continue;
        }
        const int fd = ::openat(::dirfd(dir), entry->d_name,
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            continue;
        }
        struct stat held {};
        struct stat named {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
            S_ISREG(held.st_mode) &&
            ::fstatat(::dirfd(dir), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            sameFile(held, named)) {
            (void)::unlinkat(::dirfd(dir), entry->d_name, 0);
        }
        ::close(fd);
    }
    ::closedir(dir);
}

// A temporary file beside path: `fd` to write it through, `lock` a second descriptor of it that
// holds the lock, so the file can be closed after writing (its writer is done with it) while
// its name stays claimed until the rename.
struct Temporary {
    std::string name;
    int fd = -1;
    int lock = -1;
};

// A new temporary file beside path, locked where the file system has locks; false with errno
// set when none can be created.
bool createTemporary(const std::string& path, Temporary& temp) {
    for (;;) {
        temp.name = path + std::string(kTempInfix) + "XXXXXX";
        temp.fd = ::mkstemp(temp.name.data());
        if (temp.fd < 0) {
            return false;
        }
        temp.lock = ::open(temp.name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
        if (temp.lock < 0 && errno != ENOENT) {
            return true;  // written all the same, unclaimed
        }
        if (temp.lock >= 0 && ::flock(temp.lock, LOCK_EX) != 0) {
            ::close(temp.lock);  // a file system without locks: written all the same, unclaimed
            temp.lock = -1;
            return true;
        }
        // Between mkstemp and the lock another writer's sweep may have taken the file for a
        // leftover and removed it: once locked, the name must still be this file.
        struct stat held {};
        struct stat named {};
        if (temp.lock >= 0 && ::fstat(temp.fd, &held) == 0 &&
            ::stat(temp.name.c_str(), &named) == 0 && sameFile(held, named)) {
            return true;
        }
        if (temp.lock >= 0) {
            ::close(temp.lock);
        }
        ::close(temp.fd);
    }
}

// The folder's entry of the rename reaches the disk, too.
void syncFolder(const std::string& path) {
    const int fd = ::open(splitPath(path).first.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

bool replaceFileAtomically(const std::string& path, std::string_view content, std::string* error) {
    removeLeftovers(path);
    Temporary temp;
    if (!createTemporary(path, temp)) {
        return fail(error, "cannot create a temporary file beside " + path);
    }
    const auto release = [&temp] {
        if (temp.lock >= 0) {
            ::close(temp.lock);  // lets go of the name
        }
    };
    const auto abandon = [&](const std::string& what, bool open) {
        const bool r = fail(error, what);
        ::unlink(temp.name.c_str());
        if (open) {
            ::close(temp.fd);
        }
        release();
        return r;
    };
    // mkstemp creates 0600: the new file keeps the old one's mode, a new file is an ordinary
    // user file.
    struct stat old {};
    (void)::fchmod(temp.fd, ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(temp.fd, data, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return abandon("cannot write a temporary file beside " + path, true);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(temp.fd) != 0) {
        return abandon("cannot flush a temporary file beside " + path, true);
    }
    if (::close(temp.fd) != 0) {
        return abandon("cannot flush a temporary file beside " + path, false);
    }
    if (::rename(temp.name.c_str(), path.c_str()) != 0) {
        return abandon("cannot replace " + path, false);
    }
    release();
    syncFolder(path);
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
