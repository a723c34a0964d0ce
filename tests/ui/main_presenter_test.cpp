#include "ui/main_presenter.h"

#include <gtest/gtest.h>

#include <regex>

#include "platform/sim/sim_host.h"
#include "recording_view.h"
#include "support/temp_dir.h"
#include "ui/app_identity.h"
#include "ui/layout_tables.h"

namespace nicops::ui {
namespace {

using inventory::AddressKind;
using nicops::testing::TempDir;

class MainPresenterTest : public ::testing::Test {
protected:
    void openHost(const std::string& json) {
        std::string error;
        host_ = platform::sim::SimHost::open(dir_.write("host.json", json), error);
        ASSERT_NE(host_, nullptr) << error;
        context_ = std::make_unique<AppContext>(*host_);
        presenter_ = std::make_unique<MainPresenter>(*context_, view_, workers_.starter());
    }
    void SetUp() override { openHost(nicops::testing::demoHostText()); }

    // Lets the workers finish and the UI thread run what they posted.
    void settle() {
        workers_.join();
        view_.pump();
    }

    std::vector<std::string> column(int c) const {
        std::vector<std::string> cells;
        for (const auto& row : view_.get(&RecordingView::rows_)) {
            cells.push_back(row.cells[static_cast<std::size_t>(c)]);
        }
        return cells;
    }

    TempDir dir_;
    std::unique_ptr<platform::sim::SimHost> host_;
    std::unique_ptr<AppContext> context_;
    RecordingView view_;
    JoinedWorkers workers_;
    std::unique_ptr<MainPresenter> presenter_;
};

TEST_F(MainPresenterTest, FirstDisplaySelectsTheLastAdapterAndShowsIt) {
    presenter_->firstDisplay();
    settle();
    const auto combo = view_.get(&RecordingView::combo_);
    ASSERT_EQ(combo.size(), 3U);
    EXPECT_EQ(combo[0].text, "以太网 2");
    EXPECT_EQ(view_.get(&RecordingView::comboSelected_), 2);
    EXPECT_EQ(presenter_->currentAdapterIndex(), 12U);
    const auto rows = view_.get(&RecordingView::rows_);
    ASSERT_EQ(rows.size(), 24U);
    EXPECT_EQ(rows[0].cells, (std::array<std::string, 8>{"1", "192.168.1.10", "255.255.255.0",
                                                         "101", "1", "12", "", "IP-地址"}));
    EXPECT_EQ(rows[23].cells[0], "24");
    EXPECT_EQ(rows[23].cells[4], "0");  // the last element of the list
    EXPECT_EQ(view_.logMessages(),
              (std::vector<std::string>{
                  "以太网 共计24个IP-地址.", std::string(37, '-'), "以太网 媒体状态状态-已连接.",
                  "以太网 最大传输速度1000Mbps", "以太网 最大传输单元1500."}));
    EXPECT_NE(
        view_.get(&RecordingView::texts_)[std::string(names::kDetailsBox)].find("网卡状态：已连接"),
        std::string::npos);
    // Busy for the whole display, free afterwards.
    const auto toggles = view_.get(&RecordingView::toggles_);
    EXPECT_EQ(toggles.front(), std::string(names::kRefreshButton) + "-");
    EXPECT_TRUE(presenter_->controlEnabled(names::kRefreshButton));
    EXPECT_TRUE(presenter_->controlEnabled(menu::kProperties));  // connected
}

TEST_F(MainPresenterTest, SelectingAnAdapterShowsItWithoutANewSnapshot) {
    presenter_->firstDisplay();
    settle();
    presenter_->selectAdapter(1);
    EXPECT_EQ(presenter_->currentAdapterIndex(), 23U);
    EXPECT_TRUE(view_.get(&RecordingView::rows_).empty());  // its only address has context 0
    const auto log = view_.logMessages();
    ASSERT_EQ(log.size(), 9U);
    EXPECT_EQ(log[5], "WLAN 共计0个IP-地址.");
    EXPECT_EQ(log[7], "WLAN 媒体状态状态-已断开.");
    EXPECT_EQ(log[8], "WLAN 最大传输单元1500.");  // no speed line: not connected
    EXPECT_FALSE(presenter_->controlEnabled(menu::kProperties));
    EXPECT_TRUE(presenter_->controlEnabled(names::kAdapterCombo));
}

TEST_F(MainPresenterTest, CheckedKindsShowAtTheNextDisplayInTheirFixedOrder) {
    presenter_->firstDisplay();
    settle();
    presenter_->setKindChecked(AddressKind::primaryWins, true);
    presenter_->setKindChecked(AddressKind::gateway, true);
    presenter_->setKindChecked(AddressKind::address, false);
    // Nothing changes until the next display.
    EXPECT_EQ(view_.get(&RecordingView::rows_).size(), 24U);
    const auto linesBefore = view_.logMessages().size();
    presenter_->selectAdapter(0);
    EXPECT_EQ(column(7), (std::vector<std::string>{"IP-网关", " 主-WINS-IP"}));
    EXPECT_EQ(column(0), (std::vector<std::string>{"1", "2"}));
    // Without the address kind there is no count line.
    const auto log = view_.logMessages();
    EXPECT_EQ(log[linesBefore], std::string(37, '-'));
}

TEST_F(MainPresenterTest, RefreshKeepsTheSelectionAndLogsItsEnd) {
    presenter_->firstDisplay();
    settle();
    presenter_->selectAdapter(1);
    presenter_->refreshDisplay();
    EXPECT_EQ(view_.get(&RecordingView::comboSelected_), 1);
    EXPECT_EQ(presenter_->currentAdapterIndex(), 23U);
    EXPECT_EQ(view_.get(&RecordingView::caption_), kAppTitle);
    const auto log = view_.logMessages();
    EXPECT_EQ(log.back(), "刷新显示完成.");
    EXPECT_NE(std::find(log.begin(), log.end(), appBanner()), log.end());
}

TEST_F(MainPresenterTest, RefreshFallsBackToTheFirstAdapterWhenTheOldPositionIsGone) {
    // A host that loses adapters between two refreshes: the context's backend forwards to
    // whichever simulated host is current.
    struct SwitchingHost final : platform::HostBackend {
        platform::HostBackend* current = nullptr;
        std::vector<platform::AdapterInfo> getAdaptersInfo() override {
            return current->getAdaptersInfo();
        }
        std::optional<std::vector<std::string>> getPerAdapterDns(std::uint32_t i) override {
            return current->getPerAdapterDns(i);
        }
        std::vector<platform::InterfaceName> getInterfaceNames() override {
            return current->getInterfaceNames();
        }
        std::uint32_t addIpAddress(const std::string& a, const std::string& m,
                                   std::uint32_t i) override {
            return current->addIpAddress(a, m, i);
        }
        std::uint32_t deleteIpAddress(std::uint32_t c) override {
            return current->deleteIpAddress(c);
        }
        std::int32_t connectionStatus(const std::string& n) override {
            return current->connectionStatus(n);
        }
        std::int32_t mediaState(const std::string& n) override { return current->mediaState(n); }
        std::int64_t linkSpeed(const std::string& n) override { return current->linkSpeed(n); }
        std::int32_t mtu(const std::string& n) override { return current->mtu(n); }
        std::optional<bool> dhcpFlag(const std::string& n) override { return current->dhcpFlag(n); }
    };
    std::string error;
    auto three = platform::sim::SimHost::open(
        dir_.write("three.json", R"({"adapters": [{"index": 5}, {"index": 6}, {"index": 7}]})"),
        error);
    auto one = platform::sim::SimHost::open(
        dir_.write("one.json", R"({"adapters": [{"index": 5}]})"), error);
    SwitchingHost host;
    host.current = three.get();
    AppContext context(host);
    MainPresenter presenter(context, view_, workers_.starter());
    presenter.firstDisplay();
    settle();
    presenter.refreshDisplay();
    EXPECT_EQ(presenter.comboSelectedIndex(), 2);  // the same position is kept
    host.current = one.get();
    presenter.refreshDisplay();
    EXPECT_EQ(presenter.comboSelectedIndex(), 0);
    EXPECT_EQ(presenter.currentAdapterIndex(), 5U);
}

TEST_F(MainPresenterTest, NoAdaptersLeavesEverythingEmpty) {
    openHost(R"({"adapters": []})");
    presenter_->refreshDisplay();
    EXPECT_EQ(presenter_->currentAdapterIndex(), kNoAdapter);
    EXPECT_EQ(view_.get(&RecordingView::comboSelected_), -1);
    EXPECT_TRUE(view_.get(&RecordingView::rows_).empty());
    EXPECT_EQ(view_.logMessages().back(), "刷新显示完成.");
    EXPECT_NE(
        view_.get(&RecordingView::texts_)[std::string(names::kDetailsBox)].find("网卡状态：未知"),
        std::string::npos);
}

TEST_F(MainPresenterTest, SortAlternatesDirectionAndOrdersAddressesByValue) {
    openHost(R"({"adapters": [{"index": 1, "friendlyName": "a", "ipAddresses": [
        {"address": "10.0.0.10", "mask": "255.0.0.0", "context": 3},
        {"address": "10.0.0.9", "mask": "255.255.0.0", "context": 1},
        {"address": "10.0.0.100", "mask": "255.255.255.0", "context": 2}]}]})");
    presenter_->firstDisplay();
    settle();
    presenter_->sortIpList(1);
    settle();
    EXPECT_EQ(column(1), (std::vector<std::string>{"10.0.0.9", "10.0.0.10", "10.0.0.100"}));
    EXPECT_EQ(column(0), (std::vector<std::string>{"2", "1", "3"}));  // IDs move with their rows
    presenter_->sortIpList(1);
    settle();
    EXPECT_EQ(column(1), (std::vector<std::string>{"10.0.0.100", "10.0.0.10", "10.0.0.9"}));
    // One flag for the whole list: the next column starts ascending again.
    presenter_->sortIpList(3);
    settle();
    EXPECT_EQ(column(3), (std::vector<std::string>{"1", "2", "3"}));
    presenter_->sortIpList(2);  // text comparison, descending now
    settle();
    EXPECT_EQ(column(2), (std::vector<std::string>{"255.255.255.0", "255.255.0.0", "255.0.0.0"}));
    EXPECT_EQ(view_.logMessages().back(), "排序完成.");
    EXPECT_TRUE(presenter_->controlEnabled(names::kRefreshButton));
}

TEST_F(MainPresenterTest, SortIsIgnoredWhileAnOperationRuns) {
    presenter_->firstDisplay();
    settle();
    const auto before = view_.get(&RecordingView::rowSets_);
    presenter_->setBusy(true);
    presenter_->sortIpList(1);
    settle();
    EXPECT_EQ(view_.get(&RecordingView::rowSets_), before);
    presenter_->setBusy(false);
}

TEST_F(MainPresenterTest, ASortLocksTheWindowBeforeItsWorkerStarts) {
    // Workers that start only when the test says, as a real thread may start late.
    std::vector<std::function<void()>> pending;
    MainPresenter presenter(*context_, view_,
                            [&pending](std::function<void()> task) { pending.push_back(task); });
    presenter.firstDisplay();
    view_.pump();
    presenter.sortIpList(1);
    presenter.sortIpList(1);        // a second click before the first sort ran
    presenter.refreshClicked();     // and the refresh button
    presenter.adapterActivated(0);  // and the adapter box
    ASSERT_EQ(pending.size(), 1U);
    EXPECT_EQ(presenter.comboSelectedIndex(), 2);
    for (auto& task : pending) {
        task();
    }
    view_.pump();
    const auto log = view_.logMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "排序完成."), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "刷新显示完成."), 0);
    EXPECT_TRUE(presenter.controlEnabled(names::kRefreshButton));
    presenter.refreshClicked();  // free again
    EXPECT_EQ(view_.logMessages().back(), "刷新显示完成.");
}

TEST_F(MainPresenterTest, ASortNeverReplacesRowsFilledAfterItsClick) {
    openHost(R"({"adapters": [
        {"index": 1, "friendlyName": "a", "ipAddresses": [
            {"address": "10.0.0.3", "mask": "255.0.0.0", "context": 1},
            {"address": "10.0.0.1", "mask": "255.0.0.0", "context": 2},
            {"address": "10.0.0.2", "mask": "255.0.0.0", "context": 3}]},
        {"index": 2, "friendlyName": "b", "ipAddresses": [
            {"address": "10.0.1.2", "mask": "255.0.0.0", "context": 4},
            {"address": "10.0.1.1", "mask": "255.0.0.0", "context": 5}]}]})");
    std::vector<std::function<void()>> pending;
    MainPresenter presenter(*context_, view_,
                            [&pending](std::function<void()> task) { pending.push_back(task); });
    const auto runPending = [&] {
        auto tasks = std::move(pending);
        pending.clear();
        for (auto& task : tasks) {
            task();
        }
        view_.pump();
    };
    presenter.firstDisplay();  // adapter b
    view_.pump();
    presenter.sortIpList(1);
    ASSERT_EQ(pending.size(), 1U);
    presenter.selectAdapter(0);  // adapter a's rows arrive before the sort's worker ends
    const auto fresh = presenter.rows();
    ASSERT_EQ(fresh.size(), 3U);
    runPending();
    EXPECT_EQ(presenter.rows(), fresh);
    EXPECT_EQ(view_.get(&RecordingView::rows_), fresh);
    EXPECT_EQ(view_.logMessages().back(), "排序完成.");
    EXPECT_TRUE(presenter.controlEnabled(names::kRefreshButton));

    // The dropped sort left the direction alone: the next one is the first, ascending.
    presenter.sortIpList(1);
    runPending();
    EXPECT_EQ(column(1), (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
    EXPECT_EQ(presenter.rows(), view_.get(&RecordingView::rows_));
}

TEST_F(MainPresenterTest, BusyPeriodsNestSoAnInnerRefreshKeepsTheControlsDisabled) {
    presenter_->firstDisplay();
    settle();
    presenter_->setBusy(true);  // an add or delete runs
    presenter_->refreshDisplay();
    for (auto name : {names::kRefreshButton, names::kAdapterCombo, menu::kAdd, menu::kDelete,
                      menu::kLookup, menu::kCopyAll}) {
        EXPECT_FALSE(presenter_->controlEnabled(name)) << name;
    }
    presenter_->setBusy(false);
    EXPECT_TRUE(presenter_->controlEnabled(names::kRefreshButton));
    EXPECT_TRUE(view_.get(&RecordingView::enabled_)[std::string(names::kRefreshButton)]);
    // The menu's operations come back with the controls.
    EXPECT_TRUE(view_.get(&RecordingView::enabled_)[std::string(menu::kLookup)]);
    EXPECT_TRUE(view_.get(&RecordingView::enabled_)[std::string(menu::kCopyAll)]);
    presenter_->setBusy(false);  // an unmatched end changes nothing
    presenter_->setBusy(true);
    EXPECT_FALSE(presenter_->controlEnabled(names::kRefreshButton));
}

TEST_F(MainPresenterTest, LogLinesFromWorkersArriveInOrderWithTimeStamps) {
    auto starter = workers_.starter();
    starter([this] {
        for (int i = 0; i < 2000; ++i) {
            presenter_->appendLog("line " + std::to_string(i));
        }
    });
    settle();
    const auto messages = view_.logMessages();
    ASSERT_EQ(messages.size(), 2000U);
    for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(messages[static_cast<std::size_t>(i)], "line " + std::to_string(i));
    }
    const std::string text = view_.get(&RecordingView::logText_);
    EXPECT_TRUE(
        std::regex_search(text.substr(0, 10), std::regex("^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]")));
    EXPECT_EQ(text.substr(8, 2), "：");
    EXPECT_EQ(formatLogLine(7, 5, 9, "x"), "07:05:09：x\r\n");
}

TEST_F(MainPresenterTest, StartUpReadsDefaultsLogsTheBannerAndShowsTheFirstDisplay) {
    const std::string ini = (dir_.path() / "UserConfig.ini").string();
    ASSERT_TRUE(presenter_->startUp(ini));
    settle();
    EXPECT_EQ(view_.logMessages().front(), appBanner());
    EXPECT_EQ(presenter_->comboSelectedIndex(), 2);
    EXPECT_EQ(context_->settings.get().connectTimeoutMs, 1500);
    EXPECT_FALSE(std::filesystem::exists(ini));  // start-up creates no file
    EXPECT_EQ(view_.get(&RecordingView::caption_), kAppTitle);
    // Link labels without an address are hidden.
    EXPECT_FALSE(view_.get(&RecordingView::visible_)[std::string(names::kLinkExchange)]);
}

TEST_F(MainPresenterTest, StartUpEndsWhenTheHttpLibraryIsMissing) {
    context_->httpLibraryUsable = [] { return false; };
    EXPECT_FALSE(presenter_->startUp((dir_.path() / "UserConfig.ini").string()));
    settle();
    EXPECT_EQ(view_.get(&RecordingView::messages_),
              (std::vector<std::string>{"错误|缺少 Libcurl.dll"}));
    EXPECT_TRUE(view_.logMessages().empty());  // no banner, no first display
    EXPECT_EQ(presenter_->comboSelectedIndex(), -1);
}

TEST_F(MainPresenterTest, DeleteTakesTheRecordedSelectionWhichFollowsItsRowsThroughASort) {
    presenter_->setKindChecked(AddressKind::gateway, true);
    presenter_->firstDisplay();
    settle();
    ASSERT_EQ(presenter_->rows().size(), 25U);
    ASSERT_EQ(presenter_->rows()[24].cells[list_column::kKind], "IP-网关");
    presenter_->listSelectionChanged({24, 3, 0});  // .1 (gateway), .13, .10

    presenter_->sortIpList(1);  // the gateway's 192.168.1.1 comes first
    settle();
    ASSERT_EQ(presenter_->rows()[0].cells[list_column::kAddress], "192.168.1.1");
    const auto selected = presenter_->selectedRows();
    ASSERT_EQ(selected.size(), 3U);
    EXPECT_EQ(selected[0].address, "192.168.1.1");
    EXPECT_EQ(selected[1].address, "192.168.1.10");
    EXPECT_EQ(selected[2].address, "192.168.1.13");
    EXPECT_EQ(selected[0].kind, AddressKind::gateway);
    EXPECT_EQ(selected[2].kind, AddressKind::address);
    EXPECT_EQ(selected[2].context, 104U);

    presenter_->deleteChosen();  // on this (the UI) thread, refresh included
    view_.pump();
    const auto log = view_.logMessages();
    EXPECT_NE(std::find(log.begin(), log.end(), "成功删除IP-地址 192.168.1.13"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "删除选中项目完成,共计选中3条,符合启用条件2条,其中成功2 失败0."),
              log.end());
    for (const auto& row : presenter_->rows()) {
        EXPECT_NE(row.cells[1], "192.168.1.10");
        EXPECT_NE(row.cells[1], "192.168.1.13");
    }
    EXPECT_TRUE(presenter_->controlEnabled(menu::kDelete));

    // The refreshed rows come unselected.
    presenter_->deleteChosen();
    EXPECT_EQ(view_.logMessages().back(), "没有选中任何要启用的项目！");

    // Ignored while an operation runs.
    presenter_->listSelectionChanged({0});
    presenter_->setBusy(true);
    const std::size_t lines = view_.logMessages().size();
    presenter_->deleteChosen();
    EXPECT_EQ(view_.logMessages().size(), lines);
}

}  // namespace
}  // namespace nicops::ui
