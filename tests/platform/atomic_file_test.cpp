#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <set>
#include <string>

#include "support/temp_dir.h"

namespace nicops::platform {
namespace {

namespace fs = std::filesystem;
using nicops::testing::TempDir;

// A temporary file of a writer that is still at work, as the writer holds it.
class LiveWriterFile {
public:
    explicit LiveWriterFile(const std::string& path) {
#ifdef _WIN32
        handle_ = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
#else
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        lock_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        (void)::flock(lock_, LOCK_EX);
#endif
    }
    ~LiveWriterFile() {
        end();
    }
    void end() {
#ifdef _WIN32
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }
#else
        for (int* fd : {&fd_, &lock_}) {
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
        }
#endif
    }

private:
#ifdef _WIN32
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
    int fd_ = -1;
    int lock_ = -1;
#endif
};

std::set<std::string> names(const fs::path& dir) {
    std::set<std::string> out;
    for (const auto& entry : fs::directory_iterator(dir)) {
        out.insert(entry.path().filename().string());
    }
    return out;
}

// A writer killed before its rename leaves its temporary file; the next replacement of the same
// file removes it, but never the file of a writer still at work, nor any other name.
TEST(AtomicFileTest, TheNextReplacementRemovesKilledWritersLeftoversOnly) {
    const TempDir dir;
#ifdef _WIN32
    const std::string leftover = "a.ini.tmp-4242-123456", live = "a.ini.tmp-4243-123457";
#else
    const std::string leftover = "a.ini.tmp-Xq3Zk9", live = "a.ini.tmp-L1veW8";
#endif
    const std::string path = dir.write("a.ini", "old");
    dir.write(leftover, "half");
    for (const char* other :
         {"a.ini.bak", "a.ini.tmp-1", "b.ini.tmp-Xq3Zk9", "a.ini.tmp-12-34.x"}) {
        dir.write(other, "keep");
    }
    LiveWriterFile writer((dir.path() / live).string());

    ASSERT_TRUE(replaceFileAtomically(path, "new"));
    EXPECT_EQ(TempDir::read(path), "new");
    EXPECT_EQ(names(dir.path()),
              (std::set<std::string>{"a.ini", "a.ini.bak", "a.ini.tmp-1", "b.ini.tmp-Xq3Zk9",
                                     "a.ini.tmp-12-34.x", live}));
    // Once its writer is gone, it is a leftover like any other.
    writer.end();
    ASSERT_TRUE(replaceFileAtomically(path, "newer"));
    EXPECT_EQ(names(dir.path()).count(live), 0U);
    EXPECT_EQ(names(dir.path()).size(), 5U);
}

}  // namespace
}  // namespace nicops::platform
