// Changes without administrator rights under Wine: the backend's line, the code 5 for every
// address without asking the IP helper (which answers 50 to everything under Wine), and the add
// and delete operations' log over that backend.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "inventory/snapshot.h"
#include "ipops/add_range.h"
#include "ipops/delete_addresses.h"
#include "ipops/operation_fixture.h"
#include "platform/file_store.h"
#include "platform/windows/windows_backend.h"
#include "support/temp_dir.h"

namespace nicops::platform::windows {
namespace {

using Lines = std::vector<std::string>;
using Codes = std::vector<std::uint32_t>;

bool noRights() {
    return false;
}

class SilentProbe final : public AddressProbe {
public:
    std::vector<std::int32_t> probeAddresses(const std::vector<std::string>& addresses,
                                             int) override {
        return std::vector<std::int32_t>(addresses.size(), -1);
    }
};

TEST(AdministratorRights, WineCountsTheProcessAsElevated) {
    EXPECT_TRUE(mayAdministerNetwork());
    EXPECT_EQ(WindowsBackend().addressChangeProblem(), "");
}

TEST(AdministratorRights, WithoutThemEveryAddressAnswers5AndOneLineSaysWhy) {
    WindowsBackend denied(noRights);
    EXPECT_EQ(denied.addressChangeProblem(), "更改IP地址需要管理员权限.");
    // Adapter 0 doesn't exist and the second item breaks the batch rule: still 5 each, the
    // rights come first.
    EXPECT_EQ(denied.addIpAddresses({{"192.0.2.7", "255.255.255.0"}, {"0.0.0.0", "255.0.0.0"}}, 0),
              (Codes{5, 5}));
    EXPECT_EQ(denied.addIpAddress("192.0.2.8", "255.255.255.0", 0), 5U);
    EXPECT_EQ(denied.deleteIpAddresses({0x070200C0, 0}), (Codes{5, 5}));
    EXPECT_EQ(denied.deleteIpAddress(0x070200C0), 5U);

    // The operations log the line once, after their start line, then each address's code.
    nicops::testing::TempDir dir;
    FileStore store((dir.path() / "store.json").string());
    SilentProbe probe;
    std::mutex mutex;
    inventory::AdapterSnapshot snapshot;
    inventory::buildAdapterSnapshot(denied, snapshot);
    const ipops::OperationServices services{denied, probe, store, mutex, snapshot};
    ipops::RecordingHost host(denied, mutex, snapshot, 0);
    ipops::addIpRanges(services, host, {"192.0.2.{7-8}", "255.255.255.0", false},
                       [](const std::string&) { return false; });
    Lines log = host.takeLog();
    ASSERT_GE(log.size(), 7U);
    log.resize(7);
    EXPECT_EQ(log, (Lines{"<busy>", "开始添加IP....", "更改IP地址需要管理员权限.",
                          "添加IP-地址 192.0.2.7 失败,返回代码5.",
                          "添加IP-地址 192.0.2.8 失败,返回代码5.", "刷新显示完成.",
                          "添加IP完成，添加成功0，添加失败2。"}));

    ipops::deleteSelectedAddresses(services, host, {{"192.0.2.7", 0x070200C0}});
    log = host.takeLog();
    ASSERT_GE(log.size(), 5U);
    log.resize(5);
    EXPECT_EQ(log, (Lines{"<busy>", "已经开始启用选中项目,请稍后...", "更改IP地址需要管理员权限.",
                          "删除IP-地址 192.0.2.7 失败,返回代码5.", "刷新显示完成."}));
}

}  // namespace
}  // namespace nicops::platform::windows
