// The add operation on the simulated host: what lands on the adapter, and the log line by line.
#include "ipops/add_range.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "operation_fixture.h"

namespace nicops::ipops {
namespace {

using Lines = std::vector<std::string>;

// The simulated host as backend, counting the batches it is handed and, when told, naming a
// problem with the rights to change addresses.
class CountingBackend final : public platform::IpHelper, public platform::AddressProbe {
public:
    explicit CountingBackend(platform::sim::SimHost& sim) : sim_(sim) {}

    std::vector<platform::AdapterInfo> getAdaptersInfo() override { return sim_.getAdaptersInfo(); }
    std::optional<std::vector<std::string>> getPerAdapterDns(std::uint32_t index) override {
        return sim_.getPerAdapterDns(index);
    }
    std::vector<platform::InterfaceName> getInterfaceNames() override {
        return sim_.getInterfaceNames();
    }
    std::uint32_t addIpAddress(const std::string& a, const std::string& m,
                               std::uint32_t index) override {
        singleAdds.push_back(a);
        return sim_.addIpAddress(a, m, index);
    }
    std::uint32_t deleteIpAddress(std::uint32_t context) override {
        return sim_.deleteIpAddress(context);
    }
    std::vector<std::uint32_t> addIpAddresses(const std::vector<platform::AddressToAdd>& items,
                                              std::uint32_t index) override {
        addBatches.push_back(items.size());
        return sim_.addIpAddresses(items, index);
    }
    std::vector<std::int32_t> probeAddresses(const std::vector<std::string>& addresses,
                                             int timeoutMs) override {
        probeBatches.push_back(addresses.size());
        probeTimeouts.push_back(timeoutMs);
        return sim_.probeAddresses(addresses, timeoutMs);
    }
    std::string addressChangeProblem() override { return problem; }

    std::vector<std::size_t> addBatches;
    std::vector<std::size_t> probeBatches;
    std::vector<int> probeTimeouts;
    std::vector<std::string> singleAdds;
    std::string problem;

private:
    platform::sim::SimHost& sim_;
};

class AddRangeTest : public OperationTest {
protected:
    void SetUp() override { openHost(); }

    Lines add(const std::string& rangeText, const std::string& mask = "255.255.255.0",
              bool checkInUse = false) {
        addIpRanges(services(), *host_, {rangeText, mask, checkInUse}, noLookup);
        return host_->takeLog();
    }

    // Single entries that look like host names are never looked up in these tests.
    static bool noLookup(const std::string&) { return false; }
};

// ---- ranges ------------------------------------------------------------------------------------

TEST_F(AddRangeTest, RangeAddsEveryNumberEndIncludedWithTheGivenMask) {
    EXPECT_EQ(add("10.0.0.{7-9}", "255.255.0.0"),
              (Lines{"<busy>", "开始添加IP....", "添加IP-地址 10.0.0.7 成功.",
                     "添加IP-地址 10.0.0.8 成功.", "添加IP-地址 10.0.0.9 成功.", "刷新显示完成.",
                     "添加IP完成，添加成功3，添加失败0。"} +
               storedLines() + Lines{"</busy>"}));
    EXPECT_EQ(addressesOf(12),
              (Lines{"10.0.0.5/255.255.255.0", "10.0.0.6/255.255.255.0", "10.0.0.7/255.255.0.0",
                     "10.0.0.8/255.255.0.0", "10.0.0.9/255.255.0.0"}));
}

TEST_F(AddRangeTest, InvalidRangesLogOneLineEachAndTheFollowingLinesStillRun) {
    const Lines log =
        add("10.0.0.{5-5}\r\n10.0.0.{0-3}\r\n10.0.0.{9-3}\r\n10.0.0.{x-y}\r\n10.0.0.{-3}\r\n"
            "10.0.0.{30-31}");
    EXPECT_EQ(log, (Lines{"<busy>", "开始添加IP....", "添加IP-地址地址范围错误！",
                          "添加IP-地址地址范围错误！", "添加IP-地址地址范围错误！",
                          "添加IP-地址地址范围错误！", "添加IP-地址地址范围错误！",
                          "添加IP-地址 10.0.0.30 成功.", "添加IP-地址 10.0.0.31 成功.",
                          "刷新显示完成.", "添加IP完成，添加成功2，添加失败0。"} +
                    storedLines() + Lines{"</busy>"}));
}

TEST_F(AddRangeTest, RangeTailIsIgnoredAndNumbersAbove255GoToTheBackend) {
    const Lines log = add("10.0.0.{254-257}.x");
    EXPECT_EQ(
        Lines(log.begin() + 2, log.begin() + 9),
        (Lines{"添加IP-地址 10.0.0.254 成功.", "添加IP-地址 10.0.0.255 成功.",
               "添加IP-地址 10.0.0.256 失败,返回代码87.", "添加IP-地址 10.0.0.257 失败,返回代码87.",
               "刷新显示完成.", "添加IP完成，添加成功2，添加失败2。", "开始刷新系统储存..."}));
}

TEST_F(AddRangeTest, RangeNumbersAreReadAfterSpacesAndEndAtTheFirstNonDigit) {
    const Lines log = add("10.0.0.{ 40x- 41y}");
    EXPECT_EQ(Lines(log.begin() + 2, log.begin() + 4),
              (Lines{"添加IP-地址 10.0.0.40 成功.", "添加IP-地址 10.0.0.41 成功."}));
}

TEST_F(AddRangeTest, RangeAddressesSkipTheKeyTestAndTakeTheBackendsAnswer) {
    // 10.0.0.5 is on this adapter, 10.9.0.1 on the other one: only the backend refuses them.
    const Lines log = add("10.0.0.{4-5}\r\n10.9.0.{1-1}\r\n10.9.0.{1-2}");
    EXPECT_EQ(Lines(log.begin() + 2, log.begin() + 8),
              (Lines{"添加IP-地址 10.0.0.4 成功.", "添加IP-地址 10.0.0.5 失败,返回代码17.",
                     "添加IP-地址地址范围错误！", "添加IP-地址 10.9.0.1 失败,返回代码17.",
                     "添加IP-地址 10.9.0.2 成功.", "刷新显示完成."}));
    EXPECT_EQ(log[8], "添加IP完成，添加成功2，添加失败2。");
}

TEST_F(AddRangeTest, ALargeRangeGoesToTheBackendInBatchesAndIsLoggedInOrder) {
    CountingBackend backend(*sim_);
    RecordingHost host(backend, snapshotMutex_, snapshot_, 12);
    addIpRanges({backend, backend, store_, snapshotMutex_, snapshot_}, host,
                {"10.1.0.{1-2500}", "255.255.0.0", true}, noLookup);
    const Lines log = host.takeLog();
    ASSERT_EQ(log.size(), 2U + 2500U + 2U + 3U + 1U);
    for (int n = 1; n <= 2500; ++n) {
        const std::string address = "10.1.0." + std::to_string(n);
        ASSERT_EQ(log[static_cast<std::size_t>(n) + 1],
                  n <= 255 ? "添加IP-地址 " + address + " 成功."
                           : "添加IP-地址 " + address + " 失败,返回代码87.");
    }
    EXPECT_EQ(log[2503], "添加IP完成，添加成功255，添加失败2245。");
    EXPECT_TRUE(backend.singleAdds.empty());
    EXPECT_EQ(backend.addBatches, (std::vector<std::size_t>{1000, 1000, 500}));
    EXPECT_EQ(backend.probeBatches, (std::vector<std::size_t>{1000, 1000, 500}));
    EXPECT_EQ(backend.probeTimeouts, (std::vector<int>{30, 30, 30}));
    EXPECT_EQ(addressesOf(12).size(), 257U);
}

// ---- single entries ----------------------------------------------------------------------------

TEST_F(AddRangeTest, SingleEntriesAreCheckedForFormatThenAgainstTheSnapshot) {
    // An empty line between two lines is an entry of its own; a final CR LF adds none.
    const Lines log = add(
        "10.0.0.40\r\nnot an address\r\n\r\n10.9.0.1\r\n10.0.0.6\r\n10.0.0.{1}\r\n10.0.0.300\r\n"
        "10.0.0.99\r\n 10.0.0.41\r\n");
    EXPECT_EQ(log, (Lines{"<busy>", "开始添加IP....", "添加IP-地址 10.0.0.40 成功.",
                          "添加IP-地址地址格式输入错误！", "添加IP-地址地址格式输入错误！",
                          "添加IP-地址 10.9.0.1 失败,该ip已存在.",
                          "添加IP-地址 10.0.0.6 失败,该ip已存在.", "添加IP-地址地址格式输入错误！",
                          "添加IP-地址地址格式输入错误！", "添加IP-地址 10.0.0.99 失败,返回代码5.",
                          "添加IP-地址地址格式输入错误！", "刷新显示完成.",
                          "添加IP完成，添加成功1，添加失败3。"} +
                    storedLines() + Lines{"</busy>"}));
}

TEST_F(AddRangeTest, TheKeyTestSeesTheSnapshotOfTheLastRefreshNotTheRunsOwnAdds) {
    // The first line adds 10.0.0.50; the snapshot still lacks it, so the backend answers.
    const Lines log = add("10.0.0.{50-51}\r\n10.0.0.50");
    EXPECT_EQ(log[4], "添加IP-地址 10.0.0.50 失败,返回代码17.");
}

TEST_F(AddRangeTest, HostNamesAreLookedUpOnlyWhenTheyLookLikeOne) {
    std::vector<std::string> asked;
    const NameLookup lookup = [&](const std::string& name) {
        asked.push_back(name);
        return name == "gateway.example";
    };
    EXPECT_TRUE(addressTextAccepted("10.0.0.1", lookup));
    EXPECT_TRUE(addressTextAccepted("10.1", lookup));  // the inet_aton short form
    EXPECT_TRUE(addressTextAccepted("gateway.example", lookup));
    EXPECT_FALSE(addressTextAccepted("nowhere.example", lookup));
    for (const char* text : {"", "not an address", "10.0.0.256", "10.0.0.1 ", "10.0.0.{1}",
                             "1.2.3.4.5", "10.0.0.1\r"}) {
        EXPECT_FALSE(addressTextAccepted(text, lookup)) << text;
    }
    EXPECT_EQ(asked, (Lines{"gateway.example", "nowhere.example"}));

    // An accepted name is handed to the backend, which refuses a name.
    addIpRanges(services(), *host_, {"gateway.example", "255.255.255.0", false}, lookup);
    EXPECT_EQ(host_->takeLog()[2], "添加IP-地址 gateway.example 失败,返回代码87.");
}

// ---- in-use probe ------------------------------------------------------------------------------

TEST_F(AddRangeTest, AnsweringAddressesAreSkippedUncountedForRangesAndSingleEntries) {
    const Lines log = add("10.0.0.{19-22}\r\n10.0.0.20\r\n10.0.0.23", "255.255.255.0", true);
    EXPECT_EQ(log,
              (Lines{"<busy>", "开始添加IP....", "添加IP-地址 10.0.0.19 成功.",
                     "添加IP-地址 10.0.0.20 失败,该ip可能已被占用.", "添加IP-地址 10.0.0.21 成功.",
                     "添加IP-地址 10.0.0.22 失败,该ip可能已被占用.",
                     "添加IP-地址 10.0.0.20 失败,该ip可能已被占用.", "添加IP-地址 10.0.0.23 成功.",
                     "刷新显示完成.", "添加IP完成，添加成功3，添加失败0。"} +
               storedLines() + Lines{"</busy>"}));
    EXPECT_EQ(addressesOf(12).size(), 5U);
}

TEST_F(AddRangeTest, WithoutTheProbeAnsweringAddressesAreAdded) {
    CountingBackend backend(*sim_);
    RecordingHost host(backend, snapshotMutex_, snapshot_, 12);
    addIpRanges({backend, backend, store_, snapshotMutex_, snapshot_}, host,
                {"10.0.0.{20-22}", "255.255.255.0", false}, noLookup);
    EXPECT_TRUE(backend.probeBatches.empty());
    EXPECT_EQ(host.takeLog()[6], "添加IP完成，添加成功3，添加失败0。");
}

// ---- the run as a whole ------------------------------------------------------------------------

TEST_F(AddRangeTest, AnEmptyTextStillRefreshesSummarisesAndPersists) {
    EXPECT_EQ(add(""), (Lines{"<busy>", "开始添加IP....", "刷新显示完成.",
                              "添加IP完成，添加成功0，添加失败0。"} +
                        storedLines() + Lines{"</busy>"}));
}

TEST_F(AddRangeTest, ARightsProblemIsLoggedOnceAfterTheStartLine) {
    CountingBackend backend(*sim_);
    backend.problem = "没有修改地址的权限.";
    RecordingHost host(backend, snapshotMutex_, snapshot_, 12);
    addIpRanges({backend, backend, store_, snapshotMutex_, snapshot_}, host,
                {"10.0.0.{20-21}", "255.255.255.0", false}, noLookup);
    const Lines log = host.takeLog();
    EXPECT_EQ(
        Lines(log.begin(), log.begin() + 4),
        (Lines{"<busy>", "开始添加IP....", "没有修改地址的权限.", "添加IP-地址 10.0.0.20 成功."}));
    EXPECT_EQ(std::count(log.begin(), log.end(), "没有修改地址的权限."), 1);
}

TEST_F(AddRangeTest, TheAdapterShownAtTheStartReceivesTheAddresses) {
    openHost(13);
    add("10.9.0.{2-3}", "255.255.0.0");
    EXPECT_EQ(addressesOf(13),
              (Lines{"10.9.0.1/255.255.0.0", "10.9.0.2/255.255.0.0", "10.9.0.3/255.255.0.0"}));
    EXPECT_EQ(addressesOf(12).size(), 2U);
}

}  // namespace
}  // namespace nicops::ipops
