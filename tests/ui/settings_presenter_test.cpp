#include "ui/settings_presenter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <vector>

#include "platform/ini_file.h"
#include "platform/sim/sim_host.h"
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

// A settings window that holds its boxes' texts and records focus and paste requests, each
// paste with what the clipboard held at that moment.
class RecordingSettingsView final : public SettingsView {
public:
    explicit RecordingSettingsView(const RecordingClipboard& clipboard) : clipboard_(clipboard) {}
    void setControlText(std::string_view name, const std::string& text) override {
        texts[std::string(name)] = text;
    }
    std::string controlText(std::string_view name) const override {
        auto it = texts.find(name);
        return it == texts.end() ? std::string() : it->second;
    }
    void focusControl(std::string_view name) override { focused = std::string(name); }
    void pasteIntoControl(std::string_view name) override {
        pastes.push_back({focused, std::string(name), clipboard_.text});
    }
    void closeDialog() override { ++closed; }

    struct Paste {
        std::string focused, box, clipboard;
    };
    std::map<std::string, std::string, std::less<>> texts;
    std::string focused;
    std::vector<Paste> pastes;
    int closed = 0;

private:
    const RecordingClipboard& clipboard_;
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
    RecordingSettingsView view_{clipboard_};
};

TEST_F(SettingsPresenterTest, OkWritesOnlyTheValuesThatChanged) {
    SettingsPresenter presenter(*context_, view_, clipboard_);
    EXPECT_EQ(view_.texts[std::string(settings_names::kConnectTimeoutBox)], "1500");
    EXPECT_EQ(view_.texts[std::string(settings_names::kLookupConcurrencyBox)], "1");

    presenter.applySettings();  // nothing changed: no file, not even its folder
    EXPECT_EQ(view_.closed, 1);
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "config"));

    SettingsPresenter second(*context_, view_, clipboard_);
    view_.texts[std::string(settings_names::kConnectTimeoutBox)] = "2";
    view_.texts[std::string(settings_names::kCopyFormatBox)] = "{内网IP}";
    view_.texts[std::string(settings_names::kRequestTimeoutBox)] = "01500";  // same value
    view_.texts[std::string(settings_names::kLookupConcurrencyBox)] = "0";   // below 1: kept
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

    view_.texts[std::string(settings_names::kLookupServerBox)] = "";
    SettingsPresenter(*context_, view_, clipboard_);  // shows memory again: the edit is gone
    EXPECT_EQ(view_.texts[std::string(settings_names::kLookupServerBox)], "http://lookup.test");
}

TEST_F(SettingsPresenterTest, ClosingWithoutOkKeepsMemoryAndFile) {
    {
        SettingsPresenter presenter(*context_, view_, clipboard_);
        view_.texts[std::string(settings_names::kLocationFormatBox)] = "{国家}";
        view_.texts[std::string(settings_names::kConnectTimeoutBox)] = "9";
    }
    EXPECT_EQ(context_->settings.get().locationFormat, settings::kDefaultLocationFormat);
    EXPECT_EQ(context_->settings.get().connectTimeoutMs, 1500);
    EXPECT_FALSE(std::filesystem::exists(iniPath_));
}

TEST_F(SettingsPresenterTest, APlaceholderIsPastedFromTheClipboardIntoItsFocusedBox) {
    SettingsPresenter presenter(*context_, view_, clipboard_);
    presenter.insertPlaceholder(settings_names::kLocationFormatBox, "{线路}");
    ASSERT_EQ(view_.pastes.size(), 1U);
    EXPECT_EQ(view_.pastes[0].focused, settings_names::kLocationFormatBox);
    EXPECT_EQ(view_.pastes[0].box, settings_names::kLocationFormatBox);
    EXPECT_EQ(view_.pastes[0].clipboard, "{线路}") << "on the clipboard before the paste";
    EXPECT_EQ(clipboard_.text, "{线路}") << "and left there";
}

}  // namespace
}  // namespace nicops::ui
