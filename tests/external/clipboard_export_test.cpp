#include "external/clipboard_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ipops/operation_fixture.h"

namespace nicops::external {
namespace {

using Lines = std::vector<std::string>;

class FakeClipboard final : public platform::Clipboard {
public:
    explicit FakeClipboard(bool works) : works_(works) {}
    bool setText(const std::string& gbk) override {
        if (works_) {
            text = gbk;
        }
        return works_;
    }
    std::string text = "before";

private:
    bool works_;
};

inventory::AdapterSnapshot snapshotOf(
    std::initializer_list<std::tuple<const char*, const char*, const char*, const char*>> rows) {
    inventory::AdapterSnapshot s;
    for (const auto& [address, mask, external, location] : rows) {
        inventory::AddressEntry e;
        e.mask = mask;
        e.externalAddress = external;
        e.location = location;
        s.addresses.store(address, e);
    }
    return s;
}

TEST(ExportTextTest, TemplatesAreFilledInTableOrderWithCrLfAfterEveryLine) {
    const auto s = snapshotOf({{"10.0.0.9", "255.255.255.0", "", ""},
                               {"10.0.0.5", "255.255.0.0", "203.0.113.7", "广东深圳 电信"}});
    EXPECT_EQ(buildExportText(s, settings::kDefaultCopyFormat),
              ":1080|mornlux|kvzt|\r\n203.0.113.7:1080|mornlux|kvzt|广东深圳 电信\r\n");
    EXPECT_EQ(buildExportText(s, "{内网IP}/{内网掩码} {内网IP}{ 外网IP}"),
              "10.0.0.9/255.255.255.0 10.0.0.9{ 外网IP}\r\n"
              "10.0.0.5/255.255.0.0 10.0.0.5{ 外网IP}\r\n");
    EXPECT_EQ(buildExportText(s, ""), "\r\n\r\n");
    EXPECT_EQ(buildExportText({}, settings::kDefaultCopyFormat), "");
}

TEST(ExportTextTest, LaterStepsSearchWhatEarlierOnesInsertedButNotTheOtherWayRound) {
    const auto s = snapshotOf({{"10.0.0.5", "{外网IP}", "{内网IP}", "{地理位置}"}});
    EXPECT_EQ(buildExportText(s, "{内网掩码}|{外网IP}"), "{内网IP}|{内网IP}\r\n");
    EXPECT_EQ(buildExportText(s, "{地理位置}"), "{地理位置}\r\n");
    // The second byte of 亄 is '{': what follows it is no placeholder.
    EXPECT_EQ(buildExportText(s, "亄内网IP}{内网IP}"), "亄内网IP}10.0.0.5\r\n");
}

TEST(ExportTextTest, AHundredThousandAddressesEachGetTheirLine) {
    inventory::AdapterSnapshot s;
    s.addresses.reserve(100000);
    for (int i = 0; i < 100000; ++i) {
        inventory::AddressEntry e;
        e.mask = "255.255.0.0";
        e.externalAddress =
            "203.0." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
        e.location = "广东深圳 电信";
        s.addresses.store("10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) +
                              "." + std::to_string(i % 256),
                          e);
    }
    const std::string out =
        buildExportText(s, "{内网IP}/{内网掩码} " + std::string(settings::kDefaultCopyFormat));
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 100000);
    EXPECT_TRUE(
        out.starts_with("10.0.0.0/255.255.0.0 203.0.0.0:1080|mornlux|kvzt|广东深圳 电信\r\n"));
}

class ExportTest : public ipops::OperationTest {};

TEST_F(ExportTest, TheOutcomeIsLoggedWithTheEntryCountInsideOneBusyPeriod) {
    openHost();
    settings::SharedSettings settings;
    FakeClipboard working(true);
    exportAddressesToClipboard(services(), *host_, settings, working);
    EXPECT_EQ(working.text,
              ":1080|mornlux|kvzt|\r\n:1080|mornlux|kvzt|\r\n:1080|mornlux|kvzt|\r\n");
    EXPECT_EQ(host_->takeLog(), (Lines{"<busy>", "复制所有网卡IP完成,共计复制3个IP.", "</busy>"}));

    FakeClipboard held(false);
    exportAddressesToClipboard(services(), *host_, settings, held);
    EXPECT_EQ(held.text, "before");
    EXPECT_EQ(host_->takeLog(), (Lines{"<busy>", "共计复制3个IP,复制到剪辑版失败！", "</busy>"}));
}

}  // namespace
}  // namespace nicops::external
