#include "external/address_lookup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "external/clipboard_export.h"
#include "external/loopback_http_server.h"
#include "ipops/operation_fixture.h"
#include "text/codepage.h"

namespace nicops::external {
namespace {

using nicops::testing::HttpConnection;
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

// What a lookup server can do wrong, each answering one request.
struct ServerFault {
    const char* what;
    std::function<void(const std::string& peer, HttpConnection&)> serve;
};

constexpr int kFaultTimeoutMs = 300;
// The longest a server holds a connection for a caller that never leaves.
constexpr auto kHold = std::chrono::seconds(5);

std::vector<ServerFault> serverFaults(std::atomic<std::size_t>& gigabyteSent) {
    const std::string header200 = "HTTP/1.1 200 OK\r\nContent-Length: 300\r\n\r\n";
    return {
        {"answers 500", [](const std::string& peer,
                           HttpConnection& c) { c.send(httpResponse(500, answerFor(peer))); }},
        {"redirects to itself",
         [](const std::string&, HttpConnection& c) {
             c.send(httpResponse(302, "", "Location: /GetIp/default.aspx\r\n"));
         }},
        {"accepts, never answers",
         [](const std::string&, HttpConnection& c) { c.waitForCallerToLeave(kHold); }},
        {"answers after the time-out",
         [](const std::string& peer, HttpConnection& c) {
             c.waitForCallerToLeave(std::chrono::milliseconds(2 * kFaultTimeoutMs));
             c.send(httpResponse(200, answerFor(peer)));
         }},
        {"headers, then nothing",
         [header200](const std::string&, HttpConnection& c) {
             c.send(header200);
             c.waitForCallerToLeave(kHold);
         }},
        {"the answer's first part, then nothing",
         [header200](const std::string& peer, HttpConnection& c) {
             c.send(header200 + answerFor(peer).substr(0, 40));
             c.waitForCallerToLeave(kHold);
         }},
        {"the answer's first part, then the connection closed",
         [header200](const std::string& peer, HttpConnection& c) {
             c.send(header200 + answerFor(peer).substr(0, 40));
         }},
        {"a gigabyte",
         [&gigabyteSent](const std::string& peer, HttpConnection& c) {
             constexpr std::size_t kGigabyte = std::size_t{1} << 30;
             const std::string chunk(64 * 1024, ' ');
             if (c.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kGigabyte) +
                        "\r\n\r\n" + answerFor(peer))) {
                 while (c.sentBytes() < kGigabyte && c.send(chunk)) {
                 }
             }
             gigabyteSent = c.sentBytes();
         }},
        {"sends headers without end",
         [](const std::string&, HttpConnection& c) {
             if (c.send("HTTP/1.1 200 OK\r\n")) {
                 for (std::size_t i = 0;
                      i < 1000000 && c.send("X-Filler: " + std::string(100, 'x') + "\r\n"); ++i) {
                 }
             }
         }},
    };
}

std::string printable(const Lines& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += "    " + text::gbkToUtf8(line) + "\n";
    }
    return out;
}

// One address, with what an earlier query found for it.
constexpr const char* kOneAddress = R"({"adapters": [
  {"index": 12, "adapterName": "eth0",
   "ipAddresses": [{"address": "127.0.0.2", "mask": "255.0.0.0", "context": 5}]}]})";

class ServerFaultTest : public QueryTest {
protected:
    void SetUp() override {}

    void openWithEarlierResults(const std::string& description) {
        openHost(12, description);
        for (const std::string& key : snapshot_.addresses.keys()) {
            auto entry = snapshot_.addresses.lookup(key);
            entry->externalAddress = "198.51.100.1";
            entry->location = "earlier";
            snapshot_.addresses.store(key, *entry);
        }
    }

    // The query's log and how long it took.
    std::pair<Lines, std::chrono::milliseconds> timedQuery(const std::string& server,
                                                           int concurrency,
                                                           int requestTimeoutMs = kFaultTimeoutMs) {
        settings::AppSettings s = settingsFor(server);
        s.connectTimeoutMs = kFaultTimeoutMs;
        s.requestTimeoutMs = requestTimeoutMs;
        s.lookupConcurrency = concurrency;
        settings::SharedSettings shared(s);
        QueryHost host;
        const auto start = std::chrono::steady_clock::now();
        queryExternalAddresses(services(), host, shared);
        return {host.log, std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start)};
    }
};

// Each fault of the server fails the one lookup it spoils: nothing is stored, the earlier result
// stays, the query ends with its summary and the settings' time-outs bound the wait. A transfer
// that did not complete never counts, even when what arrived has the address in it.
TEST_F(ServerFaultTest, EveryFaultOfTheServerFailsItsLookupAndEndsTheQuery) {
    const Lines failedOne = {"<busy>", "已开始查询所有网卡IP对应外网IP,请稍后...", "<shown>",
                             "查询所有网卡IP对应外网IP完毕,共计查询1个,查询成功0个.", "</busy>"};
    std::atomic<std::size_t> gigabyteSent{0};
    std::vector<ServerFault> faults = serverFaults(gigabyteSent);
    // Nobody listens on a port bound without listen(): the connection is refused.
    const int unlistened = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(unlistened, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::getsockname(unlistened, reinterpret_cast<sockaddr*>(&address), &length), 0);
    faults.insert(faults.begin(), {"refuses the connection", nullptr});

    for (const ServerFault& fault : faults) {
        SCOPED_TRACE(fault.what);
        openWithEarlierResults(kOneAddress);
        std::pair<Lines, std::chrono::milliseconds> outcome;
        if (fault.serve) {
            LoopbackHttpServer server([&](const std::string& peer, const std::string&,
                                          HttpConnection& c) { fault.serve(peer, c); });
            outcome = timedQuery(server.url(), 1);
        } else {
            outcome = timedQuery("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)), 1);
        }
        EXPECT_EQ(outcome.first, failedOne);
        EXPECT_EQ(results(), (Lines{"127.0.0.2 198.51.100.1 earlier"}));
        std::cout << "[fault] " << fault.what << ": " << outcome.second.count() << " ms\n"
                  << printable(outcome.first);
    }
    ::close(unlistened);
    // The client left long before the gigabyte was through.
    EXPECT_LT(gigabyteSent.load(), std::size_t{64} << 20);
    std::cout << "[fault] bytes the gigabyte server got out: " << gigabyteSent << "\n";
}

// Nine addresses, one for each fault.
constexpr const char* kNineAddresses = R"({"adapters": [
  {"index": 12, "adapterName": "eth0",
   "ipAddresses": [{"address": "127.0.0.2", "mask": "255.0.0.0", "context": 2},
                   {"address": "127.0.0.3", "mask": "255.0.0.0", "context": 3},
                   {"address": "127.0.0.4", "mask": "255.0.0.0", "context": 4},
                   {"address": "127.0.0.5", "mask": "255.0.0.0", "context": 5},
                   {"address": "127.0.0.6", "mask": "255.0.0.0", "context": 6},
                   {"address": "127.0.0.7", "mask": "255.0.0.0", "context": 7},
                   {"address": "127.0.0.8", "mask": "255.0.0.0", "context": 8},
                   {"address": "127.0.0.9", "mask": "255.0.0.0", "context": 9},
                   {"address": "127.0.0.10", "mask": "255.0.0.0", "context": 10}]}]})";

// The concurrent lookups meet the same faults at once: each fails on its own and the one good
// answer among them still counts.
TEST_F(ServerFaultTest, ConcurrentLookupsFailOnTheirOwnFaults) {
    std::atomic<std::size_t> gigabyteSent{0};
    const std::vector<ServerFault> faults = serverFaults(gigabyteSent);
    ASSERT_EQ(faults.size(), 9u);
    LoopbackHttpServer server([&](const std::string& peer, const std::string&, HttpConnection& c) {
        const std::size_t n = std::stoul(peer.substr(peer.rfind('.') + 1)) - 2;
        if (n == 0) {
            c.send(httpResponse(200, answerFor(peer)));  // the one good server among them
        } else if (n < faults.size()) {
            faults[n].serve(peer, c);
        }
    });
    openWithEarlierResults(kNineAddresses);
    const auto [log, took] = timedQuery(server.url(), 9);
    EXPECT_EQ(log[3], "查询所有网卡IP对应外网IP完毕,共计查询9个,查询成功1个.");
    Lines expected = {"127.0.0.2 127.0.0.2 广东深圳 电信"};
    for (int i = 3; i <= 10; ++i) {
        expected.push_back("127.0.0." + std::to_string(i) + " 198.51.100.1 earlier");
    }
    EXPECT_EQ(results(), expected);
    std::cout << "[fault] all at once, 9 lookups in flight: " << took.count() << " ms\n"
              << printable(log);
}

// Without a request time-out the settings set no bound; a redirect loop still ends at the
// redirect limit, and a server that sends nothing is left once it has been silent too long. The
// servers give in after a while (the loop and the silence end in a good answer), so a client
// that waited for them would count a success.
TEST_F(ServerFaultTest, WithoutARequestTimeOutLoopsAndSilentServersStillEnd) {
    std::atomic<int> redirects{0};
    LoopbackHttpServer looping([&](const std::string& peer, const std::string&) {
        return ++redirects > 100 ? httpResponse(200, answerFor(peer))
                                 : httpResponse(302, "", "Location: /GetIp/default.aspx\r\n");
    });
    LoopbackHttpServer silent([](const std::string& peer, const std::string&, HttpConnection& c) {
        if (!c.waitForCallerToLeave(std::chrono::seconds(2 * kStalledTransferSeconds))) {
            c.send(httpResponse(200, answerFor(peer)));
        }
    });
    for (const LoopbackHttpServer* server : {&looping, &silent}) {
        const char* what = server == &looping ? "redirects to itself" : "falls silent";
        SCOPED_TRACE(what);
        openWithEarlierResults(kOneAddress);
        const auto [log, took] = timedQuery(server->url(), 1, 0);
        EXPECT_EQ(log[3], "查询所有网卡IP对应外网IP完毕,共计查询1个,查询成功0个.");
        EXPECT_EQ(results(), (Lines{"127.0.0.2 198.51.100.1 earlier"}));
        std::cout << "[fault] no request time-out, the server " << what << ": " << took.count()
                  << " ms, " << server->requests() << " requests\n";
    }
}

}  // namespace
}  // namespace nicops::external
