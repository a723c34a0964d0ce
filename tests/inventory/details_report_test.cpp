#include "inventory/details_report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/sim/sim_host.h"
#include "support/temp_dir.h"
#include "text/text_functions.h"

namespace nicops::inventory {
namespace {

// Runs the test body on a machine clock of UTC+8 and restores the zone afterwards.
class ChinaTime {
public:
    ChinaTime() {
        const char* old = std::getenv("TZ");
        saved_ = old ? std::optional<std::string>(old) : std::nullopt;
        setenv("TZ", "CST-8", 1);
        tzset();
    }
    ~ChinaTime() {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::optional<std::string> saved_;
};

TEST(DetailsReportTest, SeventeenLinesInOrderWithEmptyValuesLeavingTheLabelAlone) {
    ChinaTime zone;
    AdapterRecord r;
    r.connectionName = "以太网";
    r.description = "Ethernet Controller";
    r.adapterName = "{GUID}";
    r.physicalAddress = "00-1A-2B-3C-4D-5E";
    r.adapterType = 6;
    r.addressCount = 24;
    r.gatewayCount = 1;
    r.primaryDns = "223.5.5.5";
    const std::string report = buildDetailsReport(r, 2);
    const auto lines = text::splitText(report, "\r\n");
    ASSERT_EQ(lines.size(), 17U);
    EXPECT_EQ(lines[0], "连接名称：以太网");
    EXPECT_EQ(lines[1], "网卡状态：已连接");
    EXPECT_EQ(lines[5], "适配器类型：以太网适配器");
    EXPECT_EQ(lines[6], "已启用DHCP：否");
    EXPECT_EQ(lines[7], "IPv4地址链表：24");
    EXPECT_EQ(lines[10], "使用WINS服务器：否");
    EXPECT_EQ(lines[14], "备用DNS服务器：");
    EXPECT_EQ(lines[15], "DHCP获得租约时间：1970-1-1 08:00:00");
    EXPECT_EQ(lines[16], "DHCP租约过期时间：1970-1-1 08:00:00");
    EXPECT_NE(report.substr(report.size() - 2), "\r\n");
}

TEST(DetailsReportTest, NamesOutsideTheTablesAndUnknownStatus) {
    EXPECT_EQ(adapterTypeName(53), "53");
    EXPECT_EQ(adapterTypeName(71), "IEEE80211");
    EXPECT_EQ(yesNoText(0), "否");
    EXPECT_EQ(yesNoText(1), "是");
    EXPECT_EQ(yesNoText(7), "7");
    EXPECT_EQ(adapterStatusName(12), "缺少证书");
    EXPECT_EQ(adapterStatusName(13), "未知");
    EXPECT_EQ(adapterStatusName(-1), "未知");
}

TEST(LeaseTimeTest, TenCharactersAreSecondsInTheMachinesLocalTime) {
    {
        ChinaTime zone;
        EXPECT_EQ(formatLeaseTime("1765152000"), "2025-12-08 08:00:00");
        EXPECT_EQ(formatLeaseTime("1000000000"), "2001-09-09 09:46:40");
        // Negative values whose text has ten characters take the same rule.
        EXPECT_EQ(formatLeaseTime("-100000000"), "1966-10-31 22:13:20");
        EXPECT_EQ(formatLeaseTime("-999999999"), "1938-04-25 06:13:21");
    }
    // Another zone shows the same instant on its own clock, as its log lines do.
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(formatLeaseTime("1765152000"), "2025-12-08 00:00:00");
    setenv("TZ", "EST5", 1);
    tzset();
    EXPECT_EQ(formatLeaseTime("1765152000"), "2025-12-07 19:00:00");
    unsetenv("TZ");
    tzset();
}

TEST(LeaseTimeTest, OtherLengthsAreMillisecondsInLocalTimeWithoutLeadingZeros) {
    ChinaTime zone;
    EXPECT_EQ(formatLeaseTime("0"), "1970-1-1 08:00:00");
    EXPECT_EQ(formatLeaseTime("999999999"), "1970-1-12 21:46:39");  // nine characters
    EXPECT_EQ(formatLeaseTime("-1"), "1970-1-1 07:59:59");
    EXPECT_EQ(formatLeaseTime("abc"), "");
    EXPECT_EQ(formatLeaseTime(""), "");
}

class LinkStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        host_ = platform::sim::SimHost::open(
            dir_.write("host.json", nicops::testing::utf8(u8R"({"adapters": [
                {"index": 1, "friendlyName": "万兆", "status": 2, "operStatus": 1,
                 "speed": 10000000000, "mtu": 9000},
                {"index": 2, "friendlyName": "down", "status": 7, "operStatus": 2, "mtu": 1500},
                {"index": 3, "friendlyName": "tun", "status": 2, "operStatus": 1, "speed": -1,
                 "mtu": 1400}]})")),
            error);
        ASSERT_NE(host_, nullptr) << error;
    }
    nicops::testing::TempDir dir_;
    std::unique_ptr<platform::sim::SimHost> host_;
};

TEST_F(LinkStateTest, ConnectedLinkShowsSixtyFourBitSpeed) {
    NetworkQuery query(*host_);
    const auto lines = linkStateLines("万兆", 2, query);
    ASSERT_EQ(lines.size(), 4U);
    EXPECT_EQ(lines[0], std::string(37, '-'));
    EXPECT_EQ(lines[1], "万兆 媒体状态状态-已连接.");
    EXPECT_EQ(lines[2], "万兆 最大传输速度10000Mbps");
    EXPECT_EQ(lines[3], "万兆 最大传输单元9000.");
}

TEST_F(LinkStateTest, OtherStatusHasNoSpeedLineAndUnknownNamesShowFailureValuesOrSayUnknown) {
    NetworkQuery query(*host_);
    const auto down = linkStateLines("down", 7, query);
    ASSERT_EQ(down.size(), 3U);
    EXPECT_EQ(down[1], "down 媒体状态状态-已断开.");
    const auto unknown = linkStateLines("nobody", 2, query);
    ASSERT_EQ(unknown.size(), 4U);
    EXPECT_EQ(unknown[1], "nobody 媒体状态状态-已断开.");
    EXPECT_EQ(unknown[2], "nobody 最大传输速度未知.");
    EXPECT_EQ(unknown[3], "nobody 最大传输单元-1.");
    // A link that is up but tells no speed.
    EXPECT_EQ(linkStateLines("tun", 2, query)[2], "tun 最大传输速度未知.");
}

}  // namespace
}  // namespace nicops::inventory
