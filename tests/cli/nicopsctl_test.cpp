// nicopsctl end to end: the real binary on a copy of the demo host.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "external/loopback_http_server.h"
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
    void SetUp() override { host_ = dir_.write("host.json", nicops::testing::demoHostText()); }

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
    std::string host = replaced(nicops::testing::demoHostText(), utf8(u8"\"以太网 2\""), "\"12\"");
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
    std::string big = nicops::testing::demoHostText();  // adapter 7 is the first
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

// ---- --json -------------------------------------------------------------------------------------

using Json = nlohmann::json;

// The document of a run (a document that doesn't parse, invalid UTF-8 included, is discarded).
Json documentOf(const CliRun& r) {
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    return Json::parse(r.out, nullptr, false);
}

// The JSON answers hold what the text shows, on every adapter, and the log is the same.
TEST_F(NicopsctlTest, JsonDocumentsHoldWhatTheTextShows) {
    const Json adapters = documentOf(run("adapters --json"));
    ASSERT_FALSE(adapters.is_discarded());
    std::vector<std::string> adapterLines;
    for (const Json& a : adapters["adapters"]) {
        adapterLines.push_back(std::to_string(a["index"].get<int>()) + "\t" +
                               a["connection_name"].get<std::string>());
    }
    EXPECT_EQ(adapterLines, run("adapters").outLines());

    const std::map<std::string, std::string> kindTexts = {{"ip", utf8(u8"IP-地址")},
                                                          {"gateway", utf8(u8"IP-网关")},
                                                          {"dhcp", utf8(u8"DHCP-IP")},
                                                          {"wins1", utf8(u8" 主-WINS-IP")},
                                                          {"wins2", utf8(u8"辅-WINS-IP")}};
    for (const Json& a : adapters["adapters"]) {
        const std::string index = std::to_string(a["index"].get<int>());
        const std::string list = "list --adapter " + index + " --kinds ip,gateway,dhcp,wins1,wins2";
        const CliRun text = run(list);
        const CliRun json = run(list + " --json");
        const Json doc = documentOf(json);
        ASSERT_FALSE(doc.is_discarded()) << index;
        EXPECT_EQ(doc["adapter"], a);
        std::vector<std::string> rows;
        for (const Json& row : doc["rows"]) {
            rows.push_back(std::to_string(row["id"].get<int>()) + "\t" +
                           row["address"].get<std::string>() + "\t" +
                           row["mask"].get<std::string>() + "\t" +
                           std::to_string(row["context"].get<std::int64_t>()) + "\t" +
                           std::to_string(row["next"].get<int>()) + "\t" +
                           std::to_string(row["adapter_index"].get<int>()) + "\t" +
                           row["external_address"].get<std::string>() + "\t" +
                           kindTexts.at(row["kind"].get<std::string>()));
        }
        EXPECT_EQ(rows, text.outLines()) << index;
        EXPECT_EQ(json.logMessages(), text.logMessages()) << index;

        const CliRun reportText = run("report --adapter " + index);
        const CliRun reportJson = run("report --json --adapter " + index);
        const Json report = documentOf(reportJson)["report"];
        const auto yes = [&](const char* name) {
            return report[name].get<bool>() ? utf8(u8"是") : utf8(u8"否");
        };
        const auto count = [&](const char* name) {
            return std::to_string(report[name].get<int>());
        };
        const auto field = [&](const char* name) { return report[name].get<std::string>(); };
        EXPECT_EQ((std::vector<std::string>{
                      utf8(u8"连接名称：") + field("connection_name"),
                      utf8(u8"网卡状态：") + field("status"),
                      utf8(u8"适配器描述：") + field("description"),
                      utf8(u8"适配器名称：") + field("interface_name"),
                      utf8(u8"物理地址：") + field("physical_address"),
                      utf8(u8"适配器类型：") + field("type"),
                      utf8(u8"已启用DHCP：") + yes("dhcp_enabled"),
                      utf8(u8"IPv4地址链表：") + count("address_count"),
                      utf8(u8"IPv4网关地址链表：") + count("gateway_count"),
                      utf8(u8"DHCP服务器的IPv4地址链表：") + count("dhcp_server_count"),
                      utf8(u8"使用WINS服务器：") + yes("wins_enabled"),
                      utf8(u8"主WINS服务器：") + count("primary_wins_count"),
                      utf8(u8"辅WINS服务器：") + count("secondary_wins_count"),
                      utf8(u8"首选DNS服务器：") + field("primary_dns"),
                      utf8(u8"备用DNS服务器：") + field("secondary_dns"),
                      utf8(u8"DHCP获得租约时间：") + field("lease_obtained"),
                      utf8(u8"DHCP租约过期时间：") + field("lease_expires")}),
                  reportText.outLines())
            << index;
        EXPECT_EQ(reportJson.logMessages(), reportText.logMessages()) << index;
    }

    // A command that can't run says so on stderr as ever, and in the document; usage errors
    // stay text.
    const CliRun unknown = run("report --adapter 99 --json");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(documentOf(unknown), Json({{"error", "no adapter '99'"}}));
    EXPECT_EQ(unknown.err, "nicopsctl: no adapter '99'\n");
    for (const char* args :
         {"export --json", "restore --json", "delete --dry-run 10.0.0.5", "list --no-store"}) {
        const CliRun usage = run(args);
        EXPECT_EQ(usage.exitCode, 2) << args;
        EXPECT_EQ(usage.out, "") << args;
    }
}

// ---- operations: add, delete, restore, presets --------------------------------------------------

// What the refresh of an operation logs for the demo host's adapter 7 holding `count` addresses.
std::vector<std::string> refreshLines(int count) {
    return {"nicops " NICOPS_VERSION + utf8(u8" 多IP网卡管理工具"),
            utf8(u8"以太网 2 共计") + std::to_string(count) + utf8(u8"个IP-地址."),
            std::string(37, '-'),
            utf8(u8"以太网 2 媒体状态状态-已连接."),
            utf8(u8"以太网 2 最大传输速度10000Mbps"),
            utf8(u8"以太网 2 最大传输单元9000."),
            utf8(u8"刷新显示完成.")};
}

std::vector<std::string> storedLines() {
    return {utf8(u8"开始刷新系统储存..."), utf8(u8"储存IP地址成功."), utf8(u8"储存子网掩码成功.")};
}

std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

class NicopsctlOperationTest : public NicopsctlTest {
protected:
    // The store beside the host file, as nicopsctl chooses it without --store.
    std::string storeFile() const { return host_ + ".store.json"; }

    // The stored items of a value of adapter 7, one per line.
    std::string storedItems(const std::string& valueName) {
        const std::string store = TempDir::read(storeFile());
        const std::size_t value = store.find("\"" + valueName + "\"");
        if (value == std::string::npos) {
            return "<missing>";
        }
        const std::size_t open = store.find('[', value);
        const std::size_t close = store.find(']', open);
        std::string items;
        for (const std::string& line : splitLines(store.substr(open + 1, close - open - 1))) {
            const std::size_t first = line.find('"');
            if (first != std::string::npos) {
                items += line.substr(first + 1, line.rfind('"') - first - 1) + "\n";
            }
        }
        return items;
    }

    std::string listed(const std::string& adapter = "7") {
        std::string addresses;
        for (const std::string& line : run("list --adapter " + adapter).outLines()) {
            const std::size_t a = line.find('\t');
            const std::size_t b = line.find('\t', a + 1);
            const std::size_t c = line.find('\t', b + 1);
            addresses += line.substr(a + 1, c - a - 1) + "\n";  // address TAB mask
        }
        return addresses;
    }
};

TEST_F(NicopsctlOperationTest, AddLogsEachAddressRefreshesSummarisesAndStores) {
    const CliRun r =
        run("add --adapter 7 --mask 255.255.0.0 '10.0.0.{11-12}' 10.0.0.5 'x y' "
            "'10.0.0.{3-3}' '10.0.0.{255-256}'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.logMessages(),
              joined({{utf8(u8"开始添加IP...."), utf8(u8"添加IP-地址 10.0.0.11 成功."),
                       utf8(u8"添加IP-地址 10.0.0.12 成功."),
                       utf8(u8"添加IP-地址 10.0.0.5 失败,该ip已存在."),
                       utf8(u8"添加IP-地址地址格式输入错误！"), utf8(u8"添加IP-地址地址范围错误！"),
                       utf8(u8"添加IP-地址 10.0.0.255 成功."),
                       utf8(u8"添加IP-地址 10.0.0.256 失败,返回代码87.")},
                      refreshLines(9),
                      {utf8(u8"添加IP完成，添加成功3，添加失败2。")},
                      storedLines()}));
    EXPECT_EQ(storedItems("IPAddress"),
              "10.0.0.5\n10.0.0.6\n10.0.0.7\n10.0.0.8\n10.0.0.9\n10.0.0.10\n10.0.0.11\n"
              "10.0.0.12\n10.0.0.255\n");
    EXPECT_EQ(storedItems("SubnetMask"), replaced(std::string(6, 'm'), "m", "255.255.255.0\n") +
                                             replaced(std::string(3, 'm'), "m", "255.255.0.0\n"));
}

TEST_F(NicopsctlOperationTest, AddReadsStandardInputAndProposesTheStoredMask) {
    // A first add stores the adapter's masks; the next one without --mask takes the first.
    ASSERT_EQ(run("add --adapter 12 --mask 255.255.0.0 192.168.1.40").exitCode, 0);
    ASSERT_EQ(
        shell("printf '192.168.1.{41-42}\\r\\n\\n192.168.1.43\\n' | TZ=CST-8 LC_ALL=C.UTF-8 " +
                  std::string(NICOPSCTL_PATH) + " --sim '" + host_ + "' add --adapter 12",
              errFile())
            .exitCode,
        0);
    const std::vector<std::string> log = CliRun{0, "", TempDir::read(errFile())}.logMessages();
    ASSERT_GE(log.size(), 5U);
    // The empty line between the two is an entry of its own; the final line end adds none.
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 5),
              (std::vector<std::string>{
                  utf8(u8"开始添加IP...."), utf8(u8"添加IP-地址 192.168.1.41 成功."),
                  utf8(u8"添加IP-地址 192.168.1.42 成功."), utf8(u8"添加IP-地址地址格式输入错误！"),
                  utf8(u8"添加IP-地址 192.168.1.43 成功.")}));
    const std::string rows = listed("12");
    EXPECT_NE(rows.find("192.168.1.40\t255.255.0.0\n"), std::string::npos) << rows;
    // The demo adapter's first stored mask is 255.255.255.0 (its addresses come first).
    EXPECT_NE(rows.find("192.168.1.43\t255.255.255.0\n"), std::string::npos) << rows;
}

TEST_F(NicopsctlOperationTest, AddWithProbeSkipsAnsweringAddressesUncounted) {
    // 10.0.0.12 answers echo requests (among whatever the demo host lets answer).
    const std::string demo = nicops::testing::demoHostText();
    dir_.write("host.json",
               demo.find("\"answering\": [") != std::string::npos
                   ? replaced(demo, "\"answering\": [", "\"answering\": [\"10.0.0.12\", ")
                   : replaced(demo, "\"refuse\"", "\"answering\": [\"10.0.0.12\"], \"refuse\""));
    const CliRun r = run("add --adapter 7 --probe --json '10.0.0.{11-13}'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Json doc = documentOf(r);
    EXPECT_EQ(doc["results"][1]["outcome"], "in_use");
    EXPECT_EQ(doc["results"][1]["code"], nullptr);
    EXPECT_EQ(doc["counts"], Json({{"succeeded", 2}, {"failed", 0}}));
    const auto log = r.logMessages();
    EXPECT_EQ(
        std::vector<std::string>(log.begin(), log.begin() + 4),
        (std::vector<std::string>{utf8(u8"开始添加IP...."), utf8(u8"添加IP-地址 10.0.0.11 成功."),
                                  utf8(u8"添加IP-地址 10.0.0.12 失败,该ip可能已被占用."),
                                  utf8(u8"添加IP-地址 10.0.0.13 成功.")}));
    EXPECT_NE(std::find(log.begin(), log.end(), utf8(u8"添加IP完成，添加成功2，添加失败0。")),
              log.end());
    // Without --probe the same address is added.
    EXPECT_EQ(run("add --adapter 7 10.0.0.12").logMessages()[1],
              utf8(u8"添加IP-地址 10.0.0.12 成功."));
}

TEST_F(NicopsctlOperationTest, DeleteSelectsTheNamedAddressRowsInListOrder) {
    const CliRun r = run("delete --adapter 7 10.0.0.9 10.0.0.1 10.0.0.6 10.0.0.9");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // 10.0.0.1 is the gateway: with only addresses listed it is no row of the list.
    EXPECT_EQ(r.logMessages(),
              joined({{utf8(u8"以太网 2 共计6个IP-地址."),
                       utf8(u8"删除IP-地址 10.0.0.1 失败,列表中没有该地址."),
                       utf8(u8"已经开始启用选中项目,请稍后..."), utf8(u8"成功删除IP-地址 10.0.0.6"),
                       utf8(u8"成功删除IP-地址 10.0.0.9")},
                      refreshLines(4),
                      {utf8(u8"删除选中项目完成,共计选中2条,符合启用条件2条,其中成功2 失败0.")},
                      storedLines()}));
    EXPECT_EQ(storedItems("IPAddress"), "10.0.0.5\n10.0.0.7\n10.0.0.8\n10.0.0.10\n");
    EXPECT_EQ(listed(),
              "10.0.0.5\t255.255.255.0\n10.0.0.7\t255.255.255.0\n10.0.0.8\t255.255.255.0\n"
              "10.0.0.10\t255.255.255.0\n");
}

TEST_F(NicopsctlOperationTest, DeleteOfUnknownAddressesOnlyRunsWithNothingSelected) {
    const CliRun r = run("delete --adapter 7 10.9.9.9");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.logMessages(),
              (std::vector<std::string>{utf8(u8"以太网 2 共计6个IP-地址."),
                                        utf8(u8"删除IP-地址 10.9.9.9 失败,列表中没有该地址."),
                                        utf8(u8"已经开始启用选中项目,请稍后..."),
                                        utf8(u8"没有选中任何要启用的项目！")}));
    EXPECT_FALSE(std::filesystem::exists(storeFile()));
}

// add and delete --json hand back each address as its log line says it; --no-store and
// --dry-run leave the store (and, for the dry run, the host) as they were.
TEST_F(NicopsctlOperationTest, JsonResultsFollowTheLogAndTheStoreIsLeftWhenAsked) {
    // Each result as "ADDRESS-OR-ENTRY OUTCOME CODE", and the per-address log lines.
    const auto results = [](const Json& doc) {
        std::vector<std::string> said;
        for (const Json& r : doc["results"]) {
            said.push_back((r["address"].is_null() ? r["entry"] : r["address"]).get<std::string>() +
                           " " + r["outcome"].get<std::string>() + " " + r["code"].dump());
        }
        return said;
    };
    const auto resultLogs = [](const Json& doc) {
        std::vector<std::string> logs;
        for (const Json& r : doc["results"]) {
            logs.push_back(r["log"].get<std::string>());
        }
        return logs;
    };
    const auto addressLines = [](const CliRun& r, const std::string& start) {
        std::vector<std::string> lines;
        for (const std::string& line : r.logMessages()) {
            if (line.starts_with(start) || line.starts_with(utf8(u8"成功删除"))) {
                lines.push_back(line);
            }
        }
        return lines;
    };
    const CliRun add =
        run("add --json --adapter 7 --mask 255.255.0.0 '10.0.0.{11-12}' 10.0.0.5 'x y' "
            "'10.0.0.{3-3}' '10.0.0.{255-256}'");
    const Json added = documentOf(add);
    EXPECT_EQ(results(added), (std::vector<std::string>{
                                  "10.0.0.11 added 0", "10.0.0.12 added 0", "10.0.0.5 exists null",
                                  "x y invalid null", "10.0.0.{3-3} invalid null",
                                  "10.0.0.255 added 0", "10.0.0.256 failed 87"}));
    EXPECT_EQ(resultLogs(added), addressLines(add, utf8(u8"添加IP-地址")));
    EXPECT_EQ(added["results"][0]["mask"], "255.255.0.0");
    EXPECT_EQ(added["counts"], Json({{"succeeded", 3}, {"failed", 2}}));
    EXPECT_EQ(added["store_written"], true);
    EXPECT_EQ(added["adapter"]["index"], 7);

    const std::string stored = TempDir::read(storeFile());
    const CliRun del = run("delete --json --no-store --adapter 7 10.0.0.12 10.0.0.1");
    const Json deleted = documentOf(del);
    EXPECT_EQ(results(deleted),
              (std::vector<std::string>{"10.0.0.1 not_found null", "10.0.0.12 deleted 0"}));
    EXPECT_EQ(resultLogs(deleted), addressLines(del, utf8(u8"删除IP-地址")));
    EXPECT_EQ(deleted["results"][1]["mask"], "255.255.0.0");
    EXPECT_EQ(deleted["counts"], Json({{"selected", 1},
                                       {"qualifying", 1},
                                       {"succeeded", 1},
                                       {"failed", 0},
                                       {"not_found", 1}}));
    EXPECT_EQ(deleted["store_written"], false);
    EXPECT_EQ(TempDir::read(storeFile()), stored);
    ASSERT_EQ(run("add --no-store --adapter 7 10.0.0.30").exitCode, 0);
    EXPECT_EQ(TempDir::read(storeFile()), stored);
    EXPECT_NE(listed().find("10.0.0.30\t"), std::string::npos);

    const std::string hostBefore = TempDir::read(host_);
    const std::string lines = "'10.0.0.{11-13}' 10.0.0.30 192.168.1.10 'x y' '10.0.0.{3-3}'";
    const CliRun dry = run("add --dry-run --adapter 7 " + lines);
    const CliRun dryJson = run("add --dry-run --json --adapter 7 " + lines);
    const std::vector<std::string> said = {
        "10.0.0.11\tpresent",   "10.0.0.12\tabsent", "10.0.0.13\tabsent",    "10.0.0.30\tpresent",
        "192.168.1.10\tabsent", "x y\tinvalid",      "10.0.0.{3-3}\tinvalid"};
    EXPECT_EQ(dry.outLines(), said);
    std::vector<std::string> saidJson;
    const Json dryDoc = documentOf(dryJson);
    for (const Json& r : dryDoc["results"]) {
        saidJson.push_back((r["address"].is_null() ? r["entry"] : r["address"]).get<std::string>() +
                           "\t" + r["outcome"].get<std::string>());
    }
    EXPECT_EQ(saidJson, said);
    EXPECT_EQ(dry.err + dryJson.err, "");
    EXPECT_EQ(TempDir::read(host_), hostBefore);
    EXPECT_EQ(TempDir::read(storeFile()), stored);
}

TEST_F(NicopsctlOperationTest, RestoreBringsBackWhatAnotherHostFileLost) {
    const std::string original = TempDir::read(host_);
    ASSERT_EQ(run("add --adapter 7 --mask 255.255.0.0 '10.0.0.{11-12}'").exitCode, 0);
    dir_.write("host.json", original);  // the added addresses are gone, as after a restart
    const CliRun r = run("restore");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto log = r.logMessages();
    ASSERT_GE(log.size(), 5U);
    EXPECT_EQ(
        std::vector<std::string>(log.begin(), log.begin() + 3),
        (std::vector<std::string>{utf8(u8"开始恢复IP...."), utf8(u8"恢复IP-地址 10.0.0.11 成功."),
                                  utf8(u8"恢复IP-地址 10.0.0.12 成功.")}));
    EXPECT_EQ(log.back(), utf8(u8"恢复IP完成，恢复成功2，恢复失败0。"));
    EXPECT_NE(listed().find("10.0.0.11\t255.255.0.0\n10.0.0.12\t255.255.0.0\n"), std::string::npos);
    // Nothing is missing any more.
    EXPECT_EQ(run("restore").logMessages().back(), utf8(u8"恢复IP完成，恢复成功0，恢复失败0。"));
}

TEST_F(NicopsctlOperationTest, StoreOptionChoosesTheStoreFileAndACorruptOneIsKept) {
    const std::string chosen = (dir_.path() / "elsewhere" / "store.json").string();
    ASSERT_EQ(run("--store '" + chosen + "' add --adapter 7 10.0.0.11").exitCode, 0);
    EXPECT_TRUE(std::filesystem::exists(chosen));
    EXPECT_FALSE(std::filesystem::exists(storeFile()));

    const std::string corrupt = dir_.write("corrupt.json", "{\"HKEY");
    const CliRun r = run("--store='" + corrupt + "' add --adapter 7 10.0.0.12");
    EXPECT_EQ(r.exitCode, 0);
    const auto log = r.logMessages();
    ASSERT_EQ(log.size(), 14U);
    EXPECT_EQ(log[10], utf8(u8"开始刷新系统储存..."));
    EXPECT_EQ(log[11], utf8(u8"储存IP地址失败！"));
    EXPECT_NE(log[12].find(corrupt), std::string::npos) << log[12];
    EXPECT_EQ(log[13], utf8(u8"储存子网掩码失败！"));
    EXPECT_EQ(TempDir::read(corrupt), "{\"HKEY");
}

TEST_F(NicopsctlOperationTest, PresetsRoundTripThroughTheSettingsFile) {
    const std::string config = (dir_.path() / "new-config").string();
    const std::string ctl =
        "LC_ALL=C.UTF-8 " + std::string(NICOPSCTL_PATH) + " --config '" + config + "' ";
    EXPECT_EQ(
        shell("printf '10.0.0.{1-3}\\n\\347\\275\\221\\n10.0.1.5\\n' | " + ctl + "preset 2 --set",
              errFile())
            .exitCode,
        0);
    const CliRun shown = shell(ctl + "preset 2", errFile());
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.out, "10.0.0.{1-3}\n" + utf8(u8"网") + "\n10.0.1.5\n");
    // One Base64 line of the GBK text with its CR LF pairs.
    EXPECT_NE(
        TempDir::read(config + "/UserConfig.ini").find("MTAuMC4wLnsxLTN9DQrN+A0KMTAuMC4xLjU="),
        std::string::npos);
    const CliRun empty = shell(ctl + "preset 6", errFile());
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_EQ(empty.out, "");
}

TEST_F(NicopsctlOperationTest, OperationUsageErrorsAndHostsWithoutAdapters) {
    for (const std::string& args :
         {std::string("delete --adapter 7"), std::string("restore --adapter 7"),
          std::string("list --mask 255.0.0.0"), std::string("delete --probe 10.0.0.5"),
          std::string("preset"), std::string("preset 7"), std::string("preset 1 2"),
          std::string("add --set"), std::string("list 10.0.0.5"), std::string("add --store"),
          std::string("dhcp 10.0.0.5"), std::string("static 10.0.0.5 255.0.0.0 10.0.0.1"),
          std::string("static 10.0.0.5 255.0.0.0 10.0.0.1 1.1.1.1 1.0.0.1 9.9.9.9"),
          std::string("static 10.0.0.5 255.0.0.256 '' ''"),
          std::string("static 10.0.0.5 255.0.0.0 gateway ''")}) {
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_NE(r.err.find("--help"), std::string::npos) << args << r.err;
    }
    const std::string empty = dir_.write("empty.json", "{\"adapters\": []}");
    for (const std::string& args : {std::string("add 10.0.0.1"), std::string("delete 10.0.0.1")}) {
        const CliRun r = run("--sim '" + empty + "' " + args, false);
        EXPECT_EQ(r.exitCode, 1) << args;
    }
    EXPECT_EQ(run("add --adapter 99 10.0.0.1").exitCode, 1);
}

TEST_F(NicopsctlOperationTest, StaticSetsExactlyTheGivenValuesAndDhcpSwitchesBack) {
    // The values are read as the address boxes read them; "" leaves the DNS server out.
    const CliRun r = run("static --adapter 7 ' 010.1.2.3' 255.255.0.0 10.1.0.1 8.8.8.8 ''");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(listed(), "10.1.2.3\t255.255.0.0\n");
    const auto gateways = run("list --adapter 7 --kinds gateway").outLines();
    ASSERT_EQ(gateways.size(), 1U);
    EXPECT_NE(gateways[0].find("\t10.1.0.1\t"), std::string::npos) << gateways[0];
    auto report = run("report --adapter 7").outLines();
    ASSERT_EQ(report.size(), 17U);
    EXPECT_EQ(report[6], utf8(u8"已启用DHCP：否"));
    EXPECT_EQ(report[13], utf8(u8"首选DNS服务器：8.8.8.8"));
    EXPECT_EQ(report[14], utf8(u8"备用DNS服务器："));
    EXPECT_FALSE(std::filesystem::exists(storeFile()));  // the switch stores nothing

    const CliRun dhcp = run("dhcp --adapter 7");
    EXPECT_EQ(dhcp.exitCode, 0) << dhcp.err;
    EXPECT_EQ(dhcp.logMessages(),
              (std::vector<std::string>{utf8(u8"以太网 2 修改为自动获取IP成功.")}));
    report = run("report --adapter 7").outLines();
    ASSERT_EQ(report.size(), 17U);
    EXPECT_EQ(report[6], utf8(u8"已启用DHCP：是"));
}

TEST_F(NicopsctlOperationTest, SwitchesThatCantBeAppliedExitWithOneAndSayWhy) {
    dir_.write(
        "host.json",
        replaced(nicops::testing::demoHostText(), "\"friendlyName\": \"WLAN\",",
                 utf8(u8"\"friendlyName\": \"WLAN\", \"configurationRefused\": \"已拒绝\",")));
    const std::string before = TempDir::read(host_);
    const CliRun dhcp = run("dhcp --adapter WLAN");
    EXPECT_EQ(dhcp.exitCode, 1);
    EXPECT_EQ(dhcp.logMessages(),
              (std::vector<std::string>{utf8(u8"已拒绝"), utf8(u8"WLAN 修改为自动获取IP失败！")}));
    const CliRun refused = run("static --adapter WLAN 10.1.2.3 255.255.0.0 '' ''");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, utf8(u8"nicopsctl: 已拒绝\n"));
    const CliRun noMask = run("static --adapter 7 10.1.2.3 '' '' ''");
    EXPECT_EQ(noMask.exitCode, 1);
    EXPECT_EQ(noMask.err, utf8(u8"nicopsctl: 以太网 2 未修改: IP地址和子网掩码不能为空.\n"));
    const CliRun unknown = run("static --adapter 99 10.1.2.3 255.255.0.0 '' ''");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("no adapter '99'"), std::string::npos) << unknown.err;
    EXPECT_EQ(run("dhcp --adapter 99").exitCode, 1);
    EXPECT_EQ(TempDir::read(host_), before);
    EXPECT_EQ(
        run("--sim '" + dir_.write("empty.json", "{\"adapters\": []}") + "' dhcp", false).exitCode,
        1);
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

// Three loopback addresses on two adapters, and a settings file naming the lookup server.
class NicopsctlExternalTest : public NicopsctlTest {
protected:
    void SetUp() override {
        host_ = dir_.write("loopback.json", R"({"adapters": [
  {"index": 12, "adapterName": "eth0",
   "ipAddresses": [{"address": "127.0.0.2", "mask": "255.0.0.0", "context": 5},
                   {"address": "127.0.0.3", "mask": "255.255.0.0", "context": 6}]},
  {"index": 13, "adapterName": "eth1",
   "ipAddresses": [{"address": "127.0.0.4", "mask": "255.0.0.0", "context": 7}]}]})");
    }
    void useServer(const std::string& url) {
        dir_.write("UserConfig.ini", "[汐桉网卡操作]\r\n查询服务器=" + url + "\r\n");
    }
};

TEST_F(NicopsctlExternalTest, ExportPrintsTheCopyTextOfEveryAdapterAndLogsTheCount) {
    const CliRun plain = run("export");
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_EQ(plain.out, ":1080|mornlux|kvzt|\n:1080|mornlux|kvzt|\n:1080|mornlux|kvzt|\n");
    EXPECT_EQ(plain.logMessages().back(), utf8(u8"复制所有网卡IP完成,共计复制3个IP."));
    const CliRun custom = run(utf8(u8"export --format '{内网IP}/{内网掩码}'"));
    EXPECT_EQ(custom.out, "127.0.0.2/255.0.0.0\n127.0.0.3/255.255.0.0\n127.0.0.4/255.0.0.0\n");
}

TEST_F(NicopsctlExternalTest, LookupAsksFromEveryAddressAndPrintsWhatCameBack) {
    nicops::testing::LoopbackHttpServer server([](const std::string& peer, const std::string&) {
        return nicops::testing::httpResponse(
            peer == "127.0.0.3" ? 503 : 200,
            "{\"ip\":\"" + peer +
                utf8(u8"\",\"region\":\"广东\",\"city\":\"深圳\",\"as\":\"电信\"}"));
    });
    useServer(server.url());
    const CliRun r = run(utf8(u8"lookup --concurrency 2 --export --format '{内网IP}={外网IP}'"));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.outLines(), (std::vector<std::string>{
                                utf8(u8"127.0.0.2\t127.0.0.2\t广东深圳 电信"), "127.0.0.3\t\t",
                                utf8(u8"127.0.0.4\t127.0.0.4\t广东深圳 电信"),
                                "127.0.0.2=127.0.0.2", "127.0.0.3=", "127.0.0.4=127.0.0.4"}));
    const auto log = r.logMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         utf8(u8"查询所有网卡IP对应外网IP完毕,共计查询3个,查询成功2个.")),
              1);
    EXPECT_EQ(server.requests(), 3);

    dir_.write("UserConfig.ini", "");
    const CliRun none = run("lookup");
    EXPECT_EQ(none.outLines(),
              (std::vector<std::string>{"127.0.0.2\t\t", "127.0.0.3\t\t", "127.0.0.4\t\t"}));
    const auto noneLog = none.logMessages();
    EXPECT_NE(std::find(noneLog.begin(), noneLog.end(), utf8(u8"未设置查询服务器.")),
              noneLog.end());
}

TEST_F(NicopsctlExternalTest, OptionsOfTheOtherCommandAreUsageErrors) {
    for (const char* args : {"export --concurrency 2", "export --export", "lookup --concurrency 0",
                             "lookup --concurrency x", "lookup --format x", "list --format x",
                             "lookup --adapter 12", "export --adapter 12"}) {
        const CliRun r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_EQ(r.out, "") << args;
    }
}

}  // namespace
