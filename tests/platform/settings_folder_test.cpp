#include "platform/settings_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace nicops::platform {
namespace {

namespace fs = std::filesystem;
using nicops::testing::TempDir;

#ifndef _WIN32  // the XDG folders; Windows keeps the file beside the program
TEST(SettingsFolderTest, ComesFromTheEnvironmentByteForByte) {
    const auto set = [](const char* name, const char* value) {
        value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
    };
    const auto dirWith = [&](const char* xdg, const char* home) {
        set("XDG_CONFIG_HOME", xdg);
        set("HOME", home);
        return defaultConfigDirectory();
    };
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const char* oldHome = std::getenv("HOME");
    const std::string savedXdg = oldXdg != nullptr ? oldXdg : "";
    const std::string savedHome = oldHome != nullptr ? oldHome : "";
    EXPECT_EQ(dirWith("/cfg/\xD3\xC3\xBB\xA7", "/h"), "/cfg/\xD3\xC3\xBB\xA7/nicops");
    EXPECT_EQ(dirWith(nullptr, "/h/\xD3\xC3"), "/h/\xD3\xC3/.config/nicops");
    EXPECT_EQ(dirWith("", "/h"), "/h/.config/nicops");
    EXPECT_EQ(dirWith("relative", "/h"), "/h/.config/nicops");  // not a usable base
    set("XDG_CONFIG_HOME", oldXdg != nullptr ? savedXdg.c_str() : nullptr);
    set("HOME", oldHome != nullptr ? savedHome.c_str() : nullptr);

    EXPECT_EQ(settingsFilePath("/etc/nicops"), "/etc/nicops/UserConfig.ini");
    EXPECT_EQ(settingsFilePath("/etc/nicops/"), "/etc/nicops/UserConfig.ini");
}
#endif

#ifndef _WIN32  // file modes
TEST(SettingsFolderTest, CreateConfigDirectoryMakesMissingParents) {
    const TempDir dir;
    const std::string nested = dir.path().string() + "/a/b/nicops";
    ASSERT_TRUE(createConfigDirectory(nested));
    EXPECT_TRUE(createConfigDirectory(nested + "/"));
    EXPECT_EQ(fs::status(nested).permissions(), fs::perms::owner_all);
    const std::string file = dir.write("UserConfig.ini", "not a folder");
    EXPECT_FALSE(createConfigDirectory(file));
    EXPECT_FALSE(createConfigDirectory(file + "/below"));
}
#endif

// Every write of a key goes through this: the folder of the file is made, nothing else.
TEST(SettingsFolderTest, PrepareMakesOnlyTheFileFolder) {
    const TempDir dir;
    const std::string iniPath = settingsFilePath(dir.path().string() + "/cfg/nicops");
    EXPECT_EQ(settingsFolderOf(iniPath), dir.path().string() + "/cfg/nicops");
    ASSERT_TRUE(prepareSettingsFolder(iniPath));
    EXPECT_TRUE(fs::is_directory(dir.path() / "cfg/nicops"));
    EXPECT_FALSE(fs::exists(iniPath));
    EXPECT_TRUE(prepareSettingsFolder("UserConfig.ini"));  // the working folder: nothing to make
    EXPECT_EQ(settingsFolderOf("/UserConfig.ini"), "");
    EXPECT_EQ(settingsFilePath(""), "UserConfig.ini");
    const std::string blocked = dir.write("file", "x") + "/UserConfig.ini";
    EXPECT_FALSE(prepareSettingsFolder(blocked));
}

}  // namespace
}  // namespace nicops::platform
