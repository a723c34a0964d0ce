// nicopsctl end to end: the real binary on a copy of the demo host.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <regex>

#include "support/temp_dir.h"

namespace {

using nicops::testing::TempDir;
using nicops::testing::utf8;

// Lines of UTF-8 output (the GBK text functions don't apply to it).
std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::vector<std::string> outLines() const { return splitLines(out); }
    // Log lines without their "HH:MM:SS：" stamps (UTF-8 colon: three bytes).
    std::vector<std::string> logMessages() const {
        std::vector<std::string> messages;
        for (const std::string& line : splitLines(err)) {
            EXPECT_TRUE(std::regex_search(line.substr(0, 8), std::regex("^\\d\\d:\\d\\d:\\d\\d$")))
                << line;
            EXPECT_EQ(line.substr(8, 3), utf8(u8"："));
            messages.push_back(line.substr(11));
        }
        return messages;
    }
};

class NicopsctlTest : public ::testing::Test {
protected:
    void SetUp() override {
        host_ = dir_.write("host.json", TempDir::read(std::string(NICOPS_SOURCE_DIR) +
                                                      "/tests/data/demo-host.json"));
    }

    CliRun run(const std::string& args, bool withHost = true) {
        const std::string errFile = (dir_.path() / "stderr.txt").string();
        const std::string command =
            "LC_ALL=C.UTF-8 " + std::string(NICOPSCTL_PATH) +
            (withHost ? " --sim '" + host_ + "' --config '" + dir_.path().string() + "' " : " ") +
            args + " 2>'" + errFile + "'";
        CliRun r;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[4096];
        std::size_t n = 0;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            r.out.append(buffer, n);
        }
        const int status = pclose(pipe);
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.err = TempDir::read(errFile);
        return r;
    }

    TempDir dir_;
    std::string host_;
};

TEST_F(NicopsctlTest, AdaptersListsIndexAndConnectionNameInComboOrder) {
    const CliRun r = run("adapters");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, utf8(u8"7\t以太网 2\n23\tWLAN\n12\t以太网\n"));
    EXPECT_EQ(r.err, "");
}

TEST_F(NicopsctlTest, ReportPrintsSeventeenLinesAndLogsTheLinkState) {
    const CliRun r = run("report --adapter 7");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto lines = r.outLines();
    ASSERT_EQ(lines.size(), 17U);
    EXPECT_EQ(lines[0], utf8(u8"连接名称：以太网 2"));
    EXPECT_EQ(lines[1], utf8(u8"网卡状态：已连接"));
    EXPECT_EQ(lines[4], utf8(u8"物理地址：0A-10-FF-00-01-02"));
    EXPECT_EQ(lines[6], utf8(u8"已启用DHCP：是"));
    EXPECT_EQ(lines[9], utf8(u8"DHCP服务器的IPv4地址链表：1"));
    EXPECT_EQ(lines[13], utf8(u8"首选DNS服务器：10.0.0.1"));
    EXPECT_EQ(lines[15], utf8(u8"DHCP获得租约时间：2025-12-08 08:00:00"));
    EXPECT_EQ(r.logMessages(),
              (std::vector<std::string>{
                  std::string(37, '-'), utf8(u8"以太网 2 媒体状态状态-已连接."),
                  utf8(u8"以太网 2 最大传输速度10000Mbps"), utf8(u8"以太网 2 最大传输单元9000.")}));
}

TEST_F(NicopsctlTest, ListPrintsRowsOfTheChosenKindsInTheirFixedOrder) {
    const CliRun r =
        run("list --adapter " + std::string("'") + utf8(u8"以太网") + "' --kinds gateway,ip");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto lines = r.outLines();
    ASSERT_EQ(lines.size(), 25U);
    EXPECT_EQ(lines[0], utf8(u8"1\t192.168.1.10\t255.255.255.0\t101\t1\t12\t\tIP-地址"));
    EXPECT_EQ(lines[24], utf8(u8"25\t192.168.1.1\t255.255.255.255\t1\t0\t12\t\tIP-网关"));
    EXPECT_EQ(r.logMessages(), (std::vector<std::string>{utf8(u8"以太网 共计24个IP-地址.")}));
}

TEST_F(NicopsctlTest, WithoutAdapterTheLastOneIsShown) {
    const CliRun r = run("list");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(splitLines(r.out).size(), 24U);
    EXPECT_EQ(r.logMessages(), (std::vector<std::string>{utf8(u8"以太网 共计24个IP-地址.")}));
    const CliRun wlan = run("list --adapter WLAN");
    EXPECT_EQ(wlan.out, "");  // its only address has context 0
    EXPECT_EQ(wlan.logMessages(), (std::vector<std::string>{utf8(u8"WLAN 共计0个IP-地址.")}));
}

TEST_F(NicopsctlTest, UsageErrorsExitWithTwoAndOneLine) {
    for (const char* args : {"", "frobnicate", "list --kinds ip,router", "list --adapter",
                             "adapters --adapter 7", "report --kinds ip", "list --bogus"}) {
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << r.err;
        EXPECT_NE(r.err.find("--help"), std::string::npos) << args;
    }
    const CliRun help = run("--help", false);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: nicopsctl"), std::string::npos);
}

TEST_F(NicopsctlTest, AnUnusableHostFileNamesTheFileAndTheReasonAndWritesNothing) {
    const std::string broken = dir_.write("broken.json", "{\"adapters\": [{\"index\": }");
    const CliRun r = run("--sim '" + broken + "' adapters", false);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(broken), std::string::npos);
    EXPECT_NE(r.err.find("not a valid JSON document"), std::string::npos);
    EXPECT_EQ(TempDir::read(broken), "{\"adapters\": [{\"index\": }");

    const CliRun missing = run("--sim /nonexistent/host.json adapters", false);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("/nonexistent/host.json"), std::string::npos);

    const CliRun unknown = run("report --adapter 99");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.out, "");
}

}  // namespace
