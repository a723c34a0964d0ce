#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_store.h"
#include "support/temp_dir.h"

namespace nicops::platform {
namespace {

using nicops::testing::TempDir;
using nicops::testing::utf8;
using namespace std::string_literals;

const std::string kInterface =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\"
    "以太网";

TEST(MultiStringTest, BytesAsTheRegistryHoldsThem) {
    EXPECT_EQ(encodeMultiString(""), "\0\0"s);
    EXPECT_EQ(encodeMultiString("a\r\nb"), "a\0b\0\0"s);
    EXPECT_EQ(decodeMultiString("a\0b\0\0"s), "a\r\nb\r\n\r\n");
    EXPECT_EQ(decodeMultiString("255.255.255.0\0\0"s), "255.255.255.0\r\n\r\n");
}

class FileStoreTest : public ::testing::Test {
protected:
    TempDir dir_;
    std::string path_ = (dir_.path() / "store.json").string();
};

TEST_F(FileStoreTest, ValuesReadBackAsARegistryReadGivesThem) {
    FileStore store(path_);
    EXPECT_EQ(store.readMultiString(kInterface, "IPAddress"), "");  // no file yet
    ASSERT_TRUE(store.writeMultiString(kInterface, "IPAddress", "a\r\nb")) << store.lastError();
    ASSERT_TRUE(store.writeMultiString(kInterface, "SubnetMask", ""));
    EXPECT_EQ(store.lastError(), "");

    FileStore again(path_);
    EXPECT_EQ(again.readMultiString(kInterface, "IPAddress"), "a\r\nb\r\n\r\n");
    EXPECT_EQ(again.readMultiString(kInterface, "SubnetMask"), "\r\n\r\n");
    EXPECT_EQ(again.readMultiString(kInterface, "DefaultGateway"), "");
    EXPECT_EQ(again.readMultiString(kInterface + "x", "IPAddress"), "");
    // Rewriting a value replaces it and keeps the others.
    ASSERT_TRUE(again.writeMultiString(kInterface, "IPAddress", "10.0.0.5"));
    EXPECT_EQ(store.readMultiString(kInterface, "IPAddress"), "10.0.0.5\r\n\r\n");
    EXPECT_EQ(store.readMultiString(kInterface, "SubnetMask"), "\r\n\r\n");

    // Readable by a person: UTF-8 key texts, items as a list.
    const std::string content = TempDir::read(path_);
    EXPECT_NE(content.find(utf8(u8"Interfaces\\\\以太网")), std::string::npos) << content;
    EXPECT_NE(content.find("\"10.0.0.5\""), std::string::npos) << content;

    // A root that is none of the five is refused.
    EXPECT_FALSE(store.writeMultiString("HKEY_NOWHERE\\SOFTWARE", "x", "1"));
    EXPECT_NE(store.lastError().find(path_), std::string::npos);
    EXPECT_EQ(store.readMultiString("HKEY_NOWHERE\\SOFTWARE", "x"), "");
}

TEST_F(FileStoreTest, TextValuesByRootNumberAndPath) {
    dir_.write("store.json", utf8(u8R"({
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor": {
        "Name": {"type": "string", "text": "中文"},
        "List": {"type": "multi-string", "items": ["a"]}},
      "HKEY_CURRENT_USER": {"Top": {"type": "string", "text": "t"}}})"));
    FileStore store(path_);
    EXPECT_EQ(store.readTextValue(kHkeyLocalMachine, "SOFTWARE\\Vendor\\Name"), "中文");
    EXPECT_EQ(store.readTextValue(kHkeyCurrentUser, "Top"), "t");
    EXPECT_EQ(store.readTextValue(kHkeyLocalMachine, "SOFTWARE\\Vendor\\List"), "");  // not text
    EXPECT_EQ(store.readTextValue(kHkeyUsers, "SOFTWARE\\Vendor\\Name"), "");
    EXPECT_EQ(store.readTextValue(0x12345678U, "SOFTWARE\\Vendor\\Name"), "");
    EXPECT_EQ(store.readMultiString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor", "Name"), "");
    EXPECT_EQ(store.lastError(), "");
}

TEST_F(FileStoreTest, AFileThatCantBeParsedIsNeverReplaced) {
    const std::string corrupt = "{\"HKEY_LOCAL_MACHINE\": {\"IPAddress\": [1, 2";
    dir_.write("store.json", corrupt);
    FileStore store(path_);
    EXPECT_FALSE(store.writeMultiString(kInterface, "IPAddress", "10.0.0.5"));
    EXPECT_NE(store.lastError().find("设置储存 " + path_ + " 无法解析："), std::string::npos)
        << store.lastError();
    EXPECT_EQ(store.readMultiString(kInterface, "IPAddress"), "");
    EXPECT_NE(store.lastError().find("无法解析"), std::string::npos);
    EXPECT_EQ(TempDir::read(path_), corrupt);

    // A folder where the file should be can't be read either.
    const std::string folder = (dir_.path() / "folder.json").string();
    std::filesystem::create_directory(folder);
    FileStore misplaced(folder);
    EXPECT_FALSE(misplaced.writeMultiString(kInterface, "IPAddress", "10.0.0.5"));
    EXPECT_NE(misplaced.lastError().find("无法读取："), std::string::npos) << misplaced.lastError();
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

#ifndef _WIN32  // file modes
TEST_F(FileStoreTest, TheFirstWriteCreatesTheFolder) {
    const std::string nested = (dir_.path() / "var" / "lib" / "store.json").string();
    FileStore store(nested);
    ASSERT_TRUE(store.writeMultiString(kInterface, "IPAddress", "10.0.0.5")) << store.lastError();
    struct stat info {};
    ASSERT_EQ(::stat((dir_.path() / "var" / "lib").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755U);
    EXPECT_EQ(store.readMultiString(kInterface, "IPAddress"), "10.0.0.5\r\n\r\n");
}
#endif

TEST_F(FileStoreTest, ConcurrentWritersKeepEachOthersValues) {
    constexpr int kWriters = 4;
    constexpr int kValues = 40;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([this, w] {
            FileStore store(path_);
            for (int i = 0; i < kValues; ++i) {
                const std::string name = "v" + std::to_string(w) + "-" + std::to_string(i);
                EXPECT_TRUE(store.writeMultiString(kInterface, name, name)) << store.lastError();
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    FileStore store(path_);
    for (int w = 0; w < kWriters; ++w) {
        for (int i = 0; i < kValues; ++i) {
            const std::string name = "v" + std::to_string(w) + "-" + std::to_string(i);
            EXPECT_EQ(store.readMultiString(kInterface, name), name + "\r\n\r\n");
        }
    }
}

}  // namespace
}  // namespace nicops::platform
