#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <strings.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>

namespace nicops::platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSection = "汐桉网卡操作";
// Double-byte characters whose trail byte is 'A', 'a', ']' and '['.
const std::string kTrailA = "\x81\x41", kTrailLowerA = "\x81\x61";
const std::string kTrailClose = "\xB0\x5D", kTrailOpen = "\xB0\x5B";

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "nicops-ini-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/UserConfig.ini";
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    void put(const std::string& content) { std::ofstream(path_, std::ios::binary) << content; }
    std::string file() const {
        std::ostringstream s;
        s << std::ifstream(path_, std::ios::binary).rdbuf();
        return s.str();
    }
    std::size_t entries() const {
        return std::distance(fs::directory_iterator(dir_), fs::directory_iterator());
    }
#ifndef _WIN32
    // Root ignores file modes: when the suite runs as root, fn runs in a child turned nobody.
    static bool asOrdinaryUser(const std::function<bool()>& fn) {
        if (::geteuid() != 0) {
            return fn();
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && fn() ? 0 : 1);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
#endif

    std::string dir_, path_;
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(readIniString(path_, kSection, "查询连接超时", "1500"), "1500");
    EXPECT_FALSE(fs::exists(path_));
    put("[其他]\r\n查询连接超时=800\r\n[汐桉网卡操作]\r\n查询请求超时=900\r\n");
    EXPECT_EQ(readIniString(path_, kSection, "查询连接超时", "1500"), "1500");
    EXPECT_EQ(readIniString(path_, kSection, "查询请求超时", "1500"), "900");
    fs::remove(path_);
    fs::create_directory(path_);  // a folder in the file's place reads as no file
    EXPECT_EQ(readIniString(path_, kSection, "查询请求超时", "d"), "d");
}

TEST_F(IniFileTest, LineRules) {
    const std::string content =
        "k=outside\n"
        "  [ Net Card ]  ; after the bracket\r\n"
        "\tTimeOut \t=  800 \t\r\n"
        "empty=\r\n"
        "bare\r\n"
        ";hidden=1\n"
        "dq=\" spaced \"\r\n"
        "sq='x'\n"
        "half=\"x\r\n"
        "timeout=second\r\n"
        "cr=1 \r\r\n"
        "[net card]\n"
        "other=second section\n"
        "[b\n"
        "last=3";
    put(content);
    const IniFile ini = IniFile::load(path_);
    EXPECT_EQ(ini.text(), content);  // the parse keeps every byte
    EXPECT_EQ(ini.get("NET CARD", " timeout ", "x"), "800");
    EXPECT_EQ(ini.get("NetCard", "timeout", "x"), "x");
    EXPECT_EQ(ini.get("net card", "empty", "x"), "");  // present: empty, not the default
    EXPECT_EQ(ini.get("net card", "bare", "x"), "");
    EXPECT_EQ(ini.get("net card", ";hidden", "x"), "x");
    EXPECT_EQ(ini.get("net card", "dq"), " spaced ");
    EXPECT_EQ(ini.get("net card", "sq"), "x");
    EXPECT_EQ(ini.get("net card", "half"), "\"x");
    EXPECT_EQ(ini.get("net card", "cr"), "1 \r");       // a stray CR belongs to the line
    EXPECT_EQ(ini.get("net card", "other", "x"), "x");  // only the first section of a name
    EXPECT_EQ(ini.get("b", "last"), "3");
    EXPECT_FALSE(ini.has("", "k"));
}

TEST_F(IniFileTest, ValuesAreCutTo10239Bytes) {
    const std::string exact(10239, 'x');
    put("[s]\r\nexact=" + exact + "\r\nlong=" + exact + "TAIL\r\n");
    EXPECT_EQ(readIniString(path_, "s", "exact", ""), exact);
    EXPECT_EQ(readIniString(path_, "s", "long", ""), exact);
}

TEST_F(IniFileTest, DoubleByteNamesMatchExactly) {
    put("[" + kTrailClose + kTrailOpen + "]\r\n" + kTrailA + "=upper\r\n");
    EXPECT_EQ(readIniString(path_, kTrailClose + kTrailOpen, kTrailA, "-"), "upper");
    EXPECT_EQ(readIniString(path_, kTrailClose + kTrailOpen, kTrailLowerA, "-"), "-");
    EXPECT_EQ(readIniString(path_, kTrailClose, kTrailA, "-"), "-");

    ASSERT_TRUE(writeIniString(path_, kTrailClose, kTrailA, "1"));
    ASSERT_TRUE(writeIniString(path_, kTrailClose, kTrailLowerA, "2"));
    ASSERT_TRUE(writeIniString(path_, kTrailClose, "Key", "3"));
    ASSERT_TRUE(writeIniString(path_, kTrailClose, "KEY", "4"));
    EXPECT_EQ(readIniString(path_, kTrailClose, kTrailA, ""), "1");
    EXPECT_EQ(readIniString(path_, kTrailClose, kTrailLowerA, ""), "2");
    EXPECT_EQ(readIniString(path_, kTrailClose, "key", ""), "4");
    // The section literal is GBK: the same bytes spelled out find it.
    ASSERT_TRUE(writeIniString(path_, kSection, "k", "v"));
    EXPECT_EQ(readIniString(path_, "\xCF\xAB\xE8\xF1\xCD\xF8\xBF\xA8\xB2\xD9\xD7\xF7", "K", ""),
              "v");
}

TEST_F(IniFileTest, AWriteChangesOnlyItsKeyLine) {
    ASSERT_TRUE(writeIniString(path_, kSection, "预设1", "MTAuMC4wLjE="));
    EXPECT_EQ(file(), "[汐桉网卡操作]\r\n预设1=MTAuMC4wLjE=\r\n");

    put("; settings\r\n[other]\r\n查询连接超时=1\r\n\r\n[汐桉网卡操作]\r\n; the lookup\r\n"
        "IP地理位置查询格式 = {国家}\r\n查询连接超时=800\r\nbare\r\n\r\n[tail]\r\nx=y");
    ASSERT_TRUE(writeIniString(path_, kSection, "查询连接超时", "2500"));
    ASSERT_TRUE(writeIniString(path_, kSection, "ip地理位置查询格式", "{城市}"));
    ASSERT_TRUE(writeIniString(path_, kSection, "bare", "v"));
    EXPECT_EQ(file(),
              "; settings\r\n[other]\r\n查询连接超时=1\r\n\r\n[汐桉网卡操作]\r\n; the lookup\r\n"
              "IP地理位置查询格式 = {城市}\r\n查询连接超时=2500\r\nbare=v\r\n\r\n[tail]\r\nx=y");
}

TEST_F(IniFileTest, NewKeysFollowTheLastKeyOfTheirSectionAndNewSectionsGoLast) {
    put("[a]\r\nk1=1\r\n; one\r\nk1b=1\r\n; about b\r\n\r\n[b]\r\n[c]\r\nk=1");
    ASSERT_TRUE(writeIniString(path_, "A", "k2", "2"));
    ASSERT_TRUE(writeIniString(path_, "b", "first", "f"));
    ASSERT_TRUE(writeIniString(path_, "c", "k2", "2"));
    ASSERT_TRUE(writeIniString(path_, "d", "k", "v"));
    EXPECT_EQ(file(),
              "[a]\r\nk1=1\r\n; one\r\nk1b=1\r\nk2=2\r\n; about "
              "b\r\n\r\n[b]\r\nfirst=f\r\n[c]\r\nk=1\r\nk2=2\r\n"
              "[d]\r\nk=v\r\n");

    put("[a]\nk=1");  // added lines follow the file's own line ends
    ASSERT_TRUE(writeIniString(path_, "新", "键", "值"));
    EXPECT_EQ(file(), "[a]\nk=1\n[新]\n键=值\n");
}

TEST_F(IniFileTest, WritesThatWouldNotReadBackAreRefused) {
    const std::string before = "[汐桉网卡操作]\r\n查询连接超时=800\r\n";
    put(before);
    EXPECT_FALSE(writeIniString(path_, kSection, "k", "x\r\n查询连接超时=1"));
    EXPECT_FALSE(writeIniString(path_, kSection, "k", "x\n[other]"));
    EXPECT_FALSE(writeIniString(path_, kSection, "k", "x\ry"));
    EXPECT_FALSE(writeIniString(path_, kSection, "k", std::string("x\0y", 3)));
    for (const char* key : {"a=b", "[x", ";x", "a\nb", " "}) {
        EXPECT_FALSE(writeIniString(path_, kSection, key, "v")) << key;
    }
    for (const char* section : {"a]b", "a\r\n[b", "", "a\xB0"}) {  // B0 would swallow the ']'
        EXPECT_FALSE(writeIniString(path_, section, "k", "v")) << section;
    }
    EXPECT_EQ(file(), before);
    ASSERT_TRUE(writeIniString(path_, kSection, "k", "[x]=;y"));
    EXPECT_EQ(readIniString(path_, kSection, "k", ""), "[x]=;y");
}

TEST_F(IniFileTest, ALoneCrEndingTheFileStaysPartOfItsLine) {
    put("[s]\nk=1\r");  // LF line ends; the last line ends in a lone CR
    ASSERT_EQ(readIniString(path_, "s", "k", ""), "1\r");
    ASSERT_TRUE(writeIniString(path_, "t", "other", "x"));
    EXPECT_EQ(readIniString(path_, "s", "k", ""), "1\r");
    EXPECT_EQ(readIniString(path_, "t", "other", ""), "x");

    put("[s]\nk\r");  // a key named "k\r" must not shadow the "k" that is written
    ASSERT_TRUE(writeIniString(path_, "s", "k", "new"));
    EXPECT_EQ(readIniString(path_, "s", "k", ""), "new");
}

// Random files made of the pieces that matter to the line rules: every write reads back as
// written and leaves every other key's value exactly as it was.
TEST(IniFileWriteTest, AWriteReadsBackAndKeepsEveryOtherValue) {
    const char* const pieces[] = {"[s]", "[t]", "[S", "k",  "K",    "j",  "=",    "1", " ",
                                  "\t",  ";",   "\r", "\n", "\r\n", "\"", "\x81", "]", "\xB0\x5D"};
    const char* const sections[] = {"s", "t", "S"};
    const char* const keys[] = {"k", "K", "j"};
    const char* const values[] = {"v", "2", "a b", ""};
    std::mt19937 random(7);
    auto pick = [&random](const auto& array) { return array[random() % std::size(array)]; };
    for (int round = 0; round < 4000; ++round) {
        std::string content;
        for (int n = static_cast<int>(random() % 12); n > 0; --n) {
            content += pick(pieces);
        }
        IniFile ini(content);
        const std::string section = pick(sections), key = pick(keys), value = pick(values);
        if (!ini.set(section, key, value)) {
            continue;
        }
        const IniFile after(ini.text());
        ASSERT_EQ(after.get(section, key, "-"), value) << testing::PrintToString(content);
        const IniFile before(content);
        for (const char* s : sections) {
            for (const char* k : keys) {
                if (strcasecmp(s, section.c_str()) == 0 && strcasecmp(k, key.c_str()) == 0) {
                    continue;
                }
                ASSERT_EQ(after.get(s, k, "-"), before.get(s, k, "-"))
                    << testing::PrintToString(content) << " set " << section << "/" << key;
            }
        }
    }
}

#ifndef _WIN32  // FIFOs
TEST_F(IniFileTest, OnlyARegularFileOfAtMostOneMebibyteIsRead) {
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);  // no writer: opening it must not wait
    FileReadStatus status = FileReadStatus::Ok;
    std::string reason;
    IniFile::load(path_, &status, &reason);
    EXPECT_EQ(status, FileReadStatus::NotRegular);
    EXPECT_EQ(reason, "is not a regular file");
    EXPECT_EQ(readIniString(path_, "s", "k", "default"), "default");
    EXPECT_FALSE(writeIniString(path_, "s", "k", "v"));  // and it is not replaced
    EXPECT_TRUE(fs::is_fifo(path_));

    IniFile::load("/dev/zero", &status);
    EXPECT_EQ(status, FileReadStatus::NotRegular);
    IniFile::load(dir_, &status);
    EXPECT_EQ(status, FileReadStatus::IsDirectory);

    fs::remove(path_);
    put("[s]\r\nk=1\r\n");
    fs::resize_file(path_, kMaxIniFileBytes + 1);
    EXPECT_EQ(IniFile::load(path_, &status).get("s", "k", "default"), "default");
    EXPECT_EQ(status, FileReadStatus::TooLarge);
    fs::resize_file(path_, kMaxIniFileBytes);
    EXPECT_EQ(IniFile::load(path_, &status).get("s", "k", "default"), "1");
    EXPECT_EQ(status, FileReadStatus::Ok);
}
#endif

#ifndef _WIN32  // file modes
TEST_F(IniFileTest, ReplacementIsAtomic) {
    put("[s]\r\nk=old\r\n");
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(writeIniString(path_, "s", "k", "v" + std::to_string(i)));
    }
    EXPECT_EQ(entries(), 1u);  // no temporary file left behind

    // A read-only folder: the write fails and leaves the file and the folder as they were.
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::others_read);
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                              fs::perms::others_exec);
    const std::string path = path_;
    EXPECT_TRUE(asOrdinaryUser([&] { return !writeIniString(path, "s", "k", "new"); }));
    EXPECT_EQ(file(), "[s]\r\nk=v2\r\n");
    EXPECT_EQ(entries(), 1u);

    // A file that can't be read is never replaced by one holding only the new key.
    fs::permissions(dir_, fs::perms::all);
    fs::permissions(path_, fs::perms::owner_write | fs::perms::others_write);
    EXPECT_TRUE(asOrdinaryUser([&] { return !writeIniString(path, "s", "k", "new"); }));
    fs::permissions(path_, fs::perms::owner_read, fs::perm_options::add);
    EXPECT_EQ(file(), "[s]\r\nk=v2\r\n");
}
#endif

#ifndef _WIN32  // symbolic links
TEST_F(IniFileTest, WritingThroughASymbolicLinkUpdatesItsTarget) {
    std::ofstream(dir_ + "/real.ini", std::ios::binary) << "[s]\r\nk=1\r\n";
    fs::create_symlink("real.ini", path_);
    ASSERT_TRUE(writeIniString(path_, "s", "k", "2"));
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(readIniString(dir_ + "/real.ini", "s", "k", ""), "2");
}
#endif

}  // namespace
}  // namespace nicops::platform
