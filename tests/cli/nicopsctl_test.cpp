// nicopsctl end to end: the real binary on a copy of the demo host.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

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

std::string demoHost() {
    return TempDir::read(std::string(NICOPS_SOURCE_DIR) + "/tests/data/demo-host.json");
}

// `text` with every `from` replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// Runs a shell command whose stderr goes to `errFile`; its stdout is the run's output.
CliRun shell(const std::string& command, const std::string& errFile) {
    CliRun r;
    FILE* pipe = popen((command + " 2>'" + errFile + "'").c_str(), "r");
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

class NicopsctlTest : public ::testing::Test {
protected:
    void SetUp() override { host_ = dir_.write("host.json", demoHost()); }

    // Lease times are shown in local time; the expected ones are those of UTC+8.
    CliRun run(const std::string& args, bool withHost = true) {
        std::string command = "TZ=CST-8 LC_ALL=C.UTF-8 " + std::string(NICOPSCTL_PATH) + " ";
        if (withHost) {
            command += "--sim '" + host_ + "' --config '" + dir_.path().string() + "' ";
        }
        return shell(command + args, errFile());
    }

    std::string errFile() const { return (dir_.path() / "stderr.txt").string(); }

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
    const std::string file = dir_.write("settings-file", "");
    const std::string fifo = (dir_.path() / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& args :
         {std::string(), std::string("frobnicate"), std::string("list --kinds ip,router"),
          std::string("list --adapter"), std::string("adapters --adapter 7"),
          std::string("report --kinds ip"), std::string("list --bogus"), std::string("--sim="),
          std::string("list --adapter="), std::string("list --kinds="),
          std::string("list --adapterx=7"), std::string("--config= adapters"),
          "--config '" + file + "' adapters", "--config='" + fifo + "' adapters",
          "--config '" + file + "/sub' adapters"}) {
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << r.err;
        EXPECT_NE(r.err.find("--help"), std::string::npos) << args;
    }
    const CliRun help = run("--help", false);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: nicopsctl"), std::string::npos);
    const CliRun version = run("--version", false);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "nicopsctl " NICOPS_VERSION "\n");
}

TEST_F(NicopsctlTest, OptionValuesMayFollowAnEqualsSignAndAMissingConfigFolderMeansDefaults) {
    const CliRun spaced = run("report --adapter 7");
    const CliRun joined = run(
        "--sim='" + host_ + "' --config='" + dir_.path().string() + "' report --adapter=7", false);
    EXPECT_EQ(joined.exitCode, 0) << joined.err;
    EXPECT_EQ(joined.out, spaced.out);
    ASSERT_FALSE(joined.out.empty());

    const CliRun kinds = run("list --kinds=gateway,dhcp --adapter=7");
    EXPECT_EQ(kinds.exitCode, 0) << kinds.err;
    EXPECT_EQ(kinds.outLines().size(), 2U);

    const CliRun missing =
        run("--config '" + (dir_.path() / "not-yet" / "nicops").string() + "' adapters");
    EXPECT_EQ(missing.exitCode, 0) << missing.err;
    EXPECT_EQ(missing.out, run("adapters").out);

    // A settings file that is a FIFO is not read (nothing waits for a writer): the defaults
    // hold and one log line says why.
    const std::string ini = (dir_.path() / "UserConfig.ini").string();
    ASSERT_EQ(mkfifo(ini.c_str(), 0600), 0);
    const CliRun fifo = run("--config '" + dir_.path().string() + "' adapters");
    EXPECT_EQ(fifo.exitCode, 0) << fifo.err;
    EXPECT_EQ(fifo.out, run("adapters").out);
    EXPECT_EQ(fifo.logMessages(),
              (std::vector<std::string>{utf8(u8"设置文件 ") + ini +
                                        utf8(u8" 不是普通文件，未读取，使用默认设置.")}));
}

// Report's first line names the connection of the adapter that was chosen.
TEST_F(NicopsctlTest, AdapterIsAnIndexThenAConnectionNameThenAnInterfaceName) {
    // Adapter 7 is called "12", adapter 12 has the interface name "WLAN", adapter 23 the
    // interface name "eth1" and the connection name "WLAN".
    std::string host = replaced(demoHost(), utf8(u8"\"以太网 2\""), "\"12\"");
    host = replaced(host, "{4F0C6B2A-0000-4000-8000-0000000000A1}", "WLAN");
    host = replaced(host, "{4F0C6B2A-0000-4000-8000-0000000000C3}", "eth1");
    host_ = dir_.write("names.json", host);
    const auto firstLine = [&](const std::string& selector) {
        const CliRun r = run("report --adapter '" + selector + "'");
        EXPECT_EQ(r.exitCode, 0) << selector << r.err;
        return r.outLines().empty() ? std::string() : r.outLines()[0];
    };
    EXPECT_EQ(firstLine("12"), utf8(u8"连接名称：以太网"));
    EXPECT_EQ(firstLine("WLAN"), utf8(u8"连接名称：WLAN"));
    EXPECT_EQ(firstLine("eth1"), utf8(u8"连接名称：WLAN"));
    EXPECT_EQ(firstLine("{4F0C6B2A-0000-4000-8000-0000000000B2}"), utf8(u8"连接名称：12"));
    EXPECT_EQ(run("report --adapter eth9").exitCode, 1);
}

TEST_F(NicopsctlTest, AnOutputThatCantBeWrittenExitsWithOneAndSaysSo) {
    for (const char* args : {"adapters >/dev/full", "adapters >&-", "--version >/dev/full",
                             "report --adapter 7 >&-"}) {
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 1) << args;
        EXPECT_NE(r.err.find("nicopsctl: cannot write the output"), std::string::npos)
            << args << r.err;
    }
    // The report's link-state lines follow the report only when it was written.
    EXPECT_EQ(run("report --adapter 7 >&-").err.find(utf8(u8"媒体状态")), std::string::npos);
    // An empty answer loses nothing.
    EXPECT_EQ(run("list --adapter WLAN >&-").exitCode, 0);

    // A reader that stops early: far more rows than a pipe holds.
    std::string rows;
    for (int i = 0; i < 6000; ++i) {
        rows += "{\"address\": \"10.200." + std::to_string(i / 250) + "." +
                std::to_string(i % 250 + 1) +
                "\", \"mask\": \"255.255.0.0\", \"context\": " + std::to_string(1000 + i) + "},";
    }
    std::string big = demoHost();  // adapter 7 is the first
    big.insert(big.find("\"ipAddresses\": [") + 16, rows);
    big = dir_.write("big.json", big);
    const std::string statusFile = (dir_.path() / "status").string();
    const CliRun cut = shell("{ LC_ALL=C.UTF-8 " + std::string(NICOPSCTL_PATH) + " --sim '" + big +
                                 "' list --adapter 7 2>'" + errFile() + "'; echo $? >'" +
                                 statusFile + "'; } | head -c1",
                             (dir_.path() / "shell-stderr.txt").string());
    EXPECT_EQ(cut.out.size(), 1U);
    EXPECT_EQ(TempDir::read(statusFile), "1\n");
    EXPECT_NE(TempDir::read(errFile()).find("cannot write the output (Broken pipe)"),
              std::string::npos)
        << TempDir::read(errFile());
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

#ifdef NICOPS_PATH

// The window program's command line, and its start where no display can be opened.
class NicopsTest : public NicopsctlTest {
protected:
    CliRun runNicops(const std::string& environment, const std::string& args) {
        return shell("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + environment +
                         " LC_ALL=C.UTF-8 " + std::string(NICOPS_PATH) + " " + args,
                     errFile());
    }
};

TEST_F(NicopsTest, VersionAndUsageErrorsComeBeforeTheWindow) {
    const CliRun version = runNicops("", "--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "nicops " NICOPS_VERSION "\n");
    const std::string file = dir_.write("settings-file", "");
    for (const std::string& args : {"--config '" + file + "'", "--config='" + file + "'",
                                    std::string("--sim="), std::string("--sim")}) {
        const CliRun r = runNicops("QT_QPA_PLATFORM=offscreen", args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_NE(r.err.find("see nicops --help"), std::string::npos) << args << r.err;
    }
}

TEST_F(NicopsTest, WithoutADisplayItExitsWithOneAndPointsToNicopsctl) {
    const std::string options = "--sim='" + host_ + "' --config='" + dir_.path().string() + "'";
    for (const std::string& environment : {std::string(), std::string("DISPLAY=:99999")}) {
        const CliRun r = runNicops(environment, options);
        EXPECT_EQ(r.exitCode, 1) << environment;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("nicops: cannot open the display", 0), 0U) << r.err;
        EXPECT_NE(r.err.find("nicopsctl adapters"), std::string::npos) << r.err;
    }
}

#endif

}  // namespace
