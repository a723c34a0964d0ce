// Deleting selected rows, and the adapter's address set in the store after add and delete.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipops/add_range.h"
#include "ipops/delete_addresses.h"
#include "ipops/persisted_settings.h"
#include "operation_fixture.h"

namespace nicops::ipops {
namespace {

using Lines = std::vector<std::string>;

using inventory::AddressKind;

SelectedRow addressRow(const std::string& address, std::uint32_t context) {
    return {address, context, AddressKind::address};
}

class DeleteTest : public OperationTest {
protected:
    void SetUp() override { openHost(); }

    Lines remove(const std::vector<SelectedRow>& rows) {
        deleteSelectedAddresses(services(), *host_, rows);
        return host_->takeLog();
    }
};

TEST_F(DeleteTest, OnlyAddressRowsAreDeletedAndEveryRowIsCounted) {
    const Lines log = remove({addressRow("10.0.0.5", 5),
                              {"10.9.0.254", 9, AddressKind::gateway},
                              addressRow("10.0.0.6", 6)});
    EXPECT_EQ(log, (Lines{"<busy>", "已经开始启用选中项目,请稍后...", "成功删除IP-地址 10.0.0.5",
                          "成功删除IP-地址 10.0.0.6", "刷新显示完成.",
                          "删除选中项目完成,共计选中3条,符合启用条件2条,其中成功2 失败0."} +
                    storedLines() + Lines{"</busy>"}));
    EXPECT_TRUE(addressesOf(12).empty());
    EXPECT_EQ(addressesOf(13), (Lines{"10.9.0.1/255.255.0.0"}));  // the gateway's context is 9
}

TEST_F(DeleteTest, FailuresAreLoggedWithTheCodeAndTheRunGoesOn) {
    // Context 0 and 77 are unknown to the host; a row of another kind is counted, not deleted.
    const Lines log = remove({addressRow("10.0.0.5", 0),
                              addressRow("10.0.0.77", 77),
                              {"10.0.0.6", 6, AddressKind::primaryWins},
                              addressRow("10.0.0.6", 6)});
    EXPECT_EQ(
        Lines(log.begin() + 2, log.end() - 4),
        (Lines{"删除IP-地址 10.0.0.5 失败,返回代码1168.",
               "删除IP-地址 10.0.0.77 失败,返回代码1168.", "成功删除IP-地址 10.0.0.6",
               "刷新显示完成.", "删除选中项目完成,共计选中4条,符合启用条件3条,其中成功1 失败2."}));
}

TEST_F(DeleteTest, AContextAboveTheSigned32BitRangeIsHandedOverWhole) {
    // 192.168.7.9 as a number is 3232237321, which the list shows as -1062729975.
    openHost(12, R"({"adapters": [{"index": 12, "adapterName": "eth0", "ipAddresses": [
        {"address": "192.168.7.9", "mask": "255.255.0.0", "context": 3232237321}]}]})");
    const Lines log = remove({addressRow("192.168.7.9", 3232237321U)});
    EXPECT_EQ(log[2], "成功删除IP-地址 192.168.7.9");
    EXPECT_TRUE(addressesOf(12).empty());
}

TEST_F(DeleteTest, RowsOfOtherKindsOnlyStillRefreshAndPersist) {
    const Lines log =
        remove({{"10.9.0.254", 9, AddressKind::gateway}, {"10.0.0.1", 3, AddressKind::dhcpServer}});
    EXPECT_EQ(log, (Lines{"<busy>", "已经开始启用选中项目,请稍后...", "刷新显示完成.",
                          "删除选中项目完成,共计选中2条,符合启用条件0条,其中成功0 失败0."} +
                    storedLines() + Lines{"</busy>"}));
}

TEST_F(DeleteTest, NoSelectionLogsOneLineAndDoesNothingElse) {
    EXPECT_EQ(remove({}), (Lines{"<busy>", "已经开始启用选中项目,请稍后...",
                                 "没有选中任何要启用的项目！", "</busy>"}));
    EXPECT_FALSE(std::filesystem::exists(storePath_));
}

// ---- the persisted address set -----------------------------------------------------------------

class PersistTest : public OperationTest {
protected:
    void SetUp() override { openHost(); }
};

TEST_F(PersistTest, AddWritesTheAdaptersWholeSetInTableOrderWithParallelMasks) {
    addIpRanges(services(), *host_, {"10.0.0.{7-8}", "255.255.0.0", false});
    EXPECT_EQ(stored("eth0", "IPAddress"), "10.0.0.5\r\n10.0.0.6\r\n10.0.0.7\r\n10.0.0.8\r\n\r\n");
    EXPECT_EQ(stored("eth0", "SubnetMask"),
              "255.255.255.0\r\n255.255.255.0\r\n255.255.0.0\r\n255.255.0.0\r\n\r\n");
    // The other adapter's addresses are in the snapshot but never in this adapter's values,
    // and its own values are not written.
    EXPECT_EQ(stored("eth1", "IPAddress"), "");
}

TEST_F(PersistTest, DeletingEveryAddressStoresBothValuesEmpty) {
    addIpRanges(services(), *host_, {"10.0.0.7", "255.255.255.0", false});
    deleteSelectedAddresses(services(), *host_,
                            {addressRow("10.0.0.6", 6), addressRow("10.0.0.5", 5)});
    EXPECT_EQ(stored("eth0", "IPAddress"), "10.0.0.7\r\n\r\n");
    const std::uint32_t context = snapshot_.addresses.find("10.0.0.7")->nteContext;
    deleteSelectedAddresses(services(), *host_, {addressRow("10.0.0.7", context)});
    EXPECT_EQ(stored("eth0", "IPAddress"), "\r\n\r\n");  // two zero bytes
    EXPECT_EQ(stored("eth0", "SubnetMask"), "\r\n\r\n");
    const Lines log = host_->takeLog();
    EXPECT_EQ(Lines(log.end() - 4, log.end()), storedLines() + Lines{"</busy>"});
}

TEST_F(PersistTest, WithoutACurrentAdapterNothingIsWritten) {
    for (std::uint32_t current : {0xFFFFFFFFU, 99U}) {
        openHost(current);
        persistAddresses(services(), *host_);
        EXPECT_EQ(host_->takeLog(),
                  (Lines{"开始刷新系统储存...", "储存IP地址失败！", "储存子网掩码失败！"}));
        EXPECT_FALSE(std::filesystem::exists(storePath_));
    }
}

TEST_F(PersistTest, ACorruptStoreIsKeptAndItsReasonLoggedOnce) {
    const std::string corrupt = "{\"not\": json";
    dir_.write("store.json", corrupt);
    persistAddresses(services(), *host_);
    const Lines log = host_->takeLog();
    ASSERT_EQ(log.size(), 4U);
    EXPECT_EQ(log[0], "开始刷新系统储存...");
    EXPECT_EQ(log[1], "储存IP地址失败！");
    EXPECT_NE(log[2], "");  // the store's own reason
    EXPECT_EQ(log[3], "储存子网掩码失败！");
    EXPECT_EQ(nicops::testing::TempDir::read(storePath_), corrupt);
}

TEST_F(PersistTest, TheKeyIsTheInterfacesKeyOfTheAdapterName) {
    EXPECT_EQ(tcpipInterfaceKey("{4F0C}"),
              "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\"
              "Interfaces\\{4F0C}");
}

}  // namespace
}  // namespace nicops::ipops
