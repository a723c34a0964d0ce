#include "external/address_lookup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "external/clipboard_export.h"
#include "external/loopback_http_server.h"
#include "ipops/operation_fixture.h"

namespace nicops::external {
namespace {

using nicops::testing::httpResponse;
using nicops::testing::LoopbackHttpServer;
using Lines = std::vector<std::string>;

std::string utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

// What the endpoint answers: the caller's address, then country, region, city and line.
std::string answerFor(const std::string& peer) {
    return utf8(u8"{\"ip\":\"") + peer +
           utf8(u8"\",\"country\":\"中国\",\"region\":\"广东\",\"city\":\"深圳\",\"as\":\"电信\"}");
}

settings::AppSettings settingsFor(const std::string& server) {
    settings::AppSettings s;
    s.lookupServer = server;
    s.connectTimeoutMs = 1000;
    s.requestTimeoutMs = 1000;
    return s;
}

struct Outcome {
    bool ok;
    std::string externalAddress;
    std::string location;
};

Outcome lookUp(const std::string& local, const settings::AppSettings& settings) {
    Outcome o{false, "old", "old place"};
    o.ok = lookupExternalAddress(local, settings, o.externalAddress, o.location);
    return o;
}

TEST(LookupTest, EachLookupLeavesFromItsOwnAddressAndReadsTheAnswer) {
    std::vector<std::string> paths;
    std::mutex m;
    LoopbackHttpServer server([&](const std::string& peer, const std::string& path) {
        std::lock_guard lock(m);
        paths.push_back(path);
        return httpResponse(200, answerFor(peer));
    });
    const settings::AppSettings settings = settingsFor(server.url() + "/");
    const Outcome a = lookUp("127.0.0.2", settings);
    const Outcome b = lookUp("127.0.0.3", settings);
    EXPECT_TRUE(a.ok);
    EXPECT_EQ(a.externalAddress, "127.0.0.2");
    EXPECT_EQ(a.location, "广东深圳 电信");
    EXPECT_TRUE(b.ok);
    EXPECT_EQ(b.externalAddress, "127.0.0.3");
    EXPECT_EQ(paths, (Lines{"/GetIp/default.aspx", "/GetIp/default.aspx"}));
}

TEST(LookupTest, RedirectsAreFollowedAndOnlyTheFinalStatusCounts) {
    LoopbackHttpServer server([](const std::string& peer, const std::string& path) {
        if (path == "/GetIp/default.aspx") {
            return httpResponse(302, "", "Location: /moved\r\n");
        }
        return httpResponse(200, answerFor(peer));
    });
    const Outcome o = lookUp("127.0.0.4", settingsFor(server.url()));
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.externalAddress, "127.0.0.4");
}

TEST(LookupTest, FailuresLeaveBothResultsAsTheyWere) {
    const std::string answer = answerFor("1.2.3.4");
    const std::string bigButAllowed = answer + std::string(kMaxResponseBytes - answer.size(), ' ');
    LoopbackHttpServer server([&](const std::string& peer, const std::string&) {
        if (peer == "127.0.0.2") {
            return httpResponse(404, answerFor(peer));
        }
        if (peer == "127.0.0.3") {
            return httpResponse(200, bigButAllowed + " ");  // one byte too many
        }
        if (peer == "127.0.0.4") {
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            return httpResponse(200, answerFor(peer));
        }
        return httpResponse(200, bigButAllowed);
    });
    settings::AppSettings settings = settingsFor(server.url());
    settings.requestTimeoutMs = 150;
    for (const char* local : {"127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
        const Outcome o = lookUp(local, settings);
        EXPECT_FALSE(o.ok) << local;
        EXPECT_EQ(o.externalAddress, "old") << local;
        EXPECT_EQ(o.location, "old place") << local;
    }
    const Outcome atLimit = lookUp("127.0.0.5", settings);
    EXPECT_TRUE(atLimit.ok);
    EXPECT_EQ(atLimit.externalAddress, "1.2.3.4");

    // Nothing listens here: refused at once.
    const Outcome refused = lookUp("127.0.0.2", settingsFor("http://127.0.0.1:1"));
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.externalAddress, "old");
}

TEST(LookupTest, AnswerWithoutMarksIsStillASuccessWithEmptyValues) {
    LoopbackHttpServer server([](const std::string&, const std::string&) {
        return httpResponse(200, utf8(u8"{\"ip\":\"203.0.113.7\",\"as\":\"电信\",\"x\":1}"));
    });
    settings::AppSettings settings = settingsFor(server.url());
    settings.locationFormat = "[{国家}|{线路}]";
    const Outcome o = lookUp("127.0.0.2", settings);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.externalAddress, "203.0.113.7");
    EXPECT_EQ(o.location, "[|]");  // as runs to the next "} and there is none
}

TEST(LookupTest, BodyThatIsNotUtf8LosesOnlyItsBadBytes) {
    // A GBK country and a Latin-1 city right before their closing quotes: each bad byte reads
    // as "?", and no mark or address next to one is lost.
    LoopbackHttpServer server([](const std::string&, const std::string&) {
        return httpResponse(200,
                            "{\"ip\":\"203.0.113.9\",\"country\":\"\xD6\xD0\xCE\xC4\",\"region\":"
                            "\"\",\"city\":\"S\xE3o\",\"as\":\"\xFF\"}");
    });
    settings::AppSettings settings = settingsFor(server.url());
    settings.locationFormat = "{国家}|{城市}|{线路}";
    const Outcome o = lookUp("127.0.0.2", settings);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.externalAddress, "203.0.113.9");
    EXPECT_EQ(o.location, "????|S?o|?");
}

// Records the redisplay besides what RecordingHost records.
class QueryHost final : public ipops::OperationHost {
public:
    void appendLog(std::string_view message) override {
        std::lock_guard lock(mutex_);
        log.emplace_back(message);
    }
    void setBusy(bool busy) override {
        std::lock_guard lock(mutex_);
        log.push_back(busy ? "<busy>" : "</busy>");
    }
    void refreshDisplay() override { log.push_back("<refresh>"); }
    void showCurrentAdapter() override { log.push_back("<shown>"); }
    std::uint32_t currentAdapterIndex() const override { return 12; }

    Lines log;

private:
    std::mutex mutex_;
};

// Four loopback addresses on two adapters.
constexpr const char* kLoopbackAdapters = R"({"adapters": [
  {"index": 12, "adapterName": "eth0",
   "ipAddresses": [{"address": "127.0.0.2", "mask": "255.0.0.0", "context": 5},
                   {"address": "127.0.0.3", "mask": "255.0.0.0", "context": 6}],
   "gateways": [{"address": "127.0.0.9", "mask": "255.255.255.255", "context": 9}]},
  {"index": 13, "adapterName": "eth1",
   "ipAddresses": [{"address": "127.0.0.4", "mask": "255.0.0.0", "context": 7},
                   {"address": "127.0.0.5", "mask": "255.0.0.0", "context": 8}]}]})";

class QueryTest : public ipops::OperationTest {
protected:
    void SetUp() override { openHost(12, kLoopbackAdapters); }

    // "address external location" of every entry, in table order.
    Lines results() {
        Lines out;
        for (const auto& [address, entry] : snapshot_.addresses) {
            out.push_back(address + " " + entry.externalAddress + " " + entry.location);
        }
        return out;
    }

    Lines query(const std::string& server, int concurrency) {
        settings::AppSettings s = settingsFor(server);
        s.lookupConcurrency = concurrency;
        settings::SharedSettings shared(s);
        QueryHost host;
        queryExternalAddresses(services(), host, shared);
        return host.log;
    }
};

TEST_F(QueryTest, EveryAddressOfEveryAdapterIsQueriedAndOnlySuccessesAreStoredAndCounted) {
    std::atomic<bool> allAnswer{false};
    LoopbackHttpServer server([&](const std::string& peer, const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return httpResponse(allAnswer || peer == "127.0.0.4" ? 200 : 500, answerFor(peer));
    });
    const Lines firstLog = query(server.url(), 1);
    EXPECT_EQ(firstLog,
              (Lines{"<busy>", "已开始查询所有网卡IP对应外网IP,请稍后...", "<shown>",
                     "查询所有网卡IP对应外网IP完毕,共计查询4个,查询成功1个.", "</busy>"}));
    EXPECT_EQ(server.mostAtOnce(), 1);
    const Lines afterFirst = {"127.0.0.2  ", "127.0.0.3  ", "127.0.0.4 127.0.0.4 广东深圳 电信",
                              "127.0.0.5  "};
    EXPECT_EQ(results(), afterFirst);

    // Concurrent: the same table and counts, with requests overlapping.
    const Lines concurrentLog = query(server.url(), 3);
    EXPECT_EQ(concurrentLog, firstLog);
    EXPECT_EQ(results(), afterFirst);
    EXPECT_GE(server.mostAtOnce(), 2);

    allAnswer = true;
    const Lines all = query(server.url(), 8);
    EXPECT_EQ(all[3], "查询所有网卡IP对应外网IP完毕,共计查询4个,查询成功4个.");
    EXPECT_EQ(results(),
              (Lines{"127.0.0.2 127.0.0.2 广东深圳 电信", "127.0.0.3 127.0.0.3 广东深圳 电信",
                     afterFirst[2], "127.0.0.5 127.0.0.5 广东深圳 电信"}));
    EXPECT_EQ(server.requests(), 12);
}

// An answer is trusted only as far as its ip value is an address: one without it, or with more
// than an address in it, fails like a refused request; an address or a location can never start
// a line of its own in the list or the export.
TEST_F(QueryTest, OnlyAnAddressCountsAsTheExternalAddressAndNoValueBreaksALine) {
    LoopbackHttpServer server([](const std::string& peer, const std::string&) {
        if (peer == "127.0.0.2") {  // no ip at all
            return httpResponse(200, utf8(u8"{\"country\":\"中国\",\"as\":\"电信\"}"));
        }
        if (peer == "127.0.0.3") {  // an injected line after the address
            return httpResponse(
                200, "{\"ip\":\"1.2.3.4\r\n6.6.6.6:1080|x|y|z\",\"city\":\"c\",\"as\":\"a\"}");
        }
        if (peer == "127.0.0.4") {
            return httpResponse(200, utf8(u8"{\"ip\":\"2001:db8::7\",\"region\":\"广东\",\"city\":"
                                          u8"\"深圳\",\"as\":\"电信\"}"));
        }
        return httpResponse(200, utf8(u8"{\"ip\":\"203.0.113.9\",\"region\":\"广\n东\",\"city\":"
                                      u8"\"\x7f深圳\r\",\"as\":\"电信\t\x01\"}"));
    });
    // What an earlier query left stays where the answer is refused.
    for (const char* key : {"127.0.0.2", "127.0.0.3"}) {
        auto entry = snapshot_.addresses.lookup(key);
        entry->externalAddress = "198.51.100.1";
        entry->location = "earlier";
        snapshot_.addresses.store(key, *entry);
    }
    const Lines log = query(server.url(), 1);
    EXPECT_EQ(log[3], "查询所有网卡IP对应外网IP完毕,共计查询4个,查询成功2个.");
    EXPECT_EQ(results(), (Lines{"127.0.0.2 198.51.100.1 earlier", "127.0.0.3 198.51.100.1 earlier",
                                "127.0.0.4 2001:db8::7 广东深圳 电信",
                                "127.0.0.5 203.0.113.9 广 东 深圳  电信  "}));
    EXPECT_EQ(buildExportText(snapshot_, settings::kDefaultCopyFormat),
              "198.51.100.1:1080|mornlux|kvzt|earlier\r\n"
              "198.51.100.1:1080|mornlux|kvzt|earlier\r\n"
              "2001:db8::7:1080|mornlux|kvzt|广东深圳 电信\r\n"
              "203.0.113.9:1080|mornlux|kvzt|广 东 深圳  电信  \r\n");
}

TEST(LookupAnswerTest, TheIpValueMustBeOneWholeAddress) {
    for (const char* ip :
         {"1.2.3.4", "0.0.0.0", "255.255.255.255", "::1", "2001:db8::7", "::ffff:192.0.2.1"}) {
        EXPECT_TRUE(isIpAddressText(ip)) << ip;
    }
    for (const char* ip :
         {"", " 1.2.3.4", "1.2.3.4 ", "1.2.3", "1.2.3.4.5", "256.1.1.1", "01.2.3.4", "1.2.3.4\r\n",
          "0x7f.0.0.1", "2001:db8::7%eth0", "[::1]", "1.2.3.4:80", "localhost"}) {
        EXPECT_FALSE(isIpAddressText(ip)) << ip;
    }
    EXPECT_FALSE(isIpAddressText(std::string_view("1.2.3.4\0x", 9)));
}

TEST_F(QueryTest, WithoutAnEndpointNothingIsSentAndTheSummaryStillComes) {
    EXPECT_EQ(
        query("", 1),
        (Lines{"<busy>", "已开始查询所有网卡IP对应外网IP,请稍后...", "未设置查询服务器.", "<shown>",
               "查询所有网卡IP对应外网IP完毕,共计查询4个,查询成功0个.", "</busy>"}));
    EXPECT_EQ(results()[0], "127.0.0.2  ");
}

}  // namespace
}  // namespace nicops::external
