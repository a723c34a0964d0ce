#include "inventory/snapshot.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_host.h"
#include "support/temp_dir.h"

namespace nicops::inventory {
namespace {

using nicops::testing::TempDir;

class SnapshotTest : public ::testing::Test {
protected:
    AdapterSnapshot build(const std::string& json) {
        std::string error;
        host_ = platform::sim::SimHost::open(dir_.write("host.json", json), error);
        EXPECT_NE(host_, nullptr) << error;
        AdapterSnapshot snapshot;
        buildAdapterSnapshot(*host_, snapshot);
        return snapshot;
    }

    TempDir dir_;
    std::unique_ptr<platform::sim::SimHost> host_;
};

TEST_F(SnapshotTest, EmptyHostGivesEmptyTables) {
    const auto s = build(R"({"adapters": []})");
    EXPECT_EQ(s.adapters.count(), 0U);
    for (AddressKind kind : kAllAddressKinds) {
        EXPECT_EQ(s.table(kind).count(), 0U);
    }
}

TEST_F(SnapshotTest, ContextZeroIsNeitherStoredNorCounted) {
    const auto s = build(R"({"adapters": [{"index": 3,
        "ipAddresses": [{"address": "0.0.0.0", "mask": "0.0.0.0", "context": 0}]}]})");
    ASSERT_TRUE(s.adapters.contains(3));
    EXPECT_EQ(s.adapters.find(3)->addressCount, 0U);
    EXPECT_EQ(s.addresses.count(), 0U);
}

TEST_F(SnapshotTest, SharedGatewayBelongsToLaterAdapterButCountsForBoth) {
    const auto s = build(R"({"adapters": [
        {"index": 1, "gateways": [{"address": "10.0.0.1", "mask": "255.255.255.255", "context": 9}]},
        {"index": 2, "gateways": [{"address": "10.0.0.1", "mask": "255.255.255.255", "context": 9}]}]})");
    EXPECT_EQ(s.gateways.count(), 1U);
    EXPECT_EQ(s.gateways.find("10.0.0.1")->adapterIndex, 2U);
    EXPECT_EQ(s.adapters.find(1)->gatewayCount, 1U);
    EXPECT_EQ(s.adapters.find(2)->gatewayCount, 1U);
}

TEST_F(SnapshotTest, AddressEntriesKeepListLinksMasksAndContexts) {
    const auto s = build(R"({"adapters": [{"index": 4, "ipAddresses": [
        {"address": "10.1.0.1", "mask": "255.255.0.0", "context": 11},
        {"address": "10.1.0.2", "mask": "255.255.255.0", "context": 12}]}]})");
    const AddressEntry* first = s.addresses.find("10.1.0.1");
    const AddressEntry* last = s.addresses.find("10.1.0.2");
    ASSERT_TRUE(first && last);
    EXPECT_NE(first->hasNext, 0U);
    EXPECT_EQ(last->hasNext, 0U);
    EXPECT_EQ(first->mask, "255.255.0.0");
    EXPECT_EQ(last->nteContext, 12U);
    EXPECT_EQ(last->adapterIndex, 4U);
    EXPECT_TRUE(last->externalAddress.empty());
    EXPECT_EQ(s.adapters.find(4)->addressCount, 2U);
    // Iteration follows the platform's order.
    EXPECT_EQ(s.addresses.keys(), (std::vector<std::string>{"10.1.0.1", "10.1.0.2"}));
}

TEST_F(SnapshotTest, PhysicalAddressIsUppercaseHexJoinedByHyphens) {
    EXPECT_EQ(formatPhysicalAddress({0x00, 0x0A, 0x10, 0xAB, 0xFF}), "00-0A-10-AB-FF");
    EXPECT_EQ(formatPhysicalAddress({}), "");
    const auto s = build(R"({"adapters": [{"index": 1, "hwAddress": "0a-10-2b-3c-4d-5e"},
                                          {"index": 2}]})");
    EXPECT_EQ(s.adapters.find(1)->physicalAddress, "0A-10-2B-3C-4D-5E");
    EXPECT_EQ(s.adapters.find(2)->physicalAddress, "");
}

TEST_F(SnapshotTest, OnlyTheFirstTwoDnsServersAreKept) {
    const auto s = build(R"({"adapters": [{"index": 1, "dns": ["1.1.1.1", "8.8.8.8", "9.9.9.9"]},
                                          {"index": 2, "dns": ["1.0.0.1"]}]})");
    EXPECT_EQ(s.adapters.find(1)->primaryDns, "1.1.1.1");
    EXPECT_EQ(s.adapters.find(1)->secondaryDns, "8.8.8.8");
    EXPECT_EQ(s.adapters.find(2)->primaryDns, "1.0.0.1");
    EXPECT_EQ(s.adapters.find(2)->secondaryDns, "");
}

TEST_F(SnapshotTest, ConnectionNamesMatchByIndexOnlyAndTheFirstEntryWins) {
    const auto s =
        build(nicops::testing::utf8(u8R"({"adapters": [{"index": 1, "friendlyName": "ignored"},
                                          {"index": 2}, {"index": 3}],
        "interfaces": [{"index": 1, "name": "以太网"}, {"index": 3, "name": "first"},
                       {"index": 3, "name": "second"}]})"));
    EXPECT_EQ(s.adapters.find(1)->connectionName, "以太网");
    EXPECT_EQ(s.adapters.find(2)->connectionName, "");  // no entry: no fall-back
    EXPECT_EQ(s.adapters.find(3)->connectionName, "first");
}

TEST_F(SnapshotTest, RebuildDropsWhatTheLookupWrote) {
    std::string error;
    host_ = platform::sim::SimHost::open(
        dir_.write("host.json", R"({"adapters": [{"index": 1, "ipAddresses": [
            {"address": "10.0.0.9", "mask": "255.0.0.0", "context": 5}]}]})"),
        error);
    ASSERT_NE(host_, nullptr);
    AdapterSnapshot s;
    buildAdapterSnapshot(*host_, s);
    AddressEntry entry = *s.addresses.lookup("10.0.0.9");
    entry.externalAddress = "203.0.113.9";
    entry.location = "somewhere";
    EXPECT_TRUE(s.addresses.store("10.0.0.9", entry));  // replaced, not inserted
    buildAdapterSnapshot(*host_, s);
    EXPECT_EQ(s.addresses.find("10.0.0.9")->externalAddress, "");
    EXPECT_EQ(s.addresses.find("10.0.0.9")->location, "");
}

}  // namespace
}  // namespace nicops::inventory
