#include "ui/tcpip_properties_presenter.h"

#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ipops/persisted_settings.h"
#include "platform/file_store.h"
#include "platform/sim/sim_host.h"
#include "recording_view.h"
#include "support/temp_dir.h"
#include "ui/layout_tables.h"

namespace nicops::ui {
namespace {

using nicops::testing::TempDir;

class TcpipPropertiesPresenterTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Adapter 12, "以太网", gets a secondary DNS server other than the alternate default;
        // adapter 23, "WLAN", refuses to be reconfigured.
        nlohmann::json host = nlohmann::json::parse(nicops::testing::demoHostText());
        for (auto& adapter : host["adapters"]) {
            if (adapter["index"] == 12) {
                adapter["dns"] = {"223.5.5.5", "8.8.4.4"};
            } else if (adapter["index"] == 23) {
                adapter["configurationRefused"] = nicops::testing::utf8(u8"网卡拒绝了修改.");
            }
        }
        std::string error;
        host_ = platform::sim::SimHost::open(dir_.write("host.json", host.dump()), error);
        ASSERT_NE(host_, nullptr) << error;
        context_ = std::make_unique<AppContext>(*host_);
        context_->store = &store_;
        context_->configuration = host_.get();
        main_ = std::make_unique<MainPresenter>(*context_, mainView_, workers_.starter());
        main_->firstDisplay();  // adapter 12, "以太网", is the current one
        workers_.join();
        mainView_.pump();
        mainView_.logText_.clear();
    }

    void storeGateways(const std::string& adapterName, const std::string& dhcp,
                       const std::string& fixed) {
        const std::string key = ipops::tcpipInterfaceKey(adapterName);
        ASSERT_TRUE(store_.writeMultiString(key, "DhcpDefaultGateway", dhcp));
        ASSERT_TRUE(store_.writeMultiString(key, "DefaultGateway", fixed));
    }

    // The switches the host was asked for, as "dhcp NAME" or "static NAME address/mask gateway
    // dns1,dns2".
    std::vector<std::string> calls() const {
        std::vector<std::string> calls;
        for (const platform::sim::ConfigurationCall& call : host_->configurationCalls()) {
            if (const auto& v = call.staticValues) {
                calls.push_back("static " + call.connectionName + " " + v->address + "/" + v->mask +
                                " " + v->gateway + " " + v->primaryDns + "," + v->secondaryDns);
            } else {
                calls.push_back("dhcp " + call.connectionName);
            }
        }
        return calls;
    }

    std::vector<std::string> log() {
        mainView_.pump();
        return mainView_.logMessages();
    }

    TempDir dir_;
    platform::FileStore store_{(dir_.path() / "store.json").string()};
    std::unique_ptr<platform::sim::SimHost> host_;
    std::unique_ptr<AppContext> context_;
    RecordingView mainView_;
    JoinedWorkers workers_;
    std::unique_ptr<MainPresenter> main_;
};

constexpr std::array<std::string_view, 8> kStaticFields = {
    tcpip_names::kAddressBox,    tcpip_names::kAddressLabel,    tcpip_names::kMaskBox,
    tcpip_names::kMaskLabel,     tcpip_names::kGatewayBox,      tcpip_names::kGatewayLabel,
    tcpip_names::kPrimaryDnsBox, tcpip_names::kSecondaryDnsBox,
};

TEST_F(TcpipPropertiesPresenterTest, OpensWithTheAdaptersLastAddressItsModeAndItsGateway) {
    storeGateways("{4F0C6B2A-0000-4000-8000-0000000000A1}", "192.168.1.254",
                  "192.168.1.1\r\n192.168.1.2\r\n");
    storeGateways("{4F0C6B2A-0000-4000-8000-0000000000B2}", "10.0.0.1\r\n10.0.0.254", "10.9.9.9");

    // Static: the last of 24 addresses with its own mask, "DefaultGateway"'s first item.
    RecordingForm view(kTcpipDialogControls);
    TcpipPropertiesPresenter presenter(*main_, view);
    EXPECT_EQ(view.text(tcpip_names::kAddressBox), "192.168.200.201");
    EXPECT_EQ(view.text(tcpip_names::kMaskBox), "255.255.255.255");
    EXPECT_EQ(view.text(tcpip_names::kGatewayBox), "192.168.1.1");
    EXPECT_EQ(view.text(tcpip_names::kPrimaryDnsBox), "223.5.5.5");
    EXPECT_EQ(view.text(tcpip_names::kSecondaryDnsBox), "8.8.4.4");
    EXPECT_FALSE(view.isChecked(tcpip_names::kAutomaticRadio));
    EXPECT_TRUE(view.isChecked(tcpip_names::kStaticRadio));
    for (std::string_view field : kStaticFields) {
        EXPECT_TRUE(view.isEnabled(field)) << field;
    }

    // DHCP ("以太网 2"): "DhcpDefaultGateway", static fields greyed out, DNS labels not; no
    // secondary DNS server shows the alternate default.
    main_->selectAdapter(0);
    RecordingForm dhcp(kTcpipDialogControls);
    TcpipPropertiesPresenter second(*main_, dhcp);
    EXPECT_EQ(dhcp.text(tcpip_names::kAddressBox), "10.0.0.10");
    EXPECT_EQ(dhcp.text(tcpip_names::kMaskBox), "255.255.255.0");
    EXPECT_EQ(dhcp.text(tcpip_names::kGatewayBox), "10.0.0.1");
    EXPECT_EQ(dhcp.text(tcpip_names::kPrimaryDnsBox), "10.0.0.1");
    EXPECT_EQ(dhcp.text(tcpip_names::kSecondaryDnsBox), "114.114.114.114");
    EXPECT_TRUE(dhcp.isChecked(tcpip_names::kAutomaticRadio));
    EXPECT_FALSE(dhcp.isChecked(tcpip_names::kStaticRadio));
    for (std::string_view field : kStaticFields) {
        EXPECT_FALSE(dhcp.isEnabled(field)) << field;
    }
    EXPECT_TRUE(dhcp.isEnabled(tcpip_names::kPrimaryDnsLabel));
    EXPECT_TRUE(dhcp.isEnabled(tcpip_names::kSecondaryDnsLabel));

    second.staticChosen();
    EXPECT_TRUE(dhcp.isEnabled(tcpip_names::kGatewayLabel));
    second.automaticChosen();
    EXPECT_FALSE(dhcp.isEnabled(tcpip_names::kSecondaryDnsBox));
    EXPECT_TRUE(calls().empty()) << "opening and choosing change nothing";
}

TEST_F(TcpipPropertiesPresenterTest, AutomaticModeLogsTheOutcomeWithTheConnectionName) {
    main_->selectAdapter(0);  // "以太网 2"
    mainView_.logText_.clear();
    RecordingForm view(kTcpipDialogControls);
    TcpipPropertiesPresenter presenter(*main_, view);
    view.events.clear();  // what opening did
    presenter.apply();
    EXPECT_EQ(view.events, (std::vector<std::string>{"按钮2-", "按钮2+", "closed"}));
    EXPECT_EQ(calls(), (std::vector<std::string>{"dhcp 以太网 2"}));
    EXPECT_EQ(log(), (std::vector<std::string>{"以太网 2 修改为自动获取IP成功."}));

    main_->selectAdapter(1);  // "WLAN", which refuses
    mainView_.logText_.clear();
    RecordingForm refused(kTcpipDialogControls);
    TcpipPropertiesPresenter failing(*main_, refused);
    failing.apply();
    EXPECT_EQ(calls().back(), "dhcp WLAN");
    EXPECT_EQ(log(), (std::vector<std::string>{"网卡拒绝了修改.", "WLAN 修改为自动获取IP失败！"}));
}

TEST_F(TcpipPropertiesPresenterTest, StaticModeHandsOverTheBoxesAndLogsNothing) {
    RecordingForm view(kTcpipDialogControls);
    TcpipPropertiesPresenter presenter(*main_, view);
    view.setControlText(tcpip_names::kAddressBox, "192.168.1.77");
    view.setControlText(tcpip_names::kMaskBox, "255.255.255.0");
    view.setControlText(tcpip_names::kSecondaryDnsBox, "");
    view.events.clear();  // what opening did
    presenter.apply();
    EXPECT_EQ(view.events, (std::vector<std::string>{"按钮2-", "按钮2+", "closed"}));
    EXPECT_EQ(calls(),
              (std::vector<std::string>{"static 以太网 192.168.1.77/255.255.255.0  223.5.5.5,"}));
    EXPECT_TRUE(log().empty());

    // An empty address is refused before the platform is asked, with one line.
    RecordingForm empty(kTcpipDialogControls);
    TcpipPropertiesPresenter refusing(*main_, empty);
    empty.setControlText(tcpip_names::kAddressBox, "192.168.1");  // incomplete: blank
    refusing.apply();
    EXPECT_EQ(calls().size(), 1U);
    EXPECT_EQ(log().size(), 1U);
    EXPECT_EQ(empty.events.back(), "closed");
}

}  // namespace
}  // namespace nicops::ui
