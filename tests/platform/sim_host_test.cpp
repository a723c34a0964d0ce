#include "platform/sim/sim_host.h"

#include <gtest/gtest.h>

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

TEST_F(SimHostTest, AddRefusesBadInputWithThePlatformsCodes) {
    auto host = open();
    EXPECT_EQ(host->addIpAddress("10.0.0.300", "255.255.255.0", 12), kInvalidParameter);
    EXPECT_EQ(host->addIpAddress("10.0.0.6", "mask", 12), kInvalidParameter);
    EXPECT_EQ(host->addIpAddress("10.0.0.6", "255.255.255.0", 99), kNotFound);
    EXPECT_EQ(host->addIpAddress("10.9.0.2", "255.255.255.0", 12), kObjectAlreadyExists);
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

TEST_F(SimHostTest, MalformedDescriptionsNameTheFileAndTheReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"{not json", "not a valid JSON document"},
        {R"({"adapters": {}})", "\"adapters\" is not a list"},
        {R"({"adapters": [{"description": "x"}]})", "adapter 1 has no numeric \"index\""},
        {R"({"adapters": [{"index": 1, "gateways": 5}]})", "\"gateways\" is not a list"},
        {R"({"refuse": {"1.2.3.4": "no"}})", "is not a number"},
        {R"({"adapters": [{"index": 1, "leaseObtained": 1e12}]})",
         "\"leaseObtained\" has the wrong type"},
        {R"({"adapters": [{"index": 1, "mtu": 3000000000}]})", "\"mtu\" has the wrong type"},
        {R"({"adapters": [{"index": 1, "status": "up"}]})", "\"status\" has the wrong type"},
        {R"({"adapters": [{"index": 1, "ipAddresses": [{"address": "10.0.0.1", "next": "x"}]}]})",
         "\"ipAddresses\" has an element whose \"next\""},
        {R"({"adapters": [{"index": 1, "dns": [7]}]})", "\"dns\" has an element"},
        {R"({"adapters": [{"index": -1}]})", "no numeric \"index\""},
        {R"({"interfaces": [{"index": 1, "name": 5}]})", "\"interfaces\" has an entry"},
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

}  // namespace
}  // namespace nicops::platform::sim
