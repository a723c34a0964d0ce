#include "ui/settings_presenter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <vector>

#include "platform/ini_file.h"
#include "platform/sim/sim_host.h"
#include "recording_view.h"
#include "support/temp_dir.h"
#include "ui/layout_tables.h"

namespace nicops::ui {
namespace {

using nicops::testing::TempDir;

class RecordingClipboard final : public platform::Clipboard {
public:
    bool setText(const std::string& gbk) override {
        text = gbk;
        return true;
    }
    std::string text = "before";
};

class SettingsPresenterTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        host_ = platform::sim::SimHost::open(
            dir_.write("host.json", nicops::testing::demoHostText()), error);
        ASSERT_NE(host_, nullptr) << error;
        context_ = std::make_unique<AppContext>(*host_);
        settings::AppSettings settings;
        settings.iniPath = iniPath_;  // in a folder that doesn't exist yet
        settings.lookupServer = "http://lookup.test";
        context_->settings.set(settings);
    }

    // The key's value in the file, "<none>" when it isn't there.
    std::string stored(std::string_view key) const {
        return platform::readIniString(iniPath_, settings::kSettingsSection, key, "<none>");
    }

    TempDir dir_;
    const std::string iniPath_ = (dir_.path() / "config/nicops/UserConfig.ini").string();
    std::unique_ptr<platform::sim::SimHost> host_;
    std::unique_ptr<AppContext> context_;
    RecordingClipboard clipboard_;
    RecordingForm view_{kSettingsControls, &clipboard_.text};
};

TEST_F(SettingsPresenterTest, OkWritesOnlyTheValuesThatChanged) {
    SettingsPresenter presenter(*context_, view_, clipboard_);
    EXPECT_EQ(view_.text(settings_names::kConnectTimeoutBox), "1500");
    EXPECT_EQ(view_.text(settings_names::kLookupConcurrencyBox), "1");

    presenter.applySettings();  // nothing changed: no file, not even its folder
    EXPECT_EQ(view_.closes(), 1);
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "config"));

    SettingsPresenter second(*context_, view_, clipboard_);
    view_.text(settings_names::kConnectTimeoutBox) = "2";
    view_.text(settings_names::kCopyFormatBox) = "{内网IP}";
    view_.text(settings_names::kRequestTimeoutBox) = "01500";  // same value
    view_.text(settings_names::kLookupConcurrencyBox) = "0";   // below 1: kept
    second.applySettings();

    const settings::AppSettings now = context_->settings.get();
    EXPECT_EQ(now.connectTimeoutMs, 2);
    EXPECT_EQ(now.copyFormat, "{内网IP}");
    EXPECT_EQ(now.lookupConcurrency, 1);
    EXPECT_EQ(now.lookupServer, "http://lookup.test");
    EXPECT_EQ(stored(settings::kConnectTimeoutKey), "2");
    EXPECT_EQ(stored(settings::kCopyFormatKey), "{内网IP}");
    for (std::string_view key : {settings::kRequestTimeoutKey, settings::kLocationFormatKey,
                                 settings::kLookupServerKey, settings::kLookupConcurrencyKey}) {
        EXPECT_EQ(stored(key), "<none>") << "unchanged, so not written";
    }

    view_.text(settings_names::kLookupServerBox) = "";
    SettingsPresenter(*context_, view_, clipboard_);  // shows memory again: the edit is gone
    EXPECT_EQ(view_.text(settings_names::kLookupServerBox), "http://lookup.test");
}

TEST_F(SettingsPresenterTest, ClosingWithoutOkKeepsMemoryAndFile) {
    {
        SettingsPresenter presenter(*context_, view_, clipboard_);
        view_.text(settings_names::kLocationFormatBox) = "{国家}";
        view_.text(settings_names::kConnectTimeoutBox) = "9";
    }
    EXPECT_EQ(context_->settings.get().locationFormat, settings::kDefaultLocationFormat);
    EXPECT_EQ(context_->settings.get().connectTimeoutMs, 1500);
    EXPECT_FALSE(std::filesystem::exists(iniPath_));
}

TEST_F(SettingsPresenterTest, APlaceholderIsPastedFromTheClipboardIntoItsFocusedBox) {
    SettingsPresenter presenter(*context_, view_, clipboard_);
    presenter.insertPlaceholder(settings_names::kLocationFormatBox, "{线路}");
    const std::string box(settings_names::kLocationFormatBox);
    EXPECT_EQ(view_.events, (std::vector<std::string>{"focus " + box, "paste " + box + " {线路}"}))
        << "focused, then pasted from a clipboard that holds the placeholder";
    EXPECT_EQ(clipboard_.text, "{线路}") << "and left there";
}

}  // namespace
}  // namespace nicops::ui
