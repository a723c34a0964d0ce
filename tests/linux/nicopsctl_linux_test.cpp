// nicopsctl end to end on the real kernel: run under `ip netns exec` in a namespace of the test,
// it must list and describe that namespace's links. Skips (saying why) while the program can't
// do its part yet.
#include <gtest/gtest.h>

#include <filesystem>

#include "netns_lab.h"

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

}  // namespace
}  // namespace nicops::linux_test
