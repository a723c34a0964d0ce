// What nicopsctl says and leaves behind when its files can't be written: a full disk under the
// store and the settings file (a 64 KiB tmpfs in a private mount namespace), a store folder that
// is mounted read-only, and an add without CAP_NET_ADMIN inside a network namespace of the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "netns_lab.h"
#include "platform/file_store.h"

namespace nicops::linux_test {
namespace {

namespace fs = std::filesystem;

std::string utf8(const char8_t* text) {
    return std::string(reinterpret_cast<const char*>(text));
}

// The log lines of nicopsctl's output without their time stamps, the other lines as they are.
std::vector<std::string> messages(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    const std::string stamp = utf8(u8"：");
    for (std::string line; std::getline(in, line);) {
        const std::size_t cut = line.find(stamp);
        lines.push_back(cut == 8 ? line.substr(cut + stamp.size()) : line);
    }
    return lines;
}

// The last `n` lines.
std::vector<std::string> last(const std::vector<std::string>& lines, std::size_t n) {
    return {lines.end() - static_cast<std::ptrdiff_t>(std::min(n, lines.size())), lines.end()};
}

std::set<std::string> listing(const std::string& text) {
    std::set<std::string> names;
    std::istringstream in(text);
    for (std::string name; std::getline(in, name);) {
        names.insert(name);
    }
    return names;
}

std::string storedList(const std::string& store, const std::string& adapterName) {
    return platform::FileStore(store).readMultiString(
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\" +
            adapterName,
        "IPAddress");
}

class FileFaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root to mount a file system in a mount namespace of its own";
        }
        if (!fs::exists(NICOPSCTL_PATH)) {
            GTEST_SKIP() << NICOPSCTL_PATH << " is not built";
        }
        host_ = (dir_.path / "host.json").string();
        std::ofstream(host_) << readText(fs::path(NICOPS_SOURCE_DIR) / "tests/data/demo-host.json");
        fs::create_directory(dir_.path / "out");
    }

    // Runs `script` in a private mount namespace; $CTL is nicopsctl on the demo host, $D the
    // test's folder. The script's mounts end with it.
    CommandResult script(const std::string& body) {
        const std::string ctl = "env LC_ALL=C.UTF-8 " + std::string(NICOPSCTL_PATH) + " --sim " +
                                host_ + " --config " + out("config");
        const auto start = std::chrono::steady_clock::now();
        auto result =
            runCommand("unshare -m --propagation private sh -c " +
                       shellQuote("D=" + dir_.path.string() + "; CTL='" + ctl + "'; " + body));
        std::printf("[ took ] %.0f ms\n", std::chrono::duration<double, std::milli>(
                                              std::chrono::steady_clock::now() - start)
                                              .count());
        return result;
    }
    std::string out(const std::string& name) const { return (dir_.path / "out" / name).string(); }

    TempFolder dir_{"nicops-faults"};
    std::string host_;
};

TEST_F(FileFaultsTest, AFullDiskKeepsTheOldStoreAndSettingsFileAndSaysSo) {
    const auto r = script(
        "set -e; mkdir $D/full; mount -t tmpfs -o size=64k nicops-full $D/full; "
        "$CTL --store $D/full/store.json add --adapter 7 10.0.0.50 2>/dev/null; "
        "printf old | $CTL --config $D/full preset 1 --set; "
        "cp $D/full/store.json $D/out/store.before; cp $D/full/UserConfig.ini $D/out/ini.before; "
        "head -c 1M /dev/zero > $D/full/fill 2>/dev/null || true; "
        "$CTL --store $D/full/store.json add --adapter 7 10.0.0.51 10.0.0.52 "
        "  > $D/out/add.log 2>&1 || echo add failed; "
        "printf new | $CTL --config $D/full preset 1 --set > $D/out/preset.log 2>&1 "
        "  || echo preset refused; "
        "ls -A $D/full > $D/out/listing; rm $D/full/fill; cp $D/full/store.json "
        "$D/full/UserConfig.ini $D/out/");
    EXPECT_EQ(r.output, "preset refused\n");
    const std::string full = (dir_.path / "full").string();
    // The addresses were added (the host file is elsewhere); only the store failed, saying which
    // file and why.
    const auto lines = messages(readText(out("add.log")));
    EXPECT_NE(std::find(lines.begin(), lines.end(), utf8(u8"添加IP-地址 10.0.0.52 成功.")),
              lines.end());
    EXPECT_EQ(last(lines, 5),
              (std::vector<std::string>{utf8(u8"添加IP完成，添加成功2，添加失败0。"),
                                        utf8(u8"开始刷新系统储存..."), utf8(u8"储存IP地址失败！"),
                                        utf8(u8"设置储存 ") + full + "/store.json " +
                                            utf8(u8"无法写入：") +
                                            "cannot write a temporary file beside " + full +
                                            "/store.json: No space left on device",
                                        utf8(u8"储存子网掩码失败！")}));
    EXPECT_EQ(readText(out("preset.log")),
              "nicopsctl: cannot write " + full + "/UserConfig.ini (cannot write a temporary " +
                  "file beside " + full + "/UserConfig.ini: No space left on device)\n");
    // Nothing half written: the old files byte for byte, no temporary file beside them.
    EXPECT_EQ(readText(out("store.json")), readText(out("store.before")));
    EXPECT_EQ(readText(out("UserConfig.ini")), readText(out("ini.before")));
    EXPECT_EQ(listing(readText(out("listing"))),
              (std::set<std::string>{"UserConfig.ini", "fill", "store.json", "store.json.lock"}));
}

TEST_F(FileFaultsTest, AReadOnlyStoreFolderFailsTheStoreAfterEveryAddressIsReported) {
    const auto r = script(
        "set -e; mkdir $D/ro; $CTL --store $D/ro/store.json add --adapter 7 10.0.0.50 "
        "  2>/dev/null; cp $D/ro/store.json $D/out/store.before; "
        "mount --bind $D/ro $D/ro; mount -o remount,bind,ro $D/ro; "
        "$CTL --store $D/ro/store.json add --adapter 7 10.0.0.51 10.0.0.52 > $D/out/add.log 2>&1; "
        "$CTL --store $D/ro/new.json add --adapter 7 10.0.0.53 > $D/out/new.log 2>&1; "
        "ls -A $D/ro > $D/out/listing");
    EXPECT_EQ(r.status, 0) << r.output;
    const std::string ro = (dir_.path / "ro").string();
    const auto lines = messages(readText(out("add.log")));
    EXPECT_NE(std::find(lines.begin(), lines.end(), utf8(u8"添加IP-地址 10.0.0.51 成功.")),
              lines.end());
    EXPECT_EQ(last(lines, 4),
              (std::vector<std::string>{utf8(u8"开始刷新系统储存..."), utf8(u8"储存IP地址失败！"),
                                        utf8(u8"设置储存 ") + ro + "/store.json " +
                                            utf8(u8"无法写入：") + "cannot open " + ro +
                                            "/store.json.lock: Read-only file system",
                                        utf8(u8"储存子网掩码失败！")}));
    // A store that isn't there yet: the line names the lock file it could not create.
    EXPECT_EQ(last(messages(readText(out("new.log"))), 2).front(),
              utf8(u8"设置储存 ") + ro + "/new.json " + utf8(u8"无法写入：") + "cannot create " +
                  ro + "/new.json.lock: Read-only file system");
    EXPECT_EQ(readText(ro + "/store.json"), readText(out("store.before")));
    EXPECT_EQ(listing(readText(out("listing"))),
              (std::set<std::string>{"store.json", "store.json.lock"}));
}

TEST_F(FileFaultsTest, WithoutNetworkRightsEveryAddressIsRefusedAndTheStoreHoldsTheLinkOnly) {
    if (auto reason = namespaceSkipReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    Netns lab;
    ASSERT_TRUE(lab.created());
    lab.ip("link add lan0 type veth peer name lan0p");
    lab.ip("link set lan0 up");
    lab.ip("addr add 10.9.0.5/24 dev lan0");
    const std::string store = out("store.json");
    const std::string ctl = "env LC_ALL=C.UTF-8 " + std::string(NICOPSCTL_PATH) + " --config " +
                            out("config") + " --store " + store + " add --adapter " +
                            std::to_string(lab.indexOf("lan0")) + " ";
    // An earlier add with the rights stored the link's two addresses.
    ASSERT_EQ(lab.exec(ctl + "10.9.0.7").status, 0);
    const std::string before = readText(store);
    const auto start = std::chrono::steady_clock::now();
    const auto r =
        lab.exec("setpriv --inh-caps=-all --bounding-set=-net_admin " + ctl + "'10.9.0.{10-12}'");
    std::printf("[ took ] %.0f ms\n",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
    EXPECT_EQ(r.status, 0) << r.output;
    const auto lines = messages(r.output);
    ASSERT_GE(lines.size(), 5U) << r.output;
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 5),
              (std::vector<std::string>{utf8(u8"开始添加IP...."),
                                        utf8(u8"更改IP地址需要root权限或CAP_NET_ADMIN能力."),
                                        utf8(u8"添加IP-地址 10.9.0.10 失败,返回代码1."),
                                        utf8(u8"添加IP-地址 10.9.0.11 失败,返回代码1."),
                                        utf8(u8"添加IP-地址 10.9.0.12 失败,返回代码1.")}))
        << r.output;
    EXPECT_EQ(last(lines, 4),
              (std::vector<std::string>{utf8(u8"添加IP完成，添加成功0，添加失败3。"),
                                        utf8(u8"开始刷新系统储存..."), utf8(u8"储存IP地址成功."),
                                        utf8(u8"储存子网掩码成功.")}));
    EXPECT_EQ(lab.ipv4Addresses("lan0"), (std::vector<std::string>{"10.9.0.5/24", "10.9.0.7/24"}));
    // What the store holds is what the link carries: none of the refused addresses.
    EXPECT_EQ(storedList(store, "lan0"), "10.9.0.5\r\n10.9.0.7\r\n\r\n");
    EXPECT_EQ(readText(store), before);
}

}  // namespace
}  // namespace nicops::linux_test
