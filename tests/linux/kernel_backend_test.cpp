// The backend against the real kernel, inside network namespaces the tests create.
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "netns_lab.h"
#include "platform/ipv4_text.h"
#include "platform/linux/host_files.h"
#include "platform/linux/linux_backend.h"

namespace nicops::platform::linux_host {
namespace {

using linux_test::namespaceSkipReason;
using linux_test::Netns;

// "以太网 2" in GBK, and the same alias in UTF-8 for the shell (narrow literals of this tree
// are GBK, so the UTF-8 form is spelled as a u8 literal).
const std::string kAliasGbk = "\xD2\xD4\xCC\xAB\xCD\xF8 2";
const std::string kAliasUtf8 = [] {
    const std::u8string text = u8"以太网 2";
    return std::string(text.begin(), text.end());
}();

const AdapterInfo* adapterNamed(const std::vector<AdapterInfo>& adapters, const std::string& name) {
    for (const auto& adapter : adapters) {
        if (adapter.adapterName == name) {
            return &adapter;
        }
    }
    return nullptr;
}

std::vector<std::string> addressTexts(const std::vector<IpAddrString>& list) {
    std::vector<std::string> out;
    for (const auto& entry : list) {
        out.push_back(entry.address);
    }
    return out;
}

// The link's IPv4 addresses as `ip` lists them, without prefix lengths.
std::vector<std::string> addressesByIp(Netns& lab, const std::string& link) {
    std::vector<std::string> out;
    for (const std::string& entry : lab.ipv4Addresses(link)) {
        out.push_back(entry.substr(0, entry.find('/')));
    }
    return out;
}

class KernelBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (auto reason = namespaceSkipReason(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        lab_.emplace();
        ASSERT_TRUE(lab_->created());
    }

    // A veth pair inside the namespace, both ends up.
    void addPair(const std::string& left, const std::string& right) {
        lab_->ip("link add " + left + " type veth peer name " + right);
        lab_->ip("link set " + left + " up");
        lab_->ip("link set " + right + " up");
    }

    template <typename F>
    auto withBackend(F&& f, LinuxBackendOptions options = {}) {
        return lab_->inside([&] {
            auto backend = openLinuxBackend(options);
            EXPECT_NE(backend, nullptr);
            return f(*backend);
        });
    }

    std::optional<Netns> lab_;
};

TEST_F(KernelBackendTest, SnapshotDescribesEveryLinkButLoopback) {
    addPair("lan0", "lan0p");
    lab_->ip("link set lan0 address 02:00:00:00:0a:0b mtu 1400");
    lab_->ip("link set lan0 alias " + linux_test::shellQuote(kAliasUtf8));
    lab_->ip("addr add 10.1.0.5/24 dev lan0");
    lab_->ip("addr add 10.1.0.6/24 dev lan0");
    lab_->ip("addr add 192.168.7.9/16 dev lan0");
    lab_->ip("addr add 10.1.0.200/24 dev lan0p");
    lab_->ip("route add default via 10.1.0.1 dev lan0");
    const auto lan0 = lab_->indexOf("lan0");

    auto adapters = withBackend([](LinuxBackend& backend) { return backend.getAdaptersInfo(); });
    ASSERT_EQ(adapters.size(), 2u);  // lo is left out
    EXPECT_EQ(adapterNamed(adapters, "lo"), nullptr);
    const AdapterInfo* adapter = adapterNamed(adapters, "lan0");
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(adapter->index, lan0);
    EXPECT_EQ(adapter->description, "veth");
    EXPECT_EQ(adapter->hwAddress, (std::vector<std::uint8_t>{0x02, 0x00, 0x00, 0x00, 0x0a, 0x0b}));
    EXPECT_EQ(adapter->type, 6u);
    EXPECT_EQ(adapter->dhcpEnabled, 0u);
    EXPECT_EQ(adapter->haveWins, 0u);
    EXPECT_TRUE(adapter->primaryWins.empty());
    EXPECT_TRUE(adapter->dhcpServer.empty());
    EXPECT_EQ(adapter->leaseObtained, 0);
    EXPECT_EQ(adapter->leaseExpires, 0);

    // Kernel order, masks from the prefix, contexts naming the address, next rising to 0.
    EXPECT_EQ(addressTexts(adapter->ipAddresses), addressesByIp(*lab_, "lan0"));
    ASSERT_EQ(adapter->ipAddresses.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& entry = adapter->ipAddresses[i];
        EXPECT_EQ(entry.context, parseIpv4(entry.address).value());
        EXPECT_EQ(entry.mask, entry.address == "192.168.7.9" ? "255.255.0.0" : "255.255.255.0");
        EXPECT_EQ(entry.next, i == 2 ? 0u : i + 2);
    }
    ASSERT_EQ(adapter->gateways.size(), 1u);
    EXPECT_EQ(adapter->gateways[0].address, "10.1.0.1");
    EXPECT_EQ(adapter->gateways[0].context, 0x0A010001u);
    EXPECT_EQ(adapter->gateways[0].next, 0u);

    const AdapterInfo* peer = adapterNamed(adapters, "lan0p");
    ASSERT_NE(peer, nullptr);
    EXPECT_TRUE(peer->gateways.empty());
    ASSERT_EQ(peer->ipAddresses.size(), 1u);
    EXPECT_EQ(peer->ipAddresses[0].next, 0u);
}

TEST_F(KernelBackendTest, ConnectionNamesAreAliasesInGbkElseKernelNames) {
    addPair("lan0", "lan0p");
    lab_->ip("link set lan0 alias " + linux_test::shellQuote(kAliasUtf8));
    const auto lan0 = lab_->indexOf("lan0");
    const auto lan0p = lab_->indexOf("lan0p");

    auto names = withBackend([](LinuxBackend& backend) { return backend.getInterfaceNames(); });
    ASSERT_EQ(names.size(), 2u);
    std::sort(names.begin(), names.end(), [](auto& a, auto& b) { return a.index < b.index; });
    const bool lan0First = lan0 < lan0p;
    EXPECT_EQ(names[lan0First ? 0 : 1].index, lan0);
    EXPECT_EQ(names[lan0First ? 0 : 1].friendlyName, kAliasGbk);
    EXPECT_EQ(names[lan0First ? 1 : 0].friendlyName, "lan0p");
}

TEST_F(KernelBackendTest, AnAliasThatWouldNameTwoLinksGivesWayToTheKernelName) {
    addPair("lan0", "lan0p");
    addPair("lan1", "lan1p");
    lab_->ip("link set lan0 mtu 1400 alias " + linux_test::shellQuote(kAliasUtf8));
    lab_->ip("link set lan1 mtu 1300 alias " + linux_test::shellQuote(kAliasUtf8));
    lab_->ip("link set lan1p alias lan0p");  // another link's kernel name
    // Tabs and line breaks show as spaces; shown alike, the later alias gives way.
    addPair("lan2", "lan2p");
    addPair("lan3", "lan3p");
    lab_->ip("link set lan2 mtu 1200 alias " + linux_test::shellQuote("Wired\tLAN\r\n1"));
    lab_->ip("link set lan3 mtu 1100 alias " + linux_test::shellQuote("Wired LAN\n\r1"));

    struct Seen {
        std::map<std::uint32_t, std::string> names;
        std::vector<std::int32_t> mtus;
        std::int32_t status = 0;
    };
    auto seen = withBackend([](LinuxBackend& backend) {
        Seen out;
        for (const auto& entry : backend.getInterfaceNames()) {
            out.names[entry.index] = entry.friendlyName;
        }
        for (const std::string& name : {kAliasGbk, std::string("lan1"), std::string("Wired LAN  1"),
                                        std::string("lan3"), std::string("Wired\tLAN\r\n1")}) {
            out.mtus.push_back(backend.mtu(name));
        }
        out.status = backend.connectionStatus("Wired LAN  1");
        return out;
    });
    const auto& names = seen.names;
    ASSERT_LT(lab_->indexOf("lan0"), lab_->indexOf("lan1"));  // indexes rise in creation order
    ASSERT_LT(lab_->indexOf("lan2"), lab_->indexOf("lan3"));
    EXPECT_EQ(names.at(lab_->indexOf("lan0")), kAliasGbk);
    EXPECT_EQ(names.at(lab_->indexOf("lan1")), "lan1");
    EXPECT_EQ(names.at(lab_->indexOf("lan1p")), "lan1p");
    EXPECT_EQ(names.at(lab_->indexOf("lan2")), "Wired LAN  1");
    EXPECT_EQ(names.at(lab_->indexOf("lan3")), "lan3");
    // Each name reaches its own link; the name as set, with its tab and line break, none.
    EXPECT_EQ(seen.mtus, (std::vector<std::int32_t>{1400, 1300, 1200, 1100, -1}));
    EXPECT_EQ(seen.status, 2);
}

TEST_F(KernelBackendTest, LinkStateByConnectionName) {
    addPair("lan0", "lan0p");
    lab_->ip("link set lan0 mtu 1400 alias " + linux_test::shellQuote(kAliasUtf8));
    lab_->ip("link add down0 type veth peer name down0p");  // both ends left down
    addPair("nocar0", "nocar0p");
    lab_->ip("link set nocar0p down");  // nocar0 is up without a carrier

    struct Facts {
        std::int32_t status, media, mtu;
        std::int64_t speed;
        std::optional<bool> dhcp;
    };
    auto facts = withBackend([](LinuxBackend& backend) {
        std::vector<Facts> out;
        for (const std::string& name :
             {kAliasGbk, std::string("down0"), std::string("nocar0"), std::string("nosuch")}) {
            out.push_back({backend.connectionStatus(name), backend.mediaState(name),
                           backend.mtu(name), backend.linkSpeed(name), backend.dhcpFlag(name)});
        }
        return out;
    });
    ASSERT_EQ(facts.size(), 4u);
    // Up with a carrier: connected, media up, veth's 10 Gbit/s beyond 32 bits, the MTU set.
    EXPECT_EQ(facts[0].status, 2);
    EXPECT_EQ(facts[0].media, 1);
    EXPECT_EQ(facts[0].speed, 10'000'000'000LL);
    EXPECT_EQ(facts[0].mtu, 1400);
    EXPECT_EQ(facts[0].dhcp, std::optional<bool>(false));
    // Administratively down: no speed to tell.
    EXPECT_EQ(facts[1].status, 0);
    EXPECT_EQ(facts[1].media, 0);
    EXPECT_EQ(facts[1].mtu, 1500);
    EXPECT_EQ(facts[1].speed, -1);
    // Up, cable out.
    EXPECT_EQ(facts[2].status, 7);
    EXPECT_EQ(facts[2].media, 0);
    // Unknown name.
    EXPECT_EQ(facts[3].status, -1);
    EXPECT_EQ(facts[3].media, 0);
    EXPECT_EQ(facts[3].speed, -1);
    EXPECT_EQ(facts[3].mtu, -1);
    EXPECT_EQ(facts[3].dhcp, std::nullopt);
}

// sysfs shows the links of the namespace that mounted it: under `nsenter --net` a link of the
// same name on the host. Speed and the wireless test must not come from there.
TEST_F(KernelBackendTest, SpeedAndWirelessComeFromThisNamespaceNotFromAnotherOnesSysfs) {
    addPair("lan0", "lan0p");
    const auto lan0p = lab_->indexOf("lan0p");
    std::string lan0pAddress = lab_->exec("cat /sys/class/net/lan0p/address").output;
    lan0pAddress.erase(lan0pAddress.find_last_not_of('\n') + 1);
    const auto sys = std::filesystem::temp_directory_path() / ("nicops-sys-" + lab_->name());
    const auto write = [&](const std::string& relative, const std::string& content) {
        std::filesystem::create_directories((sys / relative).parent_path());
        std::ofstream(sys / relative) << content;
    };
    // Another namespace's lan0: a 1 Mbit/s wireless device.
    write("class/net/lan0/speed", "1\n");
    write("class/net/lan0/ifindex", std::to_string(lan0p + 100) + "\n");
    write("class/net/lan0/address", "02:00:00:00:00:01\n");
    write("class/net/lan0/phy80211/name", "phy0\n");
    // This namespace's own lan0p, shown as wireless: a device without wireless extensions.
    write("class/net/lan0p/ifindex", std::to_string(lan0p) + "\n");
    write("class/net/lan0p/address", lan0pAddress + "\n");
    write("class/net/lan0p/phy80211/name", "phy1\n");

    LinuxBackendOptions options;
    options.sysRoot = sys.string();
    struct Seen {
        std::int64_t speed = 0;
        std::vector<AdapterInfo> adapters;
    };
    auto seen = withBackend(
        [](LinuxBackend& backend) {
            return Seen{backend.linkSpeed("lan0"), backend.getAdaptersInfo()};
        },
        options);
    std::filesystem::remove_all(sys);

    EXPECT_EQ(seen.speed, 10'000'000'000LL);  // veth
    if (linux_test::runCommand("command -v ethtool").status == 0) {
        const std::string told = lab_->exec("ethtool lan0").output;
        const auto at = told.find("Speed: ");
        ASSERT_NE(at, std::string::npos) << told;
        EXPECT_EQ(seen.speed, std::stoll(told.substr(at + 7)) * 1'000'000) << told;
    }
    ASSERT_NE(adapterNamed(seen.adapters, "lan0"), nullptr);
    ASSERT_NE(adapterNamed(seen.adapters, "lan0p"), nullptr);
    EXPECT_EQ(adapterNamed(seen.adapters, "lan0")->type, 6u);
    EXPECT_EQ(adapterNamed(seen.adapters, "lan0p")->type, 71u);
}

TEST_F(KernelBackendTest, GatewaysOfMultipathDefaultRouteGoToTheirLinks) {
    addPair("up0", "up0p");
    addPair("up1", "up1p");
    lab_->ip("addr add 10.10.0.2/24 dev up0");
    lab_->ip("addr add 10.20.0.2/24 dev up1");
    lab_->ip("route add default nexthop via 10.10.0.1 dev up0 nexthop via 10.20.0.1 dev up1");
    lab_->ip("route add default via 10.20.0.9 dev up1 table 100");  // not the main table

    auto adapters = withBackend([](LinuxBackend& backend) { return backend.getAdaptersInfo(); });
    ASSERT_NE(adapterNamed(adapters, "up0"), nullptr);
    ASSERT_NE(adapterNamed(adapters, "up1"), nullptr);
    EXPECT_EQ(addressTexts(adapterNamed(adapters, "up0")->gateways),
              std::vector<std::string>{"10.10.0.1"});
    EXPECT_EQ(addressTexts(adapterNamed(adapters, "up1")->gateways),
              std::vector<std::string>{"10.20.0.1"});
}

TEST_F(KernelBackendTest, DhcpFlagFollowsLifetimeOrRouteProtocol) {
    addPair("dyn0", "dyn0p");
    addPair("dyn1", "dyn1p");
    lab_->ip("addr add 10.3.0.2/24 dev dyn0 valid_lft 600 preferred_lft 600");
    lab_->ip("addr add 10.4.0.2/24 dev dyn1");
    lab_->ip("route add default via 10.4.0.1 dev dyn1 proto dhcp");

    auto adapters = withBackend([](LinuxBackend& backend) { return backend.getAdaptersInfo(); });
    ASSERT_NE(adapterNamed(adapters, "dyn0"), nullptr);
    EXPECT_EQ(adapterNamed(adapters, "dyn0")->dhcpEnabled, 1u);
    EXPECT_EQ(adapterNamed(adapters, "dyn1")->dhcpEnabled, 1u);
    EXPECT_EQ(adapterNamed(adapters, "dyn0p")->dhcpEnabled, 0u);
}

TEST_F(KernelBackendTest, DnsServersFallBackToResolvConfAndUnknownIndexIsNullopt) {
    addPair("lan0", "lan0p");
    const auto lan0 = lab_->indexOf("lan0");
    const auto lan0p = lab_->indexOf("lan0p");
    const auto folder = std::filesystem::temp_directory_path() / ("nicops-dns-" + lab_->name());
    std::filesystem::create_directories(folder / "run/systemd/resolve/netif");
    std::ofstream(folder / "resolv.conf")
        << "# generated\nnameserver 192.0.2.53\nnameserver ::1\nnameserver 192.0.2.54\n";
    std::ofstream(folder / "run/systemd/resolve/netif" / std::to_string(lan0p))
        << "SERVERS=198.51.100.1 2001:db8::1\n";

    LinuxBackendOptions options;
    options.runRoot = (folder / "run").string();
    options.resolvConfPath = (folder / "resolv.conf").string();
    struct Answers {
        std::optional<std::vector<std::string>> lan0, lan0p, unknown, noFiles;
    };
    auto answers = withBackend(
        [&](LinuxBackend& backend) {
            Answers out{backend.getPerAdapterDns(lan0), backend.getPerAdapterDns(lan0p),
                        backend.getPerAdapterDns(4000), std::nullopt};
            return out;
        },
        options);
    LinuxBackendOptions missing;
    missing.runRoot = (folder / "absent").string();
    missing.resolvConfPath = (folder / "absent.conf").string();
    auto noFiles =
        withBackend([&](LinuxBackend& backend) { return backend.getPerAdapterDns(lan0); }, missing);
    std::filesystem::remove_all(folder);

    const std::vector<std::string> resolvConf{"192.0.2.53", "192.0.2.54"};
    EXPECT_EQ(answers.lan0, resolvConf);
    EXPECT_EQ(answers.lan0p, std::vector<std::string>{"198.51.100.1"});
    EXPECT_EQ(answers.unknown, std::nullopt);
    EXPECT_EQ(noFiles, std::nullopt);
}

TEST_F(KernelBackendTest, AddRefusesWhatTheProgramForbids) {
    addPair("lan0", "lan0p");
    lab_->ip("addr add 10.5.0.9/24 dev lan0p");
    const auto lan0 = lab_->indexOf("lan0");

    auto codes = withBackend([&](LinuxBackend& backend) {
        return std::vector<std::uint32_t>{
            backend.addIpAddress("10.5.0.300", "255.255.255.0", lan0),   // unparsable address
            backend.addIpAddress("10.5.0.10", "255.0.255.0", lan0),      // mask with holes
            backend.addIpAddress("10.5.0.10", "255.255.255.0", 4000),    // no such adapter
            backend.addIpAddress("10.5.0.9", "255.255.255.0", lan0),     // on the other link
            backend.addIpAddress("10.5.0.10", "255.255.255.0", lan0),    // fine
            backend.addIpAddress("10.5.0.10", "255.255.255.128", lan0),  // now on this link
        };
    });
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{87, 87, 1168, 17, 0, 17}));
    EXPECT_EQ(addressesByIp(*lab_, "lan0"), std::vector<std::string>{"10.5.0.10"});
    EXPECT_NE(lab_->ip("-o -4 addr show dev lan0").output.find("10.5.0.10/24"), std::string::npos);

    // Only dotted addresses and contiguous masks; nothing of these reaches the kernel, not even
    // for an adapter that does not exist.
    const std::vector<AddressToAdd> invalid = {
        {"10.5.0.256", "255.255.255.0"}, {"", "255.255.255.0"},
        {"localhost", "255.255.255.0"},  {"10.5.0.011", "255.255.255.0"},
        {"10.5.0.11 ", "255.255.255.0"}, {"10.5.0.11", ""},
        {"10.5.0.11", "255.0.255.0"},    {"10.5.0.11", "255.255.255.256"},
    };
    const auto refused = withBackend([&](LinuxBackend& backend) {
        auto out = backend.addIpAddresses(invalid, 4000);
        out.push_back(backend.addIpAddress("10.5.0.12", "255.255.255.1", lan0));
        return out;
    });
    EXPECT_EQ(refused, std::vector<std::uint32_t>(invalid.size() + 1, 87));
    EXPECT_EQ(addressesByIp(*lab_, "lan0"), std::vector<std::string>{"10.5.0.10"});
}

TEST_F(KernelBackendTest, AddressChangesNeedNetworkAdministration) {
    const auto problems = withBackend([](LinuxBackend& backend) {
        std::vector<std::string> out{backend.addressChangeProblem()};
        // Capabilities belong to each thread: this one drops CAP_NET_ADMIN from its effective
        // set only.
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
        EXPECT_EQ(::syscall(SYS_capget, &header, data), 0);
        data[CAP_TO_INDEX(CAP_NET_ADMIN)].effective &= ~CAP_TO_MASK(CAP_NET_ADMIN);
        EXPECT_EQ(::syscall(SYS_capset, &header, data), 0);
        out.push_back(backend.addressChangeProblem());
        return out;
    });
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0], "");
    EXPECT_EQ(problems[1], "更改IP地址需要root权限或CAP_NET_ADMIN能力.");
}

TEST_F(KernelBackendTest, DeletingAPrimaryKeepsItsSecondaries) {
    addPair("lan0", "lan0p");
    lab_->ip("addr add 10.6.0.1/24 dev lan0");
    lab_->ip("addr add 10.6.0.2/24 dev lan0");
    lab_->ip("addr add 10.6.0.3/24 dev lan0");

    auto codes = withBackend([](LinuxBackend& backend) {
        return std::vector<std::uint32_t>{backend.deleteIpAddress(0x0A060001),   // the primary
                                          backend.deleteIpAddress(0x0A060001),   // gone now
                                          backend.deleteIpAddress(0x0A0600FE)};  // never there
    });
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{0, 1168, 1168}));
    auto left = addressesByIp(*lab_, "lan0");
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"10.6.0.2", "10.6.0.3"}));
}

TEST_F(KernelBackendTest, BatchedAddAndDeleteSpanSeveralSends) {
    addPair("lan0", "lan0p");
    lab_->ip("addr add 10.7.1.1/16 dev lan0p");
    const auto lan0 = lab_->indexOf("lan0");
    constexpr int kCount = 700;  // more than one send of 256

    std::vector<AddressToAdd> items;
    for (int i = 0; i < kCount; ++i) {
        items.push_back(
            {"10.7." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1), "255.255.0.0"});
    }
    items.push_back(items[3]);  // repeated in the list
    items.push_back({"not an address", "255.255.0.0"});
    // items[250] is 10.7.1.1, which the peer carries.

    struct Outcome {
        std::vector<std::uint32_t> added, deleted;
        std::size_t listed = 0, listedAfter = 0;
    };
    auto outcome = withBackend([&](LinuxBackend& backend) {
        Outcome out;
        out.added = backend.addIpAddresses(items, lan0);
        for (const auto& adapter : backend.getAdaptersInfo()) {
            if (adapter.index == lan0) {
                out.listed = adapter.ipAddresses.size();
            }
        }
        std::vector<std::uint32_t> contexts;
        for (const auto& item : items) {
            contexts.push_back(parseIpv4(item.address).value_or(0));
        }
        out.deleted = backend.deleteIpAddresses(contexts);
        for (const auto& adapter : backend.getAdaptersInfo()) {
            if (adapter.index == lan0) {
                out.listedAfter = adapter.ipAddresses.size();
            }
        }
        return out;
    });
    ASSERT_EQ(outcome.added.size(), items.size());
    for (std::size_t i = 0; i < kCount; ++i) {
        EXPECT_EQ(outcome.added[i], i == 250 ? 17u : 0u) << items[i].address;
    }
    EXPECT_EQ(outcome.added[kCount], 17u);
    EXPECT_EQ(outcome.added[kCount + 1], 87u);
    EXPECT_EQ(outcome.listed, static_cast<std::size_t>(kCount - 1));

    // Every address goes, the peer's included; the repeat and the unparsable one find nothing.
    ASSERT_EQ(outcome.deleted.size(), items.size());
    EXPECT_EQ(std::count(outcome.deleted.begin(), outcome.deleted.begin() + kCount, 0u), kCount);
    EXPECT_EQ(outcome.deleted[kCount], 1168u);
    EXPECT_EQ(outcome.deleted[kCount + 1], 1168u);
    EXPECT_EQ(outcome.listedAfter, 0u);
    EXPECT_TRUE(addressesByIp(*lab_, "lan0p").empty());
}

}  // namespace
}  // namespace nicops::platform::linux_host
