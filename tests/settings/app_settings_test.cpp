#include "settings/app_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/ini_file.h"
#include "platform/settings_folder.h"

namespace nicops::settings {
namespace {

namespace fs = std::filesystem;

// The section and keys as a GBK encoder writes them, whatever this file's literals compile to.
const std::string kSection = "[\xCF\xAB\xE8\xF1\xCD\xF8\xBF\xA8\xB2\xD9\xD7\xF7]\r\n";
const std::string kLocationKey =
    "IP\xB5\xD8\xC0\xED\xCE\xBB\xD6\xC3\xB2\xE9\xD1\xAF\xB8\xF1\xCA\xBD";
const std::string kCopyKey = "\xCD\xF8\xBF\xA8IP\xB8\xB4\xD6\xC6\xB8\xF1\xCA\xBD";
const std::string kConnectKey = "\xB2\xE9\xD1\xAF\xC1\xAC\xBD\xD3\xB3\xAC\xCA\xB1";
const std::string kRequestKey = "\xB2\xE9\xD1\xAF\xC7\xEB\xC7\xF3\xB3\xAC\xCA\xB1";
const std::string kServerKey = "\xB2\xE9\xD1\xAF\xB7\xFE\xCE\xF1\xC6\xF7";
const std::string kConcurrencyKey = "\xB2\xE9\xD1\xAF\xB2\xA2\xB7\xA2\xCA\xFD";

class AppSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "nicops-settings-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = platform::settingsFilePath(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    AppSettings load(const std::string& content) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << content;
        return loadSettings(path_);
    }

    std::string dir_, path_;
};

TEST_F(AppSettingsTest, NoFileGivesTheDefaultsAndCreatesNothing) {
    const AppSettings s = loadSettings(path_);
    EXPECT_EQ(s.iniPath, path_);
    EXPECT_EQ("[" + s.iniSection + "]\r\n", kSection);
    EXPECT_EQ(s.locationFormat, "{\xB5\xD8\xC7\xF8}{\xB3\xC7\xCA\xD0} {\xCF\xDF\xC2\xB7}");
    EXPECT_EQ(s.copyFormat,
              "{\xCD\xE2\xCD\xF8IP}:1080|mornlux|kvzt|{\xB5\xD8\xC0\xED\xCE\xBB\xD6\xC3}");
    EXPECT_EQ(s.connectTimeoutMs, 1500);
    EXPECT_EQ(s.requestTimeoutMs, 1500);
    EXPECT_TRUE(fs::is_empty(dir_));
}

#ifndef _WIN32  // FIFOs
TEST_F(AppSettingsTest, APathThatIsNoSettingsFileGivesTheDefaultsAndSaysWhy) {
    std::string notice = "stale";
    loadSettings(path_, &notice);
    EXPECT_EQ(notice, "");  // a missing file is normal
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    const AppSettings s = loadSettings(path_, &notice);
    EXPECT_EQ(s.connectTimeoutMs, 1500);
    EXPECT_EQ(notice, "设置文件 " + path_ + " 不是普通文件，未读取，使用默认设置.");
    EXPECT_EQ(loadSettings(dir_, &notice).copyFormat, kDefaultCopyFormat);
    EXPECT_EQ(notice, "设置文件 " + dir_ + " 是文件夹，未读取，使用默认设置.");
}
#endif

TEST_F(AppSettingsTest, ReadsTheFourKeys) {
    const AppSettings s =
        load("; mine\r\n" + kSection + kLocationKey + "={\xB9\xFA\xBC\xD2}\r\n" + kCopyKey +
             "={\xCD\xE2\xCD\xF8IP}\r\n" + kConnectKey + "=800\r\n" + kRequestKey + "=2500\r\n");
    EXPECT_EQ(s.locationFormat, "{\xB9\xFA\xBC\xD2}");
    EXPECT_EQ(s.copyFormat, "{\xCD\xE2\xCD\xF8IP}");
    EXPECT_EQ(s.connectTimeoutMs, 800);
    EXPECT_EQ(s.requestTimeoutMs, 2500);

    // What the settings window writes key by key is what the next start reads.
    ASSERT_TRUE(platform::writeIniString(path_, kSettingsSection, kRequestTimeoutKey, "3000"));
    EXPECT_EQ(loadSettings(path_).requestTimeoutMs, 3000);
    EXPECT_EQ(loadSettings(path_).connectTimeoutMs, 800);
}

TEST_F(AppSettingsTest, TimeoutsFollowTheIntegerRule) {
    const std::pair<std::string, std::int32_t> cases[] = {
        {" 800 ", 800},
        {"\xA1\xA1"
         "800\xA1\xA1",
         800},  // full-width spaces
        {"abc", 0},
        {"2500ms", 2500},
        {"-300", -300},
        {"12 34", 12},
        {"", 0},  // present but empty: 0, not the default
    };
    for (const auto& [text, expected] : cases) {
        const AppSettings s = load(kSection + kConnectKey + "=" + text + "\r\n");
        EXPECT_EQ(s.connectTimeoutMs, expected) << text;
        EXPECT_EQ(s.requestTimeoutMs, 1500);
    }
}

TEST_F(AppSettingsTest, LookupServerAndConcurrencyKeys) {
    const AppSettings none = load(kSection);
    EXPECT_EQ(none.lookupServer, defaultLookupServer());
    EXPECT_EQ(none.lookupConcurrency, 1);
    const AppSettings set =
        load(kSection + kServerKey + "=http://127.0.0.1:8080\r\n" + kConcurrencyKey + "= 16 \r\n");
    EXPECT_EQ(set.lookupServer, "http://127.0.0.1:8080");
    EXPECT_EQ(set.lookupConcurrency, 16);
    for (const char* below : {"0", "-4", "abc"}) {
        EXPECT_EQ(load(kSection + kConcurrencyKey + "=" + below + "\r\n").lookupConcurrency, 1)
            << below;
    }
}

TEST(SharedSettingsTest, ReadersAlwaysSeeOneWholeValue) {
    AppSettings a, b;
    a.copyFormat = std::string(200, 'a');  // long enough to live on the heap
    a.connectTimeoutMs = a.requestTimeoutMs = 1;
    b.copyFormat = std::string(300, 'b');
    b.connectTimeoutMs = b.requestTimeoutMs = 2;
    const auto whole = [&](const AppSettings& s) {
        const AppSettings& w = s.connectTimeoutMs == 1 ? a : b;
        return s.copyFormat == w.copyFormat && s.requestTimeoutMs == w.requestTimeoutMs;
    };

    SharedSettings shared(a);
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r) {
        readers.emplace_back([&] {
            while (!stop) {
                torn += whole(shared.get()) ? 0 : 1;
            }
        });
    }
    for (int i = 1; i <= 20000; ++i) {
        shared.set(i % 2 == 0 ? a : b);
    }
    stop = true;
    for (auto& t : readers) {
        t.join();
    }
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(shared.get().copyFormat, a.copyFormat);
}

}  // namespace
}  // namespace nicops::settings
