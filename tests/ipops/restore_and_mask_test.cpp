// What is read back from the store: the add dialog's mask and the addresses restored at boot.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipops/add_range.h"
#include "ipops/persisted_settings.h"
#include "operation_fixture.h"

namespace nicops::ipops {
namespace {

using Lines = std::vector<std::string>;

// A store file holding `values` of the key of eth0 (JSON members, as the file store writes them).
std::string storeWith(const std::string& values) {
    return R"({"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\)"
           R"(Interfaces\\eth0": {)" +
           values + "}}";
}

std::string multi(const std::string& name, const std::string& items) {
    return "\"" + name + R"(": {"type": "multi-string", "items": [)" + items + "]}";
}

class DefaultMaskTest : public OperationTest {
protected:
    void SetUp() override { openHost(); }
    std::string maskWith(const std::string& values) {
        dir_.write("store.json", storeWith(values));
        return loadDefaultMask(services(), 12);
    }
};

TEST_F(DefaultMaskTest, TheDhcpMaskComesFirstThenTheFirstStoredMaskThenTheDefault) {
    EXPECT_EQ(maskWith(R"("DhcpSubnetMask": {"type": "string", "text": " 255.255.240.0 "}, )" +
                       multi("SubnetMask", R"("255.255.0.0")")),
              "255.255.240.0");
    EXPECT_EQ(maskWith(multi("SubnetMask", R"("255.255.0.0", "255.0.0.0")")), "255.255.0.0");
    // A DHCP mask that the box can't show gives way to the stored one.
    EXPECT_EQ(maskWith(R"("DhcpSubnetMask": {"type": "string", "text": "255.255.256.0"}, )" +
                       multi("SubnetMask", R"("255.0.0.0")")),
              "255.0.0.0");
    EXPECT_EQ(maskWith(multi("SubnetMask", "")), "255.255.255.0");
    EXPECT_EQ(maskWith(multi("SubnetMask", R"("blank")")), "255.255.255.0");
}

TEST_F(DefaultMaskTest, AMissingOrUnreadableStoreAndAnUnknownAdapterGiveTheDefault) {
    EXPECT_EQ(loadDefaultMask(services(), 12), "255.255.255.0");
    dir_.write("store.json", storeWith(multi("SubnetMask", R"("255.0.0.0")")));
    EXPECT_EQ(loadDefaultMask(services(), 99), "255.255.255.0");
    dir_.write("store.json", "not json");
    EXPECT_EQ(loadDefaultMask(services(), 12), "255.255.255.0");
}

// ---- restore -----------------------------------------------------------------------------------

class RestoreTest : public OperationTest {
protected:
    void SetUp() override { openHost(); }
    Lines restore() {
        restoreAddresses(services(), *host_);
        return host_->takeLog();
    }
};

TEST_F(RestoreTest, TheStoredAddressesTheAdapterLacksComeBackWithTheirMasks) {
    // 10.0.0.5 is there already; the third address has no mask of its own; empty items go.
    dir_.write(
        "store.json",
        storeWith(multi("IPAddress", R"("10.0.0.5", "10.0.0.7", "", "10.0.0.8", "10.0.0.99")") +
                  ", " + multi("SubnetMask", R"("255.255.255.0", "255.255.0.0")")));
    EXPECT_EQ(restore(),
              (Lines{"<busy>", "开始恢复IP....", "恢复IP-地址 10.0.0.7 成功.",
                     "恢复IP-地址 10.0.0.8 成功.", "恢复IP-地址 10.0.0.99 失败,返回代码5.",
                     "刷新显示完成.", "恢复IP完成，恢复成功2，恢复失败1。", "</busy>"}));
    EXPECT_EQ(addressesOf(12), (Lines{"10.0.0.5/255.255.255.0", "10.0.0.6/255.255.255.0",
                                      "10.0.0.7/255.255.0.0", "10.0.0.8/255.255.255.0"}));
    EXPECT_EQ(addressesOf(13), (Lines{"10.9.0.1/255.255.0.0"}));
}

TEST_F(RestoreTest, AddressesPersistedByAnAddComeBackAfterTheyWereLost) {
    addIpRanges(services(), *host_, {"10.0.0.{7-8}", "255.255.0.0", false});
    host_->takeLog();
    // The adapter loses what was added (as after a restart), then the store gives it back.
    const std::string original = kTwoAdapters;
    openHost(12, original);
    EXPECT_EQ(restore(), (Lines{"<busy>", "开始恢复IP....", "恢复IP-地址 10.0.0.7 成功.",
                                "恢复IP-地址 10.0.0.8 成功.", "刷新显示完成.",
                                "恢复IP完成，恢复成功2，恢复失败0。", "</busy>"}));
    EXPECT_EQ(addressesOf(12), (Lines{"10.0.0.5/255.255.255.0", "10.0.0.6/255.255.255.0",
                                      "10.0.0.7/255.255.0.0", "10.0.0.8/255.255.0.0"}));
}

TEST_F(RestoreTest, NothingStoredRestoresNothing) {
    EXPECT_EQ(restore(), (Lines{"<busy>", "开始恢复IP....", "刷新显示完成.",
                                "恢复IP完成，恢复成功0，恢复失败0。", "</busy>"}));
}

TEST_F(RestoreTest, AnUnreadableStoreIsReportedOnceAndLeftAlone) {
    dir_.write("store.json", "{");
    const Lines log = restore();
    ASSERT_EQ(log.size(), 6U);
    EXPECT_EQ(log[1], "开始恢复IP....");
    EXPECT_NE(log[2].find("store.json"), std::string::npos) << log[2];
    EXPECT_EQ(log[4], "恢复IP完成，恢复成功0，恢复失败0。");
    EXPECT_EQ(nicops::testing::TempDir::read(storePath_), "{");
}

}  // namespace
}  // namespace nicops::ipops
