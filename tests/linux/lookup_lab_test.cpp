// The external-address lookup end to end through a source-NAT router: a host namespace with four
// addresses, a router that maps each of them to a public address of its own, and nicops-echo in a
// server namespace behind it. Every local address must come back with its own public address,
// which only happens when each request really leaves from the address it is made for.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "netns_lab.h"
#include "settings/app_settings.h"

namespace nicops::linux_test {
namespace {

std::string utf8(const char8_t* text) {
    return std::string(reinterpret_cast<const char*>(text));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// "local TAB external TAB location" lines, keyed by the local address.
std::map<std::string, std::string> externalByLocal(const std::string& table) {
    std::map<std::string, std::string> out;
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        const auto tab = line.find('\t');
        const auto second = tab == std::string::npos ? tab : line.find('\t', tab + 1);
        out[line.substr(0, tab)] =
            tab == std::string::npos ? "" : line.substr(tab + 1, second - tab - 1);
    }
    return out;
}

// Ends a process started in the background when the test is over (also when it fails).
struct ProcessGuard {
    long pid = 0;
    ~ProcessGuard() {
        if (pid > 0) {
            ::kill(static_cast<pid_t>(pid), SIGTERM);
        }
    }
};

TEST(LookupLabTest, EveryLocalAddressReportsThePublicAddressItIsTranslatedTo) {
    if (auto reason = namespaceSkipReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    if (runCommand("nft --version").status != 0) {
        GTEST_SKIP() << "the nft command (nftables) is missing";
    }
    for (const char* program : {NICOPSCTL_PATH, NICOPS_ECHO_PATH}) {
        if (!std::filesystem::exists(program)) {
            GTEST_SKIP() << program << " is not built";
        }
    }
    char pattern[] = "/tmp/nicops-lookup-XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    struct RemoveDir {
        std::string path;
        ~RemoveDir() { std::filesystem::remove_all(path); }
    } removeDir{dir};

    Netns host;
    Netns router;
    Netns server;
    ASSERT_TRUE(host.created() && router.created() && server.created());

    host.ip("link add lan0 type veth peer name in0 netns " + router.name());
    router.ip("link add out0 type veth peer name wan0 netns " + server.name());
    for (int last = 11; last <= 14; ++last) {
        host.ip("addr add 10.40.0." + std::to_string(last) + "/24 dev lan0");
    }
    host.ip("link set lan0 up");
    host.ip("route add default via 10.40.0.1 dev lan0");
    router.ip("addr add 10.40.0.1/24 dev in0");
    router.ip("addr add 203.0.113.1/24 dev out0");
    router.ip("link set in0 up");
    router.ip("link set out0 up");
    server.ip("addr add 203.0.113.2/24 dev wan0");
    server.ip("link set wan0 up");
    // The public addresses lie in the server's subnet but belong to no link, so nobody would
    // answer the server's neighbour queries for them: the answers go back through the router.
    server.ip("route add 203.0.113.8/29 via 203.0.113.1 dev wan0");

    const auto forwarding = router.exec("sysctl -w net.ipv4.ip_forward=1");
    ASSERT_EQ(forwarding.status, 0) << forwarding.output;
    std::string rules =
        "add table ip nat\n"
        "add chain ip nat post { type nat hook postrouting priority 100; }\n";
    for (int last = 11; last <= 14; ++last) {
        rules += "add rule ip nat post ip saddr 10.40.0." + std::to_string(last) +
                 " snat to 203.0.113." + std::to_string(last) + "\n";
    }
    { std::ofstream(dir + "/nat.nft") << rules; }
    const auto nat = router.exec("nft -f " + dir + "/nat.nft");
    if (nat.status != 0) {
        GTEST_SKIP() << "the kernel refuses source NAT in a namespace: " << nat.output;
    }

    ProcessGuard echo;
    const auto started = server.exec(std::string(NICOPS_ECHO_PATH) +
                                     " --listen 203.0.113.2:8080 --locdb /nonexistent >" + dir +
                                     "/echo.log 2>&1 & echo $!");
    echo.pid = std::strtol(started.output.c_str(), nullptr, 10);
    ASSERT_GT(echo.pid, 0) << started.output;
    bool listening = false;
    for (int i = 0; i < 100 && !listening; ++i) {
        listening = server.exec("ss -Hltn").output.find("203.0.113.2:8080") != std::string::npos;
        if (!listening) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ASSERT_TRUE(listening) << readFile(dir + "/echo.log");

    // The settings file is GBK, as the tree's narrow literals are.
    {
        std::ofstream(dir + "/UserConfig.ini", std::ios::binary)
            << "[" << settings::kSettingsSection << "]\r\n"
            << settings::kLookupServerKey << "=http://203.0.113.2:8080\r\n";
    }
    const auto lookup = [&](const std::string& options, const std::string& logName) {
        return host.exec("LC_ALL=C.UTF-8 " + std::string(NICOPSCTL_PATH) + " --config " + dir +
                         " lookup " + options + " 2>" + dir + "/" + logName);
    };

    const std::map<std::string, std::string> expected = {{"10.40.0.11", "203.0.113.11"},
                                                         {"10.40.0.12", "203.0.113.12"},
                                                         {"10.40.0.13", "203.0.113.13"},
                                                         {"10.40.0.14", "203.0.113.14"}};
    const auto oneByOne = lookup("", "one.log");
    const std::string oneLog = readFile(dir + "/one.log");
    EXPECT_EQ(oneByOne.status, 0) << oneByOne.output << oneLog;
    EXPECT_EQ(externalByLocal(oneByOne.output), expected) << oneByOne.output << oneLog;
    EXPECT_NE(oneLog.find(utf8(u8"查询所有网卡IP对应外网IP完毕,共计查询4个,查询成功4个.")),
              std::string::npos)
        << oneLog;

    const auto together = lookup("--concurrency 4", "four.log");
    const std::string fourLog = readFile(dir + "/four.log");
    EXPECT_EQ(together.status, 0) << together.output << fourLog;
    EXPECT_EQ(together.output, oneByOne.output) << fourLog;
    EXPECT_NE(fourLog.find(utf8(u8"查询所有网卡IP对应外网IP完毕,共计查询4个,查询成功4个.")),
              std::string::npos)
        << fourLog;

    // The endpoint saw the translated sources, never the private ones.
    const std::string served = readFile(dir + "/echo.log");
    EXPECT_EQ(served.find("10.40.0."), std::string::npos) << served;
}

}  // namespace
}  // namespace nicops::linux_test
