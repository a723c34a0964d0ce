// The properties dialog's operations over the simulated host: what it opens with, and the
// DHCP/static switch with its log lines.
#include "ipops/tcpip_properties.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ipops/persisted_settings.h"
#include "operation_fixture.h"
#include "platform/live_gateway_store.h"

namespace nicops::ipops {
namespace {

using Lines = std::vector<std::string>;

// 12 "lan" on DHCP with three addresses (the last with its own mask), one DNS server and the
// gateway 10.0.0.1; 13 "wan" static with two DNS servers; "bad" refuses every switch.
constexpr const char* kHost = R"({"adapters": [
  {"index": 12, "adapterName": "eth0", "friendlyName": "lan", "dhcpFlag": true,
   "ipAddresses": [{"address": "10.0.0.5", "mask": "255.255.255.0", "context": 5},
                   {"address": "10.0.0.6", "mask": "255.255.255.0", "context": 6},
                   {"address": "10.0.0.7", "mask": "255.255.0.0", "context": 7}],
   "gateways": ["10.0.0.1"], "dns": ["10.0.0.53"]},
  {"index": 13, "adapterName": "eth1", "friendlyName": "wan", "dhcpFlag": false,
   "ipAddresses": [{"address": "10.9.0.1", "mask": "255.255.0.0", "context": 9}],
   "dns": ["10.9.0.53", "10.9.0.54"]},
  {"index": 14, "adapterName": "eth2", "friendlyName": "bad",
   "configurationRefused": "refused by the host"}]})";

class TcpipPropertiesTest : public OperationTest {
protected:
    void SetUp() override { openHost(12, kHost); }
};

TEST_F(TcpipPropertiesTest, OpensWithTheLastAddressTheDnsServersAndTheGatewayOfItsMode) {
    // Distinct stored gateway values show which one the mode reads.
    for (const char* adapter : {"eth0", "eth1"}) {
        ASSERT_TRUE(
            store_.writeMultiString(tcpipInterfaceKey(adapter), "DhcpDefaultGateway", "10.1.1.1"));
        ASSERT_TRUE(
            store_.writeMultiString(tcpipInterfaceKey(adapter), "DefaultGateway", "10.2.2.2"));
    }
    const TcpipProperties lan = loadTcpipProperties(services(), *sim_, 12, "lan");
    EXPECT_TRUE(lan.dhcp);
    EXPECT_EQ(lan.address, "10.0.0.7");
    EXPECT_EQ(lan.mask, "255.255.0.0");
    EXPECT_EQ(lan.gateway, "10.1.1.1\r\n\r\n");
    EXPECT_EQ(lan.primaryDns, "10.0.0.53");
    EXPECT_EQ(lan.secondaryDns, "114.114.114.114");

    const TcpipProperties wan = loadTcpipProperties(services(), *sim_, 13, "wan");
    EXPECT_FALSE(wan.dhcp);
    EXPECT_EQ(wan.address, "10.9.0.1");
    EXPECT_EQ(wan.gateway, "10.2.2.2\r\n\r\n");
    EXPECT_EQ(wan.secondaryDns, "10.9.0.54");

    // A name the platform doesn't know opens in static mode.
    EXPECT_FALSE(loadTcpipProperties(services(), *sim_, 12, "nowhere").dhcp);

    // Where the platform keeps no gateway values, the adapter's live gateway is read.
    platform::LiveGatewayStore live(std::make_unique<platform::FileStore>(storePath_), *sim_);
    const OperationServices liveServices{*sim_, *sim_, live, snapshotMutex_, snapshot_};
    EXPECT_EQ(loadTcpipProperties(liveServices, *sim_, 12, "lan").gateway, "10.0.0.1\r\n\r\n");
}

TEST_F(TcpipPropertiesTest, TheDhcpSwitchLogsItsOutcomeAfterThePlatformsReason) {
    EXPECT_TRUE(switchToDhcp(*sim_, *host_, "wan"));
    EXPECT_EQ(host_->takeLog(), (Lines{"wan 修改为自动获取IP成功."}));
    EXPECT_TRUE(sim_->isDhcpEnabled("wan"));

    EXPECT_FALSE(switchToDhcp(*sim_, *host_, "bad"));
    EXPECT_EQ(host_->takeLog(), (Lines{"refused by the host", "bad 修改为自动获取IP失败！"}));
    EXPECT_FALSE(switchToDhcp(*sim_, *host_, "nowhere"));
    EXPECT_EQ(host_->takeLog(),
              (Lines{"没有连接名称为 nowhere 的网卡.", "nowhere 修改为自动获取IP失败！"}));
}

TEST_F(TcpipPropertiesTest, TheStaticSwitchLogsOnlyARefusedEmptyAddressOrMask) {
    std::string problem = "stale";
    EXPECT_FALSE(switchToStatic(*sim_, *host_, "lan", {"10.0.0.8", "", "", "", ""}, problem));
    EXPECT_EQ(problem, "lan 未修改: IP地址和子网掩码不能为空.");
    EXPECT_EQ(host_->takeLog(), (Lines{problem}));
    EXPECT_TRUE(sim_->configurationCalls().empty());  // refused before the platform was asked

    EXPECT_FALSE(
        switchToStatic(*sim_, *host_, "bad", {"10.0.0.8", "255.0.0.0", "", "", ""}, problem));
    EXPECT_EQ(problem, "refused by the host");
    EXPECT_TRUE(
        switchToStatic(*sim_, *host_, "lan", {"10.0.0.8", "255.0.0.0", "", "", ""}, problem));
    EXPECT_EQ(problem, "");
    EXPECT_EQ(host_->takeLog(), Lines{});
    EXPECT_EQ(addressesOf(12), (Lines{"10.0.0.8/255.0.0.0"}));
}

}  // namespace
}  // namespace nicops::ipops
