// nicops-echo end to end: the real server on loopback addresses, asked by the curl program.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "mmdb_file.h"
#include "support/temp_dir.h"

namespace {

using nicops::testing::TempDir;
using nicops::testing::utf8;

constexpr const char* kPath = "/GetIp/default.aspx";
constexpr const char* kLocDb = "/usr/share/libloc-location/location.db";

// One running nicops-echo, under an open-file limit of `fileLimit` when it is not 0; stopped
// with SIGTERM when the object goes.
class EchoServer {
public:
    explicit EchoServer(std::vector<std::string> args, const std::string& host = "127.0.0.2",
                        rlim_t fileLimit = 0)
        : host_(host) {
        logPath_ = dir_.write("stderr.log", "");
        args.insert(args.begin(), {NICOPS_ECHO_PATH, "--listen", host + ":0"});
        pid_ = fork();
        if (pid_ == 0) {
            std::freopen(logPath_.c_str(), "w", stderr);
            if (fileLimit != 0) {
                const rlimit limit{fileLimit, fileLimit};
                setrlimit(RLIMIT_NOFILE, &limit);
            }
            std::vector<char*> argv;
            for (auto& a : args) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        const std::regex listening("listening on [^ ]+:([0-9]+)");
        for (int i = 0; i < 200 && port_ == 0; ++i) {
            std::smatch match;
            const std::string log = TempDir::read(logPath_);
            if (std::regex_search(log, match, listening)) {
                port_ = std::stoi(match[1]);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
    }
    ~EchoServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    int port() const { return port_; }
    std::string url(const std::string& path = kPath) const {
        return "http://" + host_ + ":" + std::to_string(port_) + path;
    }
    std::string log() const { return TempDir::read(logPath_); }

private:
    TempDir dir_;
    std::string host_;
    std::string logPath_;
    pid_t pid_ = -1;
    int port_ = 0;
};

struct Reply {
    int status = 0;
    std::string body;
};

// Runs curl from the loopback address `from` with `extra` arguments (already quoted).
Reply curl(const std::string& from, const std::string& url, const std::string& extra = "") {
    const std::string command = "curl -s --max-time 10 --interface " + from + " " + extra +
                                " -w '\\n%{http_code}' '" + url + "'";
    Reply reply;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return reply;
    }
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, n);
    }
    pclose(pipe);
    const auto newline = out.rfind('\n');
    if (newline != std::string::npos) {
        reply.body = out.substr(0, newline);
        reply.status = std::atoi(out.c_str() + newline + 1);
    }
    return reply;
}

std::string emptyAnswer(const std::string& ip) {
    return "{\"ip\":\"" + ip + "\",\"country\":\"\",\"region\":\"\",\"city\":\"\",\"as\":\"\"}";
}

// A raw client connection from a loopback address, for what curl won't do: several requests on
// one connection, a request cut short or sent byte by byte, many connections at once.
class RawConnection {
public:
    RawConnection(const std::string& from, const std::string& to, int port)
        : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, from.c_str(), &address.sin_addr);
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        inet_pton(AF_INET, to.c_str(), &address.sin_addr);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawConnection() { close(fd_); }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool connected() const { return connected_; }
    bool send(const std::string& text) {
        return write(fd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    // Reads until `count` whole responses (by Content-Length) are in, the peer closes, or 5 s
    // pass; returns what arrived.
    std::string responses(int count) {
        std::string in;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (complete(in) < count && std::chrono::steady_clock::now() < deadline) {
            pollfd waiting{fd_, POLLIN, 0};
            if (poll(&waiting, 1, 100) == 1) {
                char buffer[4096];
                const ssize_t n = read(fd_, buffer, sizeof buffer);
                if (n <= 0) {
                    peerClosed_ = true;
                    break;
                }
                in.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return in;
    }
    bool peerClosed() const { return peerClosed_; }

private:
    static int complete(const std::string& in) {
        int count = 0;
        for (std::size_t at = 0;;) {
            const auto end = in.find("\r\n\r\n", at);
            const auto length = in.find("Content-Length: ", at);
            if (end == std::string::npos || length == std::string::npos || length > end) {
                return count;
            }
            const std::size_t next = end + 4 + std::stoul(in.substr(length + 16));
            if (next > in.size()) {
                return count;
            }
            ++count;
            at = next;
        }
    }
    int fd_;
    bool connected_ = false;
    bool peerClosed_ = false;
};

std::string request(const std::string& path = kPath) {
    return "GET " + path + " HTTP/1.1\r\nHost: echo\r\n\r\n";
}

int countOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class EchoServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("curl --version >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "the curl program is not installed";
        }
    }
};

// Without databases every value but the address is empty.
const std::vector<std::string> kNoDatabases = {"--locdb", "/nonexistent/location.db"};

TEST_F(EchoServerTest, AnswersTheCallersAddressAndLogsTheRequest) {
    EchoServer server(kNoDatabases);
    ASSERT_NE(server.port(), 0) << server.log();
    const Reply reply = curl("127.0.0.3", server.url());
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, emptyAnswer("127.0.0.3"));
    const Reply withQuery = curl("127.0.0.4", server.url(std::string(kPath) + "?t=1"));
    EXPECT_EQ(withQuery.body, emptyAnswer("127.0.0.4"));
    const std::string log = server.log();
    EXPECT_TRUE(std::regex_search(
        log,
        std::regex("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d 127\\.0\\.0\\.3 200 [0-9.]+ms\n")))
        << log;
}

TEST_F(EchoServerTest, OtherPathsAndMethodsAreRefused) {
    EchoServer server(kNoDatabases);
    ASSERT_NE(server.port(), 0) << server.log();
    EXPECT_EQ(curl("127.0.0.3", server.url("/")).status, 404);
    EXPECT_EQ(curl("127.0.0.3", server.url("/GetIp/default.aspx/x")).status, 404);
    EXPECT_EQ(curl("127.0.0.3", server.url("/getip/default.aspx")).status, 404);
    EXPECT_EQ(curl("127.0.0.3", server.url(), "-X POST -d x=1").status, 405);
    EXPECT_EQ(curl("127.0.0.3", server.url(), "-X DELETE").status, 405);
    EXPECT_TRUE(std::regex_search(server.log(), std::regex("127\\.0\\.0\\.3 404 ")));
}

TEST_F(EchoServerTest, OversizedRequestsAreRefusedAndTheServerGoesOn) {
    EchoServer server(kNoDatabases);
    ASSERT_NE(server.port(), 0) << server.log();
    const std::string big(40000, 'a');
    const Reply header = curl("127.0.0.3", server.url(), "-H 'X-Filler: " + big + "'");
    EXPECT_GE(header.status, 400);
    EXPECT_NE(header.body.find("too big"), std::string::npos) << header.body;
    const Reply url = curl("127.0.0.3", server.url(std::string(kPath) + "?" + big));
    EXPECT_GE(url.status, 400);
    EXPECT_EQ(curl("127.0.0.3", server.url(), "-X GET --data-binary 0123456789").status, 413);
    const Reply after = curl("127.0.0.3", server.url());
    EXPECT_EQ(after.status, 200);
    EXPECT_EQ(after.body, emptyAnswer("127.0.0.3"));
}

TEST_F(EchoServerTest, ForwardedForCountsOnlyFromATrustedPeer) {
    EchoServer server({"--locdb", "/nonexistent/location.db", "--trust-proxy", "127.0.0.5"});
    ASSERT_NE(server.port(), 0) << server.log();
    const std::string forged = "-H 'X-Forwarded-For: 198.51.100.7'";
    EXPECT_EQ(curl("127.0.0.5", server.url(), forged).body, emptyAnswer("198.51.100.7"));
    EXPECT_EQ(curl("127.0.0.6", server.url(), forged).body, emptyAnswer("127.0.0.6"));
    // A client's own header in front of the proxy's: the proxy's entry wins.
    EXPECT_EQ(curl("127.0.0.5", server.url(),
                   "-H 'X-Forwarded-For: 203.0.113.1' -H 'X-Forwarded-For: 198.51.100.8'")
                  .body,
              emptyAnswer("198.51.100.8"));
    EXPECT_NE(server.log().find("198.51.100.7 via 127.0.0.5 200"), std::string::npos)
        << server.log();
}

TEST_F(EchoServerTest, OneConnectionCarriesRequestAfterRequest) {
    EchoServer server(kNoDatabases);
    ASSERT_NE(server.port(), 0) << server.log();
    RawConnection connection("127.0.0.3", "127.0.0.2", server.port());
    ASSERT_TRUE(connection.connected());
    ASSERT_TRUE(connection.send(request()));
    EXPECT_EQ(countOf(connection.responses(1), emptyAnswer("127.0.0.3")), 1);
    // Asked again on the same connection, and then twice in one write.
    ASSERT_TRUE(connection.send(request()));
    EXPECT_EQ(countOf(connection.responses(1), emptyAnswer("127.0.0.3")), 1);
    ASSERT_TRUE(connection.send(request() + request()));
    const std::string two = connection.responses(2);
    EXPECT_EQ(countOf(two, "HTTP/1.1 200 OK"), 2) << two;
    EXPECT_FALSE(connection.peerClosed());
    // A request's log line follows its answer.
    for (int i = 0; i < 100 && countOf(server.log(), "127.0.0.3 200 ") < 4; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(countOf(server.log(), "127.0.0.3 200 "), 4) << server.log();
}

TEST_F(EchoServerTest, CutShortAndSlowRequestsLeaveTheServerServing) {
    EchoServer server({"--locdb", "/nonexistent/location.db", "--timeout", "2"});
    ASSERT_NE(server.port(), 0) << server.log();
    {
        RawConnection cut("127.0.0.3", "127.0.0.2", server.port());
        ASSERT_TRUE(cut.send("GET /GetIp/default.aspx HTTP/1.1\r\nHo"));
    }  // the caller goes away mid-header
    // A request sent byte by byte, each byte well within the idle time-out, is answered.
    RawConnection slow("127.0.0.4", "127.0.0.2", server.port());
    for (const char byte : request()) {
        ASSERT_TRUE(slow.send(std::string(1, byte)));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(countOf(slow.responses(1), emptyAnswer("127.0.0.4")), 1);
    EXPECT_EQ(curl("127.0.0.5", server.url()).body, emptyAnswer("127.0.0.5"));
}

TEST_F(EchoServerTest, ABurstOfConnectionsIsAnsweredInFull) {
    EchoServer server(kNoDatabases);
    ASSERT_NE(server.port(), 0) << server.log();
    std::vector<std::unique_ptr<RawConnection>> burst;
    for (int i = 0; i < 300; ++i) {
        const std::string from = "127.0.1." + std::to_string(1 + i % 250);
        burst.push_back(std::make_unique<RawConnection>(from, "127.0.0.2", server.port()));
        ASSERT_TRUE(burst.back()->connected()) << i;
    }
    for (auto& connection : burst) {
        ASSERT_TRUE(connection->send(request()));
    }
    int answered = 0;
    for (std::size_t i = 0; i < burst.size(); ++i) {
        const std::string from = "127.0.1." + std::to_string(1 + i % 250);
        answered += countOf(burst[i]->responses(1), emptyAnswer(from));
    }
    EXPECT_EQ(answered, 300);
}

// Callers that never finish their headers take every place, whether --max-connections or the
// open-file limit sets how many there are; a newcomer still gets in and is answered long before
// the idle time-out would free a place, and the caller that waited longest makes room.
TEST_F(EchoServerTest, SlowCallersHoldingEveryPlaceMakeRoomForANewcomer) {
    struct Case {
        std::vector<std::string> args;
        rlim_t fileLimit;
        int slow;
    };
    const std::vector<Case> cases = {
        {{"--locdb", "/nonexistent/location.db", "--timeout", "60", "--max-connections", "4"},
         0,
         20},  // more than the 16 places --max-connections 4 gets on 16 server threads
        {{"--locdb", "/nonexistent/location.db", "--timeout", "60"}, 128, 130},
    };
    for (const auto& [args, fileLimit, slow] : cases) {
        SCOPED_TRACE(fileLimit == 0 ? "--max-connections 4" : "open-file limit 128");
        EchoServer server(args, "127.0.0.2", fileLimit);
        ASSERT_NE(server.port(), 0) << server.log();
        std::vector<std::unique_ptr<RawConnection>> callers;
        for (int i = 0; i < slow; ++i) {
            callers.push_back(std::make_unique<RawConnection>("127.0.2." + std::to_string(1 + i),
                                                              "127.0.0.2", server.port()));
            ASSERT_TRUE(callers.back()->connected()) << i;
            ASSERT_TRUE(callers.back()->send("GET /GetIp/default.aspx HTTP/1.1\r\nX-Slo"));
        }
        RawConnection newcomer("127.0.0.3", "127.0.0.2", server.port());
        ASSERT_TRUE(newcomer.send(request()));
        EXPECT_EQ(countOf(newcomer.responses(1), emptyAnswer("127.0.0.3")), 1) << server.log();
        EXPECT_TRUE(callers.front()->responses(1).empty());
        EXPECT_TRUE(callers.front()->peerClosed());
        for (int i = 0; i < 100 && server.log().find("127.0.2.1 - ") == std::string::npos; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_TRUE(std::regex_search(
            server.log(), std::regex("127\\.0\\.2\\.1 - [0-9.]+ms \\(refused by the request "
                                     "limits\\)\n")))
            << server.log();
        if (fileLimit != 0) {
            EXPECT_NE(server.log().find("open-file limit leaves room for"), std::string::npos);
        }
    }
}

TEST_F(EchoServerTest, IdleConnectionIsClosedAfterTheTimeOut) {
    EchoServer server({"--locdb", "/nonexistent/location.db", "--timeout", "1"});
    ASSERT_NE(server.port(), 0) << server.log();
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(server.port()));
    inet_pton(AF_INET, "127.0.0.2", &address.sin_addr);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(write(fd, "GET ", 4), 4);  // and then nothing
    pollfd waiting{fd, POLLIN, 0};
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(poll(&waiting, 1, 8000), 1);
    char byte;
    EXPECT_LE(read(fd, &byte, 1), 0);  // closed, no answer
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    close(fd);
}

TEST_F(EchoServerTest, BadOptionsStopTheServer) {
    const std::string run = std::string(NICOPS_ECHO_PATH) + " 2>/dev/null ";
    EXPECT_EQ(WEXITSTATUS(std::system((run + "--listen nowhere").c_str())), 2);
    EXPECT_EQ(WEXITSTATUS(std::system((run + "--trust-proxy proxy.example").c_str())), 2);
    EXPECT_EQ(WEXITSTATUS(std::system((run + "--timeout 0").c_str())), 2);
    EXPECT_EQ(WEXITSTATUS(std::system((run + "--mmdb /nonexistent.mmdb").c_str())), 1);
}

TEST_F(EchoServerTest, RegionAndCityFromTheOperatorsCityDatabase) {
    TempDir dir;
    const auto mmdb = dir.write("city.mmdb", nicops::testing::MmdbFile::cityDatabase());
    EchoServer server(
        {"--locdb", "/nonexistent/location.db", "--mmdb", mmdb, "--trust-proxy", "127.0.0.5"});
    ASSERT_NE(server.port(), 0) << server.log();
    EXPECT_EQ(curl("127.0.0.5", server.url(), "-H 'X-Forwarded-For: 198.51.100.7'").body,
              utf8(u8"{\"ip\":\"198.51.100.7\",\"country\":\"中国\",\"region\":\"Guangdong\","
                   u8"\"city\":\"深圳\",\"as\":\"\"}"));
}

TEST_F(EchoServerTest, CountryAndNetworkFromTheInstalledDatabases) {
    if (!std::filesystem::exists(kLocDb)) {
        GTEST_SKIP() << "libloc-database is not installed (" << kLocDb << ")";
    }
    for (const auto& [language, country] :
         {std::pair<std::string, std::string>{"zh_CN", utf8(u8"美国")},
          std::pair<std::string, std::string>{"en", "United States"}}) {
        EchoServer server({"--lang", language, "--trust-proxy", "127.0.0.5"});
        ASSERT_NE(server.port(), 0) << server.log();
        const Reply reply = curl("127.0.0.5", server.url(), "-H 'X-Forwarded-For: 8.8.8.8'");
        EXPECT_EQ(reply.status, 200);
        EXPECT_TRUE(std::regex_match(
            reply.body, std::regex("\\{\"ip\":\"8\\.8\\.8\\.8\",\"country\":\"" + country +
                                   "\",\"region\":\"\",\"city\":\"\",\"as\":\"AS15169"
                                   "( [^\"]+)?\"\\}")))
            << language << ": " << reply.body;
        // A loopback caller is in no database: nothing is made up.
        EXPECT_EQ(curl("127.0.0.6", server.url()).body, emptyAnswer("127.0.0.6"));
    }
}

}  // namespace
