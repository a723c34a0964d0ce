// Switching a link between DHCP and a static address on the real kernel: dnsmasq serves DHCP in
// one namespace of the test, the configuration runs in another on a thread that sees private
// copies of /etc, /run and /var/lib/dhcp (so the machine's resolver and lease files are never
// written), and every DHCP client it starts lives in those namespaces.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "dhcp_lab.h"
#include "platform/linux/adapter_configuration_linux.h"

namespace nicops::platform::linux_host {
namespace {

using linux_test::ChildProcess;
using linux_test::defaultRoutesOf;
using linux_test::DhcpLab;
using linux_test::kLabResolvConf;
using linux_test::nameserversIn;
using linux_test::Netns;
using linux_test::readText;
using linux_test::runCommand;
using linux_test::stillRuns;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Waits (a bounded while) until `condition` holds; whether it did.
template <typename F>
bool eventually(F&& condition) {
    for (const auto deadline = std::chrono::steady_clock::now() + 30s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(50ms)) {
        if (condition()) {
            return true;
        }
    }
    return condition();
}

StaticAddressing staticValues(std::string address, std::string mask, std::string gateway,
                              std::string primaryDns, std::string secondaryDns) {
    return StaticAddressing{std::move(address), std::move(mask), std::move(gateway),
                            std::move(primaryDns), std::move(secondaryDns)};
}

class AdapterConfigurationLab : public ::testing::Test {
protected:
    void SetUp() override {
        if (auto reason = DhcpLab::skipReason(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        lab_.emplace();
        ASSERT_TRUE(lab_->ready());
        root_ = lab_->root();
        server_ = &lab_->server();
        client_ = &lab_->client();
        fs::create_directories(root_ / "varlib/nm");
    }

    // Runs f on a thread in the client namespace whose /etc, /run and /var/lib/dhcp are the
    // lab's; f does not run when they can't be put in place.
    template <typename F>
    auto inClient(F&& f) -> std::invoke_result_t<F&> {
        using Result = std::invoke_result_t<F&>;
        return client_->inside([&]() -> Result {
            if (!bindPrivateFolders()) {
                return Result{};
            }
            return f();
        });
    }

    bool bind(const fs::path& from, const std::string& to) {
        if (::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            ADD_FAILURE() << "bind " << from << " on " << to << ": " << std::strerror(errno);
            return false;
        }
        return true;
    }

    bool bindPrivateFolders() {
        for (const auto& [folder, over] : lab_->privateFolders()) {
            if (!bind(folder, over)) {
                return false;
            }
        }
        fs::create_directories("/var/lib/NetworkManager");
        if (!bind(root_ / "varlib/nm", "/var/lib/NetworkManager")) {
            return false;
        }
        // Nothing runs unless the resolver file in sight is the lab's.
        if (!linux_test::seesLabResolvConf(root_)) {
            ADD_FAILURE() << "/etc/resolv.conf is not the lab's";
            return false;
        }
        for (const auto& [file, over] : extraBinds_) {
            if (!bind(file, over)) {
                return false;
            }
        }
        return true;
    }

    std::optional<DhcpLab> lab_;
    fs::path root_;
    Netns* server_ = nullptr;
    Netns* client_ = nullptr;
    // Files bound over others in the client's threads, after the private folders.
    std::vector<std::pair<fs::path, std::string>> extraBinds_;
};

TEST_F(AdapterConfigurationLab, SwitchesToDhcpAndBackWhileNetworkManagerRunsInAnotherNamespace) {
    client_->ip("addr add 198.51.100.7/24 dev cli0");
    client_->ip("route add default via 198.51.100.1 dev cli0");

    // A process named NetworkManager in the machine's namespace: it manages none of the lab's
    // links, and nothing may ask the bus about it. Bus tools the code could run record the call.
    fs::copy_file("/bin/sleep", root_ / "NetworkManager");
    ChildProcess foreignManager("exec " + (root_ / "NetworkManager").string() + " 600");
    const fs::path busCalls = root_ / "bus-calls";
    std::ofstream(root_ / "bus-tool")
        << "#!/bin/sh\necho \"$0 $*\" >> " << busCalls << "\nexit 1\n";
    fs::permissions(root_ / "bus-tool", fs::perms::owner_all);
    for (const char* tool : {"/usr/bin/nmcli", "/usr/bin/dbus-send", "/usr/bin/resolvectl"}) {
        if (fs::exists(tool)) {
            extraBinds_.emplace_back(root_ / "bus-tool", tool);
        }
    }

    struct Seen {
        bool switched = false;
        std::string problem;
        bool dhcp = false;
    };
    const Seen toDhcp = inClient([] {
        Seen seen;
        auto configuration = openLinuxAdapterConfiguration(LinuxBackendOptions{});
        if (configuration) {
            seen.switched = configuration->enableDhcp("cli0");
            seen.problem = configuration->lastProblem();
            seen.dhcp = configuration->isDhcpEnabled("cli0");
        }
        return seen;
    });
    ASSERT_TRUE(toDhcp.switched) << toDhcp.problem << "\n--- dnsmasq\n" << lab_->dnsmasqLog();
    EXPECT_EQ(toDhcp.problem, "");
    EXPECT_TRUE(toDhcp.dhcp);
    const auto leased = client_->ipv4Addresses("cli0");
    ASSERT_EQ(leased.size(), 1u);
    EXPECT_TRUE(linux_test::isLabLease(leased[0])) << leased[0];
    EXPECT_EQ(defaultRoutesOf(*client_, "cli0"), std::vector<std::string>{"via 192.0.2.1"});
    const pid_t dhclient = std::atoi(readText(root_ / "run/dhclient.cli0.pid").c_str());
    EXPECT_TRUE(stillRuns(dhclient));

    const Seen toStatic = inClient([] {
        Seen seen;
        auto configuration = openLinuxAdapterConfiguration(LinuxBackendOptions{});
        if (configuration) {
            seen.switched = configuration->setStaticAddressing(
                "cli0", staticValues("192.0.2.77", "255.255.255.0", "192.0.2.254", "203.0.113.5",
                                     "203.0.113.6"));
            seen.problem = configuration->lastProblem();
            seen.dhcp = configuration->isDhcpEnabled("cli0");
        }
        return seen;
    });
    ASSERT_TRUE(toStatic.switched) << toStatic.problem;
    EXPECT_EQ(toStatic.problem, "");
    EXPECT_FALSE(toStatic.dhcp);
    EXPECT_EQ(client_->ipv4Addresses("cli0"), std::vector<std::string>{"192.0.2.77/24"});
    EXPECT_EQ(defaultRoutesOf(*client_, "cli0"), std::vector<std::string>{"via 192.0.2.254"});
    EXPECT_EQ(nameserversIn(readText(root_ / "etc/resolv.conf")),
              (std::vector<std::string>{"203.0.113.5", "203.0.113.6"}));
    EXPECT_FALSE(stillRuns(dhclient));

    EXPECT_FALSE(fs::exists(busCalls)) << readText(busCalls);
}

TEST_F(AdapterConfigurationLab, FailedOrMisnamedChangesLeaveTheLinkAsItWas) {
    client_->ip("addr add 198.51.100.7/24 dev cli0");
    client_->ip("addr add 198.51.100.8/24 dev cli0");
    client_->ip("addr add 10.20.0.5/16 dev cli0");
    client_->ip("route add default via 198.51.100.1 dev cli0");
    const auto addresses = client_->ipv4Addresses("cli0");
    const auto routes = defaultRoutesOf(*client_, "cli0");

    struct Seen {
        bool unknownStatic = true;
        bool unknownDhcp = true;
        std::string unknownProblem;
        bool unroutable = true;
        std::string unroutableProblem;
    };
    const Seen seen = inClient([] {
        Seen out;
        auto configuration = openLinuxAdapterConfiguration(LinuxBackendOptions{});
        if (!configuration) {
            return out;
        }
        const auto values =
            staticValues("10.9.0.5", "255.255.255.0", "", "203.0.113.5", "203.0.113.6");
        out.unknownStatic = configuration->setStaticAddressing("cli9", values);
        out.unknownDhcp = configuration->enableDhcp("cli9");
        out.unknownProblem = configuration->lastProblem();
        // The gateway lies outside the new address's subnet: the route step fails after the
        // address step has changed the link.
        auto unroutable = values;
        unroutable.gateway = "172.16.0.1";
        out.unroutable = configuration->setStaticAddressing("cli0", unroutable);
        out.unroutableProblem = configuration->lastProblem();
        return out;
    });
    EXPECT_FALSE(seen.unknownStatic);
    EXPECT_FALSE(seen.unknownDhcp);
    EXPECT_NE(seen.unknownProblem.find("cli9"), std::string::npos) << seen.unknownProblem;
    EXPECT_FALSE(seen.unroutable);
    EXPECT_NE(seen.unroutableProblem.find("172.16.0.1"), std::string::npos)
        << seen.unroutableProblem;
    EXPECT_NE(seen.unroutableProblem.find("已恢复原来的设置."), std::string::npos)
        << seen.unroutableProblem;

    EXPECT_EQ(client_->ipv4Addresses("cli0"), addresses);
    EXPECT_EQ(defaultRoutesOf(*client_, "cli0"), routes);
    EXPECT_EQ(readText(root_ / "etc/resolv.conf"), kLabResolvConf);
}

TEST_F(AdapterConfigurationLab, ResolvConfMountedOverIsWrittenInPlaceKeepingItsOtherLines) {
    // As under `ip netns exec`: a file bind-mounted on /etc/resolv.conf can't be renamed over.
    std::ofstream(root_ / "netns-resolv.conf") << kLabResolvConf;
    extraBinds_.emplace_back(root_ / "netns-resolv.conf", "/etc/resolv.conf");
    client_->ip("addr add 198.51.100.7/24 dev cli0");
    client_->ip("route add default via 198.51.100.1 dev cli0");

    const auto [switched, problem] = inClient([] {
        auto configuration = openLinuxAdapterConfiguration(LinuxBackendOptions{});
        if (!configuration) {
            return std::pair<bool, std::string>{};
        }
        const bool done = configuration->setStaticAddressing(
            "cli0", staticValues("192.0.2.77", "255.255.255.0", "", "203.0.113.5", ""));
        return std::pair{done, configuration->lastProblem()};
    });
    ASSERT_TRUE(switched) << problem;
    EXPECT_EQ(readText(root_ / "netns-resolv.conf"),
              "search lab.example\nnameserver 203.0.113.5\noptions ndots:2\n");
    EXPECT_EQ(readText(root_ / "etc/resolv.conf"), kLabResolvConf);
    EXPECT_EQ(client_->ipv4Addresses("cli0"), std::vector<std::string>{"192.0.2.77/24"});
    EXPECT_EQ(defaultRoutesOf(*client_, "cli0"), std::vector<std::string>{});
}

TEST_F(AdapterConfigurationLab, LinkOfSystemdNetworkdIsLeftToItsNetworkFile) {
    client_->ip("addr add 198.51.100.7/24 dev cli0");
    const std::uint32_t cli0 = client_->indexOf("cli0");
    // systemd-networkd of the client namespace (its process name, its state and .network file).
    fs::copy_file("/bin/sleep", root_ / "systemd-networkd");
    ChildProcess networkd("exec ip netns exec " + client_->name() + " " +
                          (root_ / "systemd-networkd").string() + " 600");
    fs::create_directories(root_ / "run/systemd/netif/links");
    std::ofstream(root_ / "run/systemd/netif/links" / std::to_string(cli0))
        << "ADMIN_STATE=configured\nOPER_STATE=routable\n"
           "NETWORK_FILE=/etc/systemd/network/50-cli0.network\n";
    fs::create_directories(root_ / "etc/systemd/network");
    std::ofstream(root_ / "etc/systemd/network/50-cli0.network")
        << "[Match]\nName=cli0\n\n[Network]\nDHCP=yes\n";
    for (int i = 0; i < 100 && readText("/proc/" + std::to_string(networkd.pid()) + "/comm") !=
                                   "systemd-network\n";
         ++i) {
        std::this_thread::sleep_for(20ms);
    }

    struct Seen {
        bool dhcp = true;
        std::string dhcpProblem;
        bool fixed = true;
        std::string fixedProblem;
        bool dhcpEnabled = false;
    };
    const Seen seen = inClient([] {
        Seen out;
        auto configuration = openLinuxAdapterConfiguration(LinuxBackendOptions{});
        if (configuration) {
            out.dhcp = configuration->enableDhcp("cli0");
            out.dhcpProblem = configuration->lastProblem();
            out.fixed = configuration->setStaticAddressing(
                "cli0", staticValues("192.0.2.77", "255.255.255.0", "", "", ""));
            out.fixedProblem = configuration->lastProblem();
            out.dhcpEnabled = configuration->isDhcpEnabled("cli0");
        }
        return out;
    });
    EXPECT_FALSE(seen.dhcp);
    EXPECT_FALSE(seen.fixed);
    for (const auto& problem : {seen.dhcpProblem, seen.fixedProblem}) {
        EXPECT_NE(problem.find("systemd-networkd"), std::string::npos) << problem;
        EXPECT_NE(problem.find("/etc/systemd/network/50-cli0.network"), std::string::npos)
            << problem;
        EXPECT_EQ(problem.find('\n'), std::string::npos) << problem;
    }
    EXPECT_TRUE(seen.dhcpEnabled);  // the .network file asks for DHCP
    EXPECT_EQ(client_->ipv4Addresses("cli0"), std::vector<std::string>{"198.51.100.7/24"});
}

// A system bus of the lab's own (/run/dbus is the lab's): root only, no services started on
// demand.
constexpr const char* kLabBus = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=/run/dbus/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="root"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
)";

// NetworkManager for the client namespace only: profiles in the lab's /etc, no hostname, no
// connectivity checks, no profiles made up for links.
constexpr const char* kLabNetworkManager = R"([main]
plugins=keyfile
auth-polkit=false
dhcp=internal
no-auto-default=*
dns=default
rc-manager=file
hostname-mode=none

[connectivity]
enabled=false
)";

TEST_F(AdapterConfigurationLab, NetworkManagerOfTheNamespaceSwitchesTheActiveProfile) {
    if (runCommand("command -v NetworkManager && command -v nmcli && command -v dbus-daemon &&"
                   " command -v dbus-send")
            .status != 0) {
        GTEST_SKIP() << "needs NetworkManager and D-Bus (package network-manager)";
    }
    std::ofstream(root_ / "dbus.conf") << kLabBus;
    fs::remove_all(root_ / "etc/NetworkManager");
    fs::create_directories(root_ / "etc/NetworkManager/system-connections");
    std::ofstream(root_ / "etc/NetworkManager/NetworkManager.conf") << kLabNetworkManager;

    std::optional<ChildProcess> bus;
    std::optional<ChildProcess> manager;
    const bool ready = inClient([&] {
        // NetworkManager waits for udev to announce links wherever it may write /sys; no udev
        // runs here.
        ::umount2("/sys", MNT_DETACH);
        if (::mount("sysfs", "/sys", "sysfs", MS_RDONLY, nullptr) != 0) {
            ADD_FAILURE() << "read-only sysfs: " << std::strerror(errno);
            return false;
        }
        bus.emplace("exec dbus-daemon --nofork --nopidfile --config-file=" +
                    (root_ / "dbus.conf").string() + " > " + (root_ / "dbus.log").string() +
                    " 2>&1");
        if (!eventually([] { return fs::exists("/run/dbus/system_bus_socket"); })) {
            ADD_FAILURE() << "no bus: " << readText(root_ / "dbus.log");
            return false;
        }
        manager.emplace("exec NetworkManager --no-daemon --debug > " + (root_ / "nm.log").string() +
                        " 2>&1");
        if (!eventually([] {
                return runCommand("nmcli -t -f DEVICE,STATE device")
                           .output.find("cli0:disconnected") != std::string::npos;
            })) {
            ADD_FAILURE() << "NetworkManager does not manage cli0";
            return false;
        }
        const auto added = runCommand(
            "nmcli connection add type ethernet ifname cli0 con-name 'lab cli0'"
            " ipv4.method auto ipv6.method disabled && nmcli --wait 20 connection up 'lab cli0'");
        if (added.status != 0) {
            ADD_FAILURE() << added.output;
        }
        return added.status == 0;
    });
    ASSERT_TRUE(ready) << readText(root_ / "nm.log").substr(0, 4000);

    struct Seen {
        bool switched = false;
        std::string problem;
        bool dhcp = false;
        std::string method;  // the profile's, as NetworkManager keeps it
    };
    const auto run = [&](bool toDhcp) {
        return inClient([toDhcp] {
            Seen seen;
            auto configuration = openLinuxAdapterConfiguration(LinuxBackendOptions{});
            if (!configuration) {
                return seen;
            }
            seen.switched = toDhcp ? configuration->enableDhcp("cli0")
                                   : configuration->setStaticAddressing(
                                         "cli0", staticValues("192.0.2.77", "255.255.255.0",
                                                              "192.0.2.254", "203.0.113.5", ""));
            seen.problem = configuration->lastProblem();
            seen.dhcp = configuration->isDhcpEnabled("cli0");
            seen.method = runCommand("nmcli -g ipv4.method connection show 'lab cli0'").output;
            return seen;
        });
    };

    const Seen toStatic = run(false);
    ASSERT_TRUE(toStatic.switched) << toStatic.problem;
    EXPECT_EQ(toStatic.problem, "");
    EXPECT_FALSE(toStatic.dhcp);
    EXPECT_EQ(toStatic.method, "manual\n");
    EXPECT_EQ(client_->ipv4Addresses("cli0"), std::vector<std::string>{"192.0.2.77/24"});
    EXPECT_TRUE(eventually([&] {
        return defaultRoutesOf(*client_, "cli0") == std::vector<std::string>{"via 192.0.2.254"};
    })) << client_->ip("-4 route").output;
    EXPECT_TRUE(eventually([&] {
        return nameserversIn(readText(root_ / "etc/resolv.conf")) ==
               std::vector<std::string>{"203.0.113.5"};
    })) << readText(root_ / "etc/resolv.conf");

    const Seen toDhcp = run(true);
    ASSERT_TRUE(toDhcp.switched) << toDhcp.problem;
    EXPECT_TRUE(toDhcp.dhcp);
    EXPECT_EQ(toDhcp.method, "auto\n");
    EXPECT_TRUE(eventually([&] {
        const auto addresses = client_->ipv4Addresses("cli0");
        return addresses.size() == 1 && linux_test::isLabLease(addresses[0]);
    })) << client_->ip("-4 addr show dev cli0").output;
    EXPECT_TRUE(eventually([&] {
        return defaultRoutesOf(*client_, "cli0") == std::vector<std::string>{"via 192.0.2.1"};
    })) << client_->ip("-4 route").output;
}

}  // namespace
}  // namespace nicops::platform::linux_host
