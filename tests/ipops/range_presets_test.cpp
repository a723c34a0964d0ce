// The six range presets in the settings file.
#include "ipops/range_presets.h"

#include <gtest/gtest.h>

#include "platform/ini_file.h"
#include "support/temp_dir.h"

namespace nicops::ipops {
namespace {

constexpr std::string_view kSection = "汐桉网卡操作";

class RangePresetsTest : public ::testing::Test {
protected:
    nicops::testing::TempDir dir_;
    std::string ini_ = (dir_.path() / "UserConfig.ini").string();

    std::string storedValue(int n) {
        return platform::readIniString(ini_, kSection, presetKey(n), "");
    }
};

TEST_F(RangePresetsTest, KeysAndCircledNumbers) {
    EXPECT_EQ(presetKey(1), "预设1");
    EXPECT_EQ(presetKey(6), "预设6");
    EXPECT_EQ(presetNumberText(1), "①");
    EXPECT_EQ(presetNumberText(6), "⑥");
    EXPECT_EQ(presetKey(7), "");
    EXPECT_EQ(presetNumberText(0), "");
}

TEST_F(RangePresetsTest, ThreeLinesRoundTripAsOneBase64Line) {
    const std::string text = "10.0.0.{1-3}\r\n网段\r\n10.0.1.5";
    ASSERT_TRUE(savePresetText(ini_, kSection, presetKey(2), text));
    const std::string value = storedValue(2);
    EXPECT_EQ(value.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(loadPresetText(ini_, kSection, 2), text);
    // Only that key of the section holds it.
    EXPECT_EQ(loadPresetText(ini_, kSection, 1), "");
}

TEST_F(RangePresetsTest, PaddingFollowsTheLengthOfTheText) {
    const std::pair<const char*, const char*> cases[] = {
        {"abc", "YWJj"}, {"ab", "YWI="}, {"a", "YQ=="}};
    for (const auto& [text, encoded] : cases) {
        ASSERT_TRUE(savePresetText(ini_, kSection, presetKey(3), text));
        EXPECT_EQ(storedValue(3), encoded);
        EXPECT_EQ(loadPresetText(ini_, kSection, 3), text);
    }
}

TEST_F(RangePresetsTest, AMissingPresetIsEmptyAndAZeroByteEndsTheText) {
    EXPECT_EQ(loadPresetText(ini_, kSection, 4), "");
    // "ab", a zero byte, "cd".
    ASSERT_TRUE(platform::writeIniString(ini_, kSection, presetKey(4), "YWIAY2Q="));
    EXPECT_EQ(loadPresetText(ini_, kSection, 4), "ab");
}

TEST_F(RangePresetsTest, AFolderThatDoesNotExistFailsTheSave) {
    const std::string missing = (dir_.path() / "none" / "UserConfig.ini").string();
    EXPECT_FALSE(savePresetText(missing, kSection, presetKey(1), "10.0.0.1"));
}

}  // namespace
}  // namespace nicops::ipops
