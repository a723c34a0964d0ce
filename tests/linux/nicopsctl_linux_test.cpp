// nicopsctl end to end on the real kernel: run under `ip netns exec` in a namespace of the test,
// it must list and describe that namespace's links. Skips (saying why) while the program can't
// do its part yet.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "netns_lab.h"
#include "platform/file_store.h"

namespace nicops::linux_test {
namespace {

std::string utf8(const char8_t* text) {
    return std::string(reinterpret_cast<const char*>(text));
}

class NicopsctlLinuxTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (auto reason = namespaceSkipReason(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        if (!std::filesystem::exists(NICOPSCTL_PATH)) {
            GTEST_SKIP() << NICOPSCTL_PATH << " is not built";
        }
        char pattern[] = "/tmp/nicops-ctl-XXXXXX";
        configDir_ = ::mkdtemp(pattern);
        lab_.emplace();
        ASSERT_TRUE(lab_->created());
        lab_->ip("link add lan0 type veth peer name lan0p");
        lab_->ip("link set lan0 address 02:00:00:00:0a:0b mtu 1400 alias " +
                 shellQuote(utf8(u8"以太网 2")));
        lab_->ip("link set lan0 up");
        lab_->ip("link set lan0p up");
        lab_->ip("addr add 10.1.0.5/24 dev lan0");
        lab_->ip("addr add 10.1.0.6/24 dev lan0");
        lab_->ip("addr add 192.168.7.9/16 dev lan0");
        lab_->ip("route add default via 10.1.0.1 dev lan0");
        lan0_ = lab_->indexOf("lan0");
    }
    void TearDown() override {
        if (!configDir_.empty()) {
            std::filesystem::remove_all(configDir_);
        }
    }

    CommandResult nicopsctl(const std::string& args) {
        return lab_->exec("LC_ALL=C.UTF-8 " + std::string(NICOPSCTL_PATH) + " --config " +
                          configDir_ + " " + args);
    }

    std::optional<Netns> lab_;
    std::string configDir_;
    std::uint32_t lan0_ = 0;
};

TEST_F(NicopsctlLinuxTest, ListShowsTheLinksAddressesAndGateway) {
    const auto result =
        nicopsctl("list --adapter " + std::to_string(lan0_) + " --kinds ip,gateway");
    if (result.status != 0 || result.output.find('\t') == std::string::npos) {
        GTEST_SKIP() << "nicopsctl list gives nothing to check yet: " << result.output;
    }
    // Address, mask and context (the address as a number) side by side.
    EXPECT_NE(result.output.find("\t10.1.0.5\t255.255.255.0\t167837701\t"), std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("\t10.1.0.6\t255.255.255.0\t167837702\t"), std::string::npos)
        << result.output;
    // The list may show a context above 2^31 as a signed 32-bit number.
    EXPECT_TRUE(
        result.output.find("\t192.168.7.9\t255.255.0.0\t3232237321\t") != std::string::npos ||
        result.output.find("\t192.168.7.9\t255.255.0.0\t-1062729975\t") != std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("\t10.1.0.1\t255.255.255.255\t167837697\t"), std::string::npos)
        << result.output;
    EXPECT_EQ(result.output.find("127.0.0.1"), std::string::npos) << result.output;
}

TEST_F(NicopsctlLinuxTest, ReportDescribesTheLink) {
    const auto result = nicopsctl("report --adapter " + std::to_string(lan0_));
    if (result.status != 0 || result.output.find(utf8(u8"连接名称")) == std::string::npos) {
        GTEST_SKIP() << "nicopsctl report gives nothing to check yet: " << result.output;
    }
    for (const char8_t* line :
         {u8"连接名称：以太网 2", u8"网卡状态：已连接", u8"适配器描述：veth", u8"适配器名称：lan0",
          u8"物理地址：02-00-00-00-0A-0B", u8"适配器类型：以太网适配器", u8"已启用DHCP：否",
          u8"IPv4地址链表：3", u8"IPv4网关地址链表：1", u8"以太网 2 媒体状态状态-已连接.",
          u8"以太网 2 最大传输速度10000Mbps", u8"以太网 2 最大传输单元1400."}) {
        EXPECT_NE(result.output.find(utf8(line)), std::string::npos) << utf8(line) << "\n"
                                                                     << result.output;
    }
}

// ---- operations on the namespace's links ------------------------------------------------------

// The link's IPv4 addresses with prefix lengths, in the kernel's order.
std::vector<std::string> addressesOf(Netns& lab, const std::string& link) {
    return lab.ipv4Addresses(link);
}

bool has(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

bool logged(const CommandResult& result, const char8_t* message) {
    return result.output.find(utf8(u8"：") + utf8(message) + "\n") != std::string::npos;
}

class NicopsctlOperationLinuxTest : public NicopsctlLinuxTest {
protected:
    CommandResult operation(const std::string& args) {
        return nicopsctl("--store " + storePath() + " " + args);
    }
    std::string storePath() const { return configDir_ + "/store/store.json"; }
    std::string adapter() const { return "--adapter " + std::to_string(lan0_) + " "; }

    // The stored value of lan0, its items one per element.
    std::vector<std::string> stored(const std::string& valueName) {
        platform::FileStore store(storePath());
        const std::string text = store.readMultiString(
            "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\"
            "Interfaces\\lan0",
            valueName);
        std::vector<std::string> items;
        for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
             start = end + 2) {
            if (end > start) {
                items.push_back(text.substr(start, end - start));
            }
        }
        return items;
    }
};

// --json on the kernel: each address's answer as the kernel gave it, and the dry run and the
// list seeing what the link holds.
TEST_F(NicopsctlOperationLinuxTest, JsonGivesTheKernelsAnswerPerAddressAndTheDryRunSeesIt) {
    const auto document = [&](const std::string& args) {
        const auto r = operation(args + " --json 2>/dev/null");
        EXPECT_EQ(r.status, 0) << args << r.output;
        return nlohmann::json::parse(r.output, nullptr, false);
    };
    const auto outcomes = [](const nlohmann::json& doc) {
        std::vector<std::string> said;
        for (const auto& r : doc["results"]) {
            said.push_back(r["address"].get<std::string>() + " " + r["outcome"].get<std::string>() +
                           " " + r["code"].dump());
        }
        return said;
    };
    EXPECT_EQ(outcomes(document("add " + adapter() + "'10.1.0.{20-21}' 10.1.0.5")),
              (std::vector<std::string>{"10.1.0.20 added 0", "10.1.0.21 added 0",
                                        "10.1.0.5 exists null"}));
    // A range asks the kernel even for an address the link holds: EEXIST.
    EXPECT_EQ(outcomes(document("add " + adapter() + "'10.1.0.{21-22}'")),
              (std::vector<std::string>{"10.1.0.21 failed 17", "10.1.0.22 added 0"}));
    EXPECT_EQ(outcomes(document("add --dry-run " + adapter() + "'10.1.0.{22-23}' 10.1.0.6")),
              (std::vector<std::string>{"10.1.0.22 present null", "10.1.0.23 absent null",
                                        "10.1.0.6 present null"}));
    EXPECT_EQ(outcomes(document("delete --no-store " + adapter() + "10.1.0.20 10.1.0.99")),
              (std::vector<std::string>{"10.1.0.99 not_found null", "10.1.0.20 deleted 0"}));
    const nlohmann::json list = document("list " + adapter());
    std::vector<std::string> listed;
    for (const auto& row : list["rows"]) {
        listed.push_back(row["address"].get<std::string>() + "/" +
                         (row["mask"] == "255.255.0.0" ? "16" : "24"));
    }
    auto held = addressesOf(*lab_, "lan0");
    std::sort(listed.begin(), listed.end());
    std::sort(held.begin(), held.end());
    EXPECT_EQ(listed, held);
}

TEST_F(NicopsctlOperationLinuxTest, ARangeLandsWithTheChosenMaskAndNumbersAbove255Get87) {
    const auto r =
        operation("add " + adapter() + "--mask 255.255.0.0 '10.3.0.{20-22}' '10.3.1.{254-256}'");
    EXPECT_EQ(r.status, 0) << r.output;
    for (const char* address :
         {"10.3.0.20/16", "10.3.0.21/16", "10.3.0.22/16", "10.3.1.254/16", "10.3.1.255/16"}) {
        EXPECT_TRUE(has(addressesOf(*lab_, "lan0"), address)) << address << "\n" << r.output;
    }
    EXPECT_TRUE(logged(r, u8"添加IP-地址 10.3.1.255 成功.")) << r.output;
    EXPECT_TRUE(logged(r, u8"添加IP-地址 10.3.1.256 失败,返回代码87.")) << r.output;
    EXPECT_TRUE(logged(r, u8"添加IP完成，添加成功5，添加失败1。")) << r.output;
}

TEST_F(NicopsctlOperationLinuxTest, SingleEntriesAndAnAddressAnotherLinkCarries) {
    lab_->ip("link add lan1 type veth peer name lan1p");
    lab_->ip("addr add 10.4.0.5/24 dev lan1");
    const auto r =
        operation("add " + adapter() + "10.1.0.30 'not an address' 10.4.0.5 '10.4.0.{5-6}'");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(logged(r, u8"添加IP-地址 10.1.0.30 成功.")) << r.output;
    EXPECT_TRUE(logged(r, u8"添加IP-地址地址格式输入错误！")) << r.output;
    // The single entry is found in the snapshot; the range asks the kernel, which refuses it.
    EXPECT_TRUE(logged(r, u8"添加IP-地址 10.4.0.5 失败,该ip已存在.")) << r.output;
    EXPECT_TRUE(logged(r, u8"添加IP-地址 10.4.0.5 失败,返回代码17.")) << r.output;
    EXPECT_TRUE(logged(r, u8"添加IP-地址 10.4.0.6 成功.")) << r.output;
    // Nothing is stored yet, so the proposed mask is 255.255.255.0.
    EXPECT_TRUE(has(addressesOf(*lab_, "lan0"), "10.1.0.30/24"));
    EXPECT_EQ(addressesOf(*lab_, "lan1"), (std::vector<std::string>{"10.4.0.5/24"}));
}

TEST_F(NicopsctlOperationLinuxTest, ProbeSkipsTheAddressAPeerOwnsAndAddsTheSilentOnes) {
    Netns peer;
    ASSERT_TRUE(peer.created());
    lab_->ip("link set lan0p netns " + peer.name());
    peer.ip("addr add 10.1.0.40/24 dev lan0p");
    peer.ip("link set lan0p up");
    const auto r = operation("add " + adapter() + "--probe '10.1.0.{39-41}'");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(logged(r, u8"添加IP-地址 10.1.0.39 成功.")) << r.output;
    EXPECT_TRUE(logged(r, u8"添加IP-地址 10.1.0.40 失败,该ip可能已被占用.")) << r.output;
    EXPECT_TRUE(logged(r, u8"添加IP-地址 10.1.0.41 成功.")) << r.output;
    EXPECT_TRUE(logged(r, u8"添加IP完成，添加成功2，添加失败0。")) << r.output;
    const auto addresses = addressesOf(*lab_, "lan0");
    EXPECT_FALSE(has(addresses, "10.1.0.40/24"));
    EXPECT_TRUE(has(addresses, "10.1.0.41/24"));
}

TEST_F(NicopsctlOperationLinuxTest, DeletingAPrimaryKeepsItsSecondariesAndTheStoreFollows) {
    lab_->ip("addr add 10.1.0.7/24 dev lan0");
    const auto added = operation("add " + adapter() + "--mask 255.255.0.0 '10.1.0.{20-21}'");
    ASSERT_EQ(added.status, 0) << added.output;
    // The store holds the link's addresses in the kernel's order, masks alongside.
    std::vector<std::string> expected;
    std::vector<std::string> masks;
    for (const std::string& entry : addressesOf(*lab_, "lan0")) {
        expected.push_back(entry.substr(0, entry.find('/')));
        const std::string prefix = entry.substr(entry.find('/') + 1);
        masks.push_back(prefix == "24" ? "255.255.255.0" : "255.255.0.0");
    }
    ASSERT_EQ(expected.size(), 6U);
    EXPECT_EQ(stored("IPAddress"), expected);
    EXPECT_EQ(stored("SubnetMask"), masks);

    // 10.1.0.5 is the primary of 10.1.0.6 and 10.1.0.7.
    const auto deleted = operation(adapter() + "delete 10.1.0.5 10.1.0.20");
    EXPECT_EQ(deleted.status, 0) << deleted.output;
    EXPECT_TRUE(logged(deleted, u8"成功删除IP-地址 10.1.0.5")) << deleted.output;
    EXPECT_TRUE(logged(deleted, u8"成功删除IP-地址 10.1.0.20")) << deleted.output;
    const auto remaining = addressesOf(*lab_, "lan0");
    for (const char* address : {"10.1.0.6/24", "10.1.0.7/24", "192.168.7.9/16", "10.1.0.21/16"}) {
        EXPECT_TRUE(has(remaining, address)) << address;
    }
    EXPECT_EQ(remaining.size(), 4U);
    std::vector<std::string> left;
    for (const std::string& entry : remaining) {
        left.push_back(entry.substr(0, entry.find('/')));
    }
    EXPECT_EQ(stored("IPAddress"), left);
}

TEST_F(NicopsctlOperationLinuxTest, RestoreAfterAFlushBringsTheAddressesBackWithTheirMasks) {
    ASSERT_EQ(operation("add " + adapter() + "--mask 255.255.0.0 '10.1.0.{20-21}'").status, 0);
    const auto before = addressesOf(*lab_, "lan0");
    ASSERT_EQ(before.size(), 5U);
    lab_->ip("addr flush dev lan0");
    ASSERT_TRUE(addressesOf(*lab_, "lan0").empty());
    const auto r = operation("restore");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(logged(r, u8"恢复IP完成，恢复成功5，恢复失败0。")) << r.output;
    const auto after = addressesOf(*lab_, "lan0");
    for (const std::string& address : before) {
        EXPECT_TRUE(has(after, address)) << address << "\n" << r.output;
    }
    EXPECT_EQ(after.size(), before.size());
}

}  // namespace
}  // namespace nicops::linux_test
