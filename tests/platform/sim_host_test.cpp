#include "platform/sim/sim_host.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/inotify.h>
#include <unistd.h>
#endif

#include <algorithm>

#include "support/temp_dir.h"

namespace nicops::platform::sim {
namespace {

using nicops::testing::TempDir;

constexpr const char* kHost = R"({"adapters": [
  {"index": 12, "ipAddresses": [{"address": "10.0.0.5", "mask": "255.255.255.0", "context": 5}]},
  {"index": 13, "ipAddresses": [{"address": "10.9.0.1", "mask": "255.255.0.0", "context": 7},
                                {"address": "10.9.0.2", "mask": "255.255.0.0", "context": 8}]}],
  "refuse": {"10.0.0.99": 5}})";

class SimHostTest : public ::testing::Test {
protected:
    std::unique_ptr<SimHost> open(const std::string& content = kHost) {
        path_ = dir_.write("host.json", content);
        std::string error;
        auto host = SimHost::open(path_, error);
        EXPECT_NE(host, nullptr) << error;
        return host;
    }
    std::vector<IpAddrString> addressesOf(SimHost& host, std::uint32_t index) {
        for (const auto& a : host.getAdaptersInfo()) {
            if (a.index == index) {
                return a.ipAddresses;
            }
        }
        return {};
    }

    TempDir dir_;
    std::string path_;
};

TEST_F(SimHostTest, AddRefusesWhatTheKernelBackendRefusesWithItsCodes) {
    auto host = open();
    EXPECT_EQ(host->addIpAddress("10.0.0.300", "255.255.255.0", 12), 87U);
    EXPECT_EQ(host->addIpAddress("10.0.0.6", "mask", 12), 87U);
    EXPECT_EQ(host->addIpAddress("0.0.0.0", "255.255.255.0", 12), 87U);
    EXPECT_EQ(host->addIpAddress("10.0.0.6", "255.0.255.0", 12), 87U);
    EXPECT_EQ(host->addIpAddress("10.0.0.6", "255.0.255.0", 99), 87U);  // before the adapter
    EXPECT_EQ(host->addIpAddress("10.0.0.6", "255.255.255.0", 99), 1168U);
    EXPECT_EQ(host->addIpAddress("10.9.0.2", "255.255.255.0", 12), 17U);  // on adapter 13
    EXPECT_EQ(host->addIpAddress("10.0.0.5", "255.255.255.128", 12), 17U);
    EXPECT_EQ(host->addIpAddress("10.0.0.99", "255.255.255.0", 12), 5U);
    EXPECT_EQ(addressesOf(*host, 12).size(), 1U);  // nothing was added by the refusals
}

TEST_F(SimHostTest, AddAppendsWithANewContextAndRelinksTheList) {
    auto host = open();
    ASSERT_EQ(host->addIpAddress("10.0.0.6", "255.255.255.0", 12), kNoError);
    const auto list = addressesOf(*host, 12);
    ASSERT_EQ(list.size(), 2U);
    EXPECT_NE(list[0].next, 0U);
    EXPECT_EQ(list[1].next, 0U);
    EXPECT_EQ(list[1].address, "10.0.0.6");
    EXPECT_GT(list[1].context, 8U);  // unique across the host
}

TEST_F(SimHostTest, ContextsPastTheLargestNumberGoOnWithTheLowestFreeOne) {
    auto host = open(R"({"adapters": [{"index": 12, "ipAddresses": [
        {"address": "10.0.0.1", "mask": "255.255.255.0", "context": 4294967295},
        {"address": "10.0.0.2", "mask": "255.255.255.0", "context": 1}]}]})");
    const auto codes =
        host->addIpAddresses({{"10.0.0.3", "255.255.255.0"}, {"10.0.0.4", "255.255.255.0"}}, 12);
    ASSERT_EQ(codes, (std::vector<std::uint32_t>{kNoError, kNoError}));
    const auto list = addressesOf(*host, 12);
    ASSERT_EQ(list.size(), 4U);
    EXPECT_EQ(list[2].context, 2U);  // never 0: no delete could name it
    EXPECT_EQ(list[3].context, 3U);
    EXPECT_EQ(host->deleteIpAddress(2), kNoError);
}

TEST_F(SimHostTest, ChangesAreWrittenBackForTheNextRun) {
    {
        auto host = open();
        ASSERT_EQ(host->addIpAddress("10.0.0.7", "255.255.255.0", 12), kNoError);
        ASSERT_EQ(host->deleteIpAddress(8), kNoError);
    }
    std::string error;
    auto again = SimHost::open(path_, error);
    ASSERT_NE(again, nullptr) << error;
    ASSERT_EQ(addressesOf(*again, 12).size(), 2U);
    const auto list13 = addressesOf(*again, 13);
    ASSERT_EQ(list13.size(), 1U);
    EXPECT_EQ(list13[0].address, "10.9.0.1");
    EXPECT_EQ(list13[0].next, 0U);  // the remaining element now ends the list
    // No temporary file is left beside the host file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(SimHostTest, DeleteOfAnUnknownContextChangesNothing) {
    auto host = open();
    const std::string before = TempDir::read(path_);
    EXPECT_EQ(host->deleteIpAddress(4242), kNotFound);
    EXPECT_EQ(host->deleteIpAddress(0), kNotFound);
    EXPECT_EQ(TempDir::read(path_), before);
}

TEST_F(SimHostTest, AFailedWriteLeavesTheHostAsItWas) {
    auto host = open();
    // With its folder gone the host file can't be replaced.
    std::filesystem::remove_all(dir_.path());
    EXPECT_EQ(host->addIpAddress("10.0.0.8", "255.255.255.0", 12), kWriteFault);
    EXPECT_EQ(addressesOf(*host, 12).size(), 1U);
    EXPECT_EQ(addressesOf(*host, 12)[0].next, 0U);
    EXPECT_EQ(host->deleteIpAddress(8), kWriteFault);
    EXPECT_EQ(addressesOf(*host, 13).size(), 2U);
}

#ifndef _WIN32  // counts the file's replacements by inotify
TEST_F(SimHostTest, BatchesAnswerAsSingleCallsAndWriteTheFileOnce) {
    auto host = open();
    const std::vector<AddressToAdd> items = {
        {"10.0.0.6", "255.255.255.0"}, {"10.0.0.256", "255.255.255.0"},
        {"10.0.0.7", "255.255.255.0"}, {"10.0.0.6", "255.255.255.0"},  // added just before
        {"10.9.0.1", "255.255.255.0"}, {"10.0.0.99", "255.255.255.0"},
        {"10.0.0.8", "not a mask"},
    };
    EXPECT_EQ(host->addIpAddresses(items, 12),
              (std::vector<std::uint32_t>{0, 87, 0, kAlreadyExists, kAlreadyExists, 5, 87}));
    EXPECT_EQ(host->addIpAddresses({{"10.0.0.20", "255.255.255.0"}}, 99),
              std::vector<std::uint32_t>{kNotFound});
    auto list = addressesOf(*host, 12);
    ASSERT_EQ(list.size(), 3U);
    EXPECT_EQ(list[1].address, "10.0.0.6");
    EXPECT_EQ(list[2].address, "10.0.0.7");
    EXPECT_NE(list[1].next, 0U);
    EXPECT_EQ(list[2].next, 0U);
    EXPECT_NE(list[1].context, list[2].context);
    EXPECT_GT(std::min(list[1].context, list[2].context), 8U);

    // Deletes: the last element of 13 and a repeat; 13's first element now ends its list.
    EXPECT_EQ(host->deleteIpAddresses({8, list[1].context, 8, 0, 4242}),
              (std::vector<std::uint32_t>{0, 0, kNotFound, kNotFound, kNotFound}));
    std::string error;
    auto again = SimHost::open(path_, error);
    ASSERT_NE(again, nullptr) << error;
    list = addressesOf(*again, 12);
    ASSERT_EQ(list.size(), 2U);
    EXPECT_EQ(list[1].address, "10.0.0.7");
    ASSERT_EQ(addressesOf(*again, 13).size(), 1U);
    EXPECT_EQ(addressesOf(*again, 13)[0].next, 0U);

    // 10,000 adds to one adapter are one write of the file, not 10,000.
    std::vector<AddressToAdd> many;
    for (int i = 0; i < 10000; ++i) {
        many.push_back({"10.50." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1),
                        "255.255.0.0"});
    }
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, dir_.path().c_str(), IN_CLOSE_WRITE), 0);
    const auto codes = again->addIpAddresses(many, 13);
    std::vector<std::uint32_t> contexts;
    for (const auto& entry : addressesOf(*again, 13)) {
        contexts.push_back(entry.context);
    }
    const auto deleted = again->deleteIpAddresses(contexts);
    int replaced = 0;
    alignas(inotify_event) char events[64 * 1024];
    for (ssize_t n; (n = read(watch, events, sizeof events)) > 0;) {
        for (char* at = events; at < events + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            replaced += (event->mask & IN_CLOSE_WRITE) != 0 ? 1 : 0;
            at += sizeof(inotify_event) + event->len;
        }
    }
    close(watch);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), kNoError), 10000);
    EXPECT_EQ(std::count(deleted.begin(), deleted.end(), kNoError), 10001);
    EXPECT_TRUE(addressesOf(*again, 13).empty());
    // One replacement of the file per batch (each written under a name of its own, so the
    // kernel never folds two writes into one event).
    EXPECT_EQ(replaced, 2);
}
#endif

TEST_F(SimHostTest, AFailedBatchWriteKeepsNothingOfTheBatch) {
    auto host = open();
    std::filesystem::remove_all(dir_.path());
    EXPECT_EQ(host->addIpAddresses({{"10.0.0.6", "255.255.255.0"},
                                    {"10.0.0.5", "255.255.255.0"},
                                    {"10.0.0.7", "255.255.255.0"}},
                                   12),
              (std::vector<std::uint32_t>{kWriteFault, kAlreadyExists, kWriteFault}));
    EXPECT_EQ(host->deleteIpAddresses({7, 9, 8}),
              (std::vector<std::uint32_t>{kWriteFault, kNotFound, kWriteFault}));
    ASSERT_EQ(addressesOf(*host, 12).size(), 1U);
    EXPECT_EQ(addressesOf(*host, 12)[0].next, 0U);
    EXPECT_EQ(addressesOf(*host, 13).size(), 2U);
}

TEST_F(SimHostTest, ListedAddressesAnswerTheProbe) {
    auto host = open(R"({"adapters": [], "answering": ["10.0.0.7", "10.0.0.9"]})");
    EXPECT_EQ(host->probeAddresses({"10.0.0.9", "10.0.0.8", "10.0.0.7", "x"}, 100),
              (std::vector<std::int32_t>{1, -1, 1, -1}));
    EXPECT_EQ(open()->probeAddressInUse("10.0.0.5", 100), -1);  // no list: nothing answers
}

TEST_F(SimHostTest, MalformedDescriptionsNameTheFileAndTheReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"{not json", "not a valid JSON document"},
        {R"({"adapters": {}})", "\"adapters\" is not a list"},
        {R"({"adapters": [{"description": "x"}]})", "adapter 1 has no numeric \"index\""},
        {R"({"adapters": [{"index": 1, "gateways": 5}]})", "\"gateways\" is not a list"},
        {R"({"refuse": {"1.2.3.4": "no"}})", "is not a number"},
        {R"({"refuse": {"1.2.3.4": 0}})", "is 0, which refuses nothing"},
        {R"({"answering": "10.0.0.7"})", "\"answering\" is not a list"},
        {R"({"answering": ["10.0.0.7", 7]})", "\"answering\" is not a list"},
        {R"({"adapters": [{"index": 1, "leaseObtained": 1e12}]})",
         "\"leaseObtained\" has the wrong type"},
        {R"({"adapters": [{"index": 1, "mtu": 3000000000}]})", "\"mtu\" has the wrong type"},
        {R"({"adapters": [{"index": 1, "status": "up"}]})", "\"status\" has the wrong type"},
        {R"({"adapters": [{"index": 1, "ipAddresses": [{"address": "10.0.0.1", "next": "x"}]}]})",
         "\"ipAddresses\" has an element whose \"next\""},
        {R"({"adapters": [{"index": 1, "dns": [7]}]})", "\"dns\" has an element"},
        {R"({"adapters": [{"index": -1}]})", "no numeric \"index\""},
        {R"({"interfaces": [{"index": 1, "name": 5}]})", "\"interfaces\" has an entry"},
        {R"({"adapters": [{"index": 1, "configurationRefused": true}]})",
         "\"configurationRefused\" has the wrong type"},
        {R"({"adapters": [{"index": 1, "x": [[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]}]})",
         "nests deeper than 32 levels"},
    };
    for (const auto& [content, reason] : cases) {
        const std::string path = dir_.write("bad.json", content);
        std::string error;
        EXPECT_EQ(SimHost::open(path, error), nullptr) << content;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    // Deep enough to overflow the stack when the host is written back after a change.
    const std::string deep = R"({"adapters": [{"index": 1, "x": )" + std::string(100000, '[') +
                             std::string(100000, ']') + "}]}";
    std::string error;
    EXPECT_EQ(SimHost::open(dir_.write("deep.json", deep), error), nullptr);
    EXPECT_NE(error.find("nests deeper"), std::string::npos) << error;
    EXPECT_EQ(SimHost::open(dir_.path().string(), error), nullptr);  // a folder, not a file
    EXPECT_NE(error.find("is a folder"), std::string::npos) << error;
    EXPECT_EQ(SimHost::open((dir_.path() / "missing.json").string(), error), nullptr);
    EXPECT_NE(error.find("missing.json"), std::string::npos);
}

TEST_F(SimHostTest, LinkQueriesAnswerByConnectionName) {
    auto host = open(R"({"adapters": [{"index": 1, "friendlyName": "lan", "status": 2,
        "operStatus": 1, "speed": 10000000000, "mtu": 9000, "dhcpFlag": true}]})");
    EXPECT_EQ(host->connectionStatus("lan"), 2);
    EXPECT_EQ(host->mediaState("lan"), 1);
    EXPECT_EQ(host->linkSpeed("lan"), 10000000000LL);
    EXPECT_EQ(host->mtu("lan"), 9000);
    EXPECT_EQ(host->dhcpFlag("lan"), true);
    EXPECT_EQ(host->connectionStatus("wan"), -1);
    EXPECT_EQ(host->mediaState("wan"), 0);
    EXPECT_EQ(host->linkSpeed("wan"), -1);
    EXPECT_EQ(host->mtu("wan"), -1);
    EXPECT_EQ(host->dhcpFlag("wan"), std::nullopt);
}

TEST_F(SimHostTest, NamesAreSingleLinesAndAnEmptyNameMatchesNothing) {
    auto host = open(R"({"adapters": [{"index": 1, "status": 2, "operStatus": 1},
        {"index": 2, "friendlyName": "a\tb\r\nc", "status": 2, "operStatus": 0},
        {"index": 3, "friendlyName": "a b  c", "status": 7, "operStatus": 1}]})");
    // The adapter without a name is not found by the empty name.
    EXPECT_EQ(host->connectionStatus(""), -1);
    EXPECT_EQ(host->mediaState(""), 0);
    EXPECT_EQ(host->linkSpeed(""), -1);
    const auto names = host->getInterfaceNames();
    ASSERT_EQ(names.size(), 3U);
    EXPECT_EQ(names[1].friendlyName, "a b  c");
    // Two adapters show the same name: the status is the first one's, the media state the last.
    EXPECT_EQ(host->connectionStatus("a b  c"), 2);
    EXPECT_EQ(host->mediaState("a b  c"), 1);
}

// Two adapters named "lan" (the first one static, the last one on DHCP) and "wan".
constexpr const char* kNamedHost = R"({"adapters": [
  {"index": 1, "friendlyName": "lan", "dhcpFlag": false, "dhcpEnabled": 0,
   "ipAddresses": [{"address": "10.0.0.5", "mask": "255.255.255.0", "context": 5},
                   {"address": "10.0.0.6", "mask": "255.255.255.0", "context": 6}],
   "gateways": ["10.0.0.1", "10.0.0.2"], "dns": ["10.0.0.1", "10.0.0.2", "10.0.0.3"]},
  {"index": 2, "friendlyName": "lan", "dhcpFlag": true},
  {"index": 3, "friendlyName": "wan", "dhcpFlag": true,
   "ipAddresses": [{"address": "10.9.0.1", "mask": "255.255.0.0", "context": 9}]}]})";

TEST_F(SimHostTest, SwitchesChangeTheFirstAdapterOfTheNameAndAreWrittenBack) {
    auto host = open(kNamedHost);
    // The flag is read from the last adapter of the name, as the platform's list answers.
    EXPECT_TRUE(host->isDhcpEnabled("lan"));
    EXPECT_FALSE(host->isDhcpEnabled("nowhere"));
    ASSERT_TRUE(host->setStaticAddressing("wan", {"10.9.0.7", "255.255.255.0", "", "", "8.8.4.4"}))
        << host->lastProblem();
    EXPECT_EQ(host->lastProblem(), "");
    ASSERT_TRUE(host->enableDhcp("lan"));
    ASSERT_TRUE(host->setStaticAddressing(
        "lan", {"10.0.0.6", "255.255.0.0", "10.0.0.254", "1.1.1.1", "1.0.0.1"}));

    std::string error;
    auto again = SimHost::open(path_, error);
    ASSERT_NE(again, nullptr) << error;
    const auto adapters = again->getAdaptersInfo();
    const IpAddrString& lan = adapters[0].ipAddresses.at(0);
    EXPECT_EQ(adapters[0].ipAddresses.size(), 1U);
    EXPECT_EQ(lan.address + "/" + lan.mask, "10.0.0.6/255.255.0.0");
    EXPECT_GT(lan.context, 9U);  // unique on the host
    EXPECT_EQ(lan.next, 0U);
    ASSERT_EQ(adapters[0].gateways.size(), 1U);
    EXPECT_EQ(adapters[0].gateways[0].address, "10.0.0.254");
    EXPECT_NE(adapters[0].gateways[0].context, 0U);  // listed by the snapshot
    EXPECT_EQ(adapters[0].dhcpEnabled, 0U);
    EXPECT_EQ(again->getPerAdapterDns(1), (std::vector<std::string>{"1.1.1.1", "1.0.0.1"}));
    EXPECT_EQ(again->dhcpFlag("lan"), false);
    EXPECT_TRUE(adapters[1].ipAddresses.empty());  // the second "lan" was not touched
    EXPECT_TRUE(again->isDhcpEnabled("lan"));
    // No gateway, and the empty primary DNS server dropped.
    EXPECT_TRUE(adapters[2].gateways.empty());
    EXPECT_EQ(again->getPerAdapterDns(3), (std::vector<std::string>{"8.8.4.4"}));
    EXPECT_FALSE(again->isDhcpEnabled("wan"));

    ASSERT_TRUE(again->enableDhcp("wan"));
    EXPECT_TRUE(again->isDhcpEnabled("wan"));
    EXPECT_EQ(again->getAdaptersInfo()[2].dhcpEnabled, 1U);
    EXPECT_EQ(again->getAdaptersInfo()[2].ipAddresses.size(), 1U);

    const auto calls = host->configurationCalls();
    ASSERT_EQ(calls.size(), 3U);
    EXPECT_EQ(calls[0].connectionName, "wan");
    ASSERT_TRUE(calls[0].staticValues);
    EXPECT_EQ(calls[0].staticValues->primaryDns, "");
    EXPECT_EQ(calls[0].staticValues->secondaryDns, "8.8.4.4");
    EXPECT_FALSE(calls[1].staticValues);
}

TEST_F(SimHostTest, RefusedSwitchesSayWhyAndChangeNothing) {
    // The description is UTF-8; the reason comes back in GBK.
    std::string description = kNamedHost;
    description.insert(
        description.find(R"("friendlyName": "wan")"),
        nicops::testing::utf8(u8R"("configurationRefused": "管理接口拒绝了更改.", )"));
    auto host = open(description);
    const std::string before = TempDir::read(path_);
    const StaticAddressing values{"10.1.0.1", "255.255.0.0", "", "", ""};

    EXPECT_FALSE(host->enableDhcp("wan"));
    EXPECT_EQ(host->lastProblem(), "管理接口拒绝了更改.");
    EXPECT_FALSE(host->setStaticAddressing("wan", values));
    EXPECT_EQ(host->lastProblem(), "管理接口拒绝了更改.");
    EXPECT_FALSE(host->enableDhcp("nowhere"));
    EXPECT_EQ(host->lastProblem(), "没有连接名称为 nowhere 的网卡.");
    EXPECT_FALSE(host->setStaticAddressing("", values));  // the empty name names no adapter
    // An address another adapter holds, an address that is none.
    EXPECT_FALSE(host->setStaticAddressing("lan", {"10.9.0.1", "255.255.0.0", "", "", ""}));
    EXPECT_EQ(host->lastProblem(), "10.9.0.1 已被其他网卡使用.");
    EXPECT_FALSE(host->setStaticAddressing("lan", {"10.1.0.1", "255.255.0.0", "", "10.0.0", ""}));
    EXPECT_NE(host->lastProblem().find("10.0.0"), std::string::npos);
    EXPECT_EQ(TempDir::read(path_), before);
    EXPECT_EQ(host->configurationCalls().size(), 6U);

    // A host file that can't be written: the host stays as it was.
    std::filesystem::remove_all(dir_.path());
    EXPECT_FALSE(host->setStaticAddressing("lan", values));
    EXPECT_NE(host->lastProblem().find("无法写入"), std::string::npos);
    EXPECT_EQ(host->getAdaptersInfo()[0].ipAddresses.size(), 2U);
    EXPECT_EQ(host->getPerAdapterDns(1)->size(), 3U);
    EXPECT_FALSE(host->enableDhcp("lan"));
    EXPECT_EQ(host->dhcpFlag("lan"), false);
}

}  // namespace
}  // namespace nicops::platform::sim
