#include "ui/add_range_presenter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "ipops/persisted_settings.h"
#include "platform/sim/sim_host.h"
#include "recording_view.h"
#include "support/temp_dir.h"
#include "ui/layout_tables.h"

namespace nicops::ui {
namespace {

using nicops::testing::TempDir;

// A store that knows one DHCP mask per adapter name.
class MaskStore final : public platform::PersistedStore {
public:
    bool writeMultiString(const std::string&, const std::string&, const std::string&) override {
        return true;
    }
    std::string readMultiString(const std::string&, const std::string&) override { return {}; }
    std::string readTextValue(std::uint32_t, const std::string& path) override {
        for (const auto& [adapterName, mask] : masks) {
            if (path.ends_with(adapterName + "\\DhcpSubnetMask")) {
                return mask;
            }
        }
        return {};
    }
    std::string lastError() const override { return {}; }

    std::map<std::string, std::string> masks;
};

class AddRangePresenterTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        host_ = platform::sim::SimHost::open(
            dir_.write("host.json", nicops::testing::demoHostText()), error);
        ASSERT_NE(host_, nullptr) << error;
        context_ = std::make_unique<AppContext>(*host_);
        settings::AppSettings settings;
        settings.iniPath = (dir_.path() / "config/nicops/UserConfig.ini").string();
        context_->settings.set(settings);
        main_ = std::make_unique<MainPresenter>(*context_, mainView_, workers_.starter());
        main_->firstDisplay();  // adapter 12, "以太网", is the current one
        workers_.join();
        mainView_.pump();
    }

    TempDir dir_;
    std::unique_ptr<platform::sim::SimHost> host_;
    std::unique_ptr<AppContext> context_;
    RecordingView mainView_;
    JoinedWorkers workers_;
    std::unique_ptr<MainPresenter> main_;
};

TEST_F(AddRangePresenterTest, ANewDialogProposesTheCurrentAdaptersStoredMask) {
    MaskStore store;
    store.masks = {{"{4F0C6B2A-0000-4000-8000-0000000000A1}", "255.255.0.0 "},
                   {"{4F0C6B2A-0000-4000-8000-0000000000B2}", "255.0.0.0"}};
    context_->store = &store;
    RecordingForm view(kAddDialogControls);
    AddRangePresenter presenter(*main_, view);
    EXPECT_EQ(view.text(add_names::kMaskBox), "255.255.0.0");

    main_->selectAdapter(0);  // "以太网 2", index 7
    RecordingForm other(kAddDialogControls);
    AddRangePresenter second(*main_, other);
    EXPECT_EQ(other.text(add_names::kMaskBox), "255.0.0.0");
}

TEST_F(AddRangePresenterTest, PresetsRoundTripThroughTheSettingsFileAndShowTheirNumber) {
    const std::string iniPath = context_->settings.get().iniPath;
    RecordingForm view(kAddDialogControls);
    AddRangePresenter presenter(*main_, view);
    presenter.savePreset();  // nothing loaded yet: nothing to save into
    EXPECT_FALSE(std::filesystem::exists(iniPath));

    view.text(add_names::kRangeBox) = "left over";
    presenter.loadPreset(2);  // never saved: the box empties
    EXPECT_EQ(view.text(add_names::kRangeBox), "");
    EXPECT_EQ(view.text(add_names::kPresetLabel), "②");
    EXPECT_EQ(view.text(add_names::kSaveButton), "保存为②");
    EXPECT_TRUE(view.isVisible(add_names::kSaveButton));
    EXPECT_EQ(context_->currentPresetKey, "预设2");

    const std::string ranges = "10.0.0.{1-3}\r\n\r\n10.0.1.5\r\n";
    view.text(add_names::kRangeBox) = ranges;
    presenter.savePreset();  // makes the settings folder on the way
    ASSERT_TRUE(std::filesystem::exists(iniPath));

    // A new dialog starts without label and save button; the key survives for the next load.
    RecordingForm reopened(kAddDialogControls);
    AddRangePresenter again(*main_, reopened);
    EXPECT_EQ(reopened.text(add_names::kPresetLabel), "");
    EXPECT_FALSE(reopened.isVisible(add_names::kSaveButton));
    EXPECT_EQ(context_->currentPresetKey, "预设2");
    again.loadPreset(2);
    EXPECT_EQ(reopened.text(add_names::kRangeBox), ranges);

    // Loading another preset switches the save target; preset 2 keeps its text.
    again.loadPreset(6);
    EXPECT_EQ(reopened.text(add_names::kSaveButton), "保存为⑥");
    reopened.text(add_names::kRangeBox) = "172.16.0.1";
    again.savePreset();
    again.loadPreset(2);
    EXPECT_EQ(reopened.text(add_names::kRangeBox), ranges);
    again.loadPreset(6);
    EXPECT_EQ(reopened.text(add_names::kRangeBox), "172.16.0.1");
}

TEST_F(AddRangePresenterTest, OkCopiesTheRequestStartsTheAddOnAWorkerAndCloses) {
    RecordingForm view(kAddDialogControls);
    AddRangePresenter presenter(*main_, view);
    view.text(add_names::kRangeBox) = "192.168.1.{40-41}\r\n";
    view.setControlText(add_names::kMaskBox, " 255.255.255.0 \r\n10.0.0.1");
    EXPECT_EQ(presenter.request().maskText, "255.255.255.0");
    EXPECT_FALSE(presenter.request().checkInUse);

    const int before = workers_.started();
    presenter.startAdd();
    EXPECT_EQ(view.closes(), 1);
    view.text(add_names::kRangeBox) = "";  // the closed dialog's controls are no longer read
    workers_.join();
    mainView_.pump();
    EXPECT_EQ(workers_.started(), before + 1);

    const auto log = mainView_.logMessages();
    EXPECT_NE(std::find(log.begin(), log.end(), "添加IP-地址 192.168.1.40 成功."), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "添加IP完成，添加成功2，添加失败0。"), log.end());
    bool listed = false;
    for (const auto& row : main_->rows()) {
        listed = listed || (row.cells[list_column::kAddress] == "192.168.1.41" &&
                            row.cells[list_column::kMask] == "255.255.255.0");
    }
    EXPECT_TRUE(listed);
    EXPECT_TRUE(main_->controlEnabled(menu::kAdd)) << "the add's busy period has ended";
}

}  // namespace
}  // namespace nicops::ui
