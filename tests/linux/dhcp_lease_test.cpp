// A real DHCP exchange between two namespaces: dnsmasq serves on one veth end, dhclient takes a
// lease on the other with private copies of /etc, /run and /var/lib/dhcp (so the machine's
// resolver and lease files are never written), and the backend reads the result.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "netns_lab.h"
#include "platform/linux/linux_backend.h"

namespace nicops::platform::linux_host {
namespace {

using linux_test::ChildProcess;
using linux_test::Netns;
using linux_test::readText;
using linux_test::runCommand;
using linux_test::shellQuote;
using linux_test::TempFolder;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<std::string> addressesOf(const std::vector<IpAddrString>& list) {
    std::vector<std::string> out;
    for (const auto& entry : list) {
        out.push_back(entry.address);
    }
    return out;
}

TEST(DhcpLeaseTest, DhclientLeaseGivesServerTimesDnsAndWinsServers) {
    if (auto reason = linux_test::namespaceSkipReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    if (runCommand("command -v dnsmasq && command -v dhclient && command -v unshare").status != 0) {
        GTEST_SKIP()
            << "needs dnsmasq, dhclient and unshare (packages dnsmasq-base, isc-dhcp-client)";
    }
    TempFolder temp("nicops-dhcp");
    const fs::path root = temp.path;
    Netns server;
    Netns client;
    ASSERT_TRUE(server.created() && client.created());
    server.ip("link add srv0 type veth peer name cli0 netns " + client.name());
    server.ip("addr add 192.0.2.1/24 dev srv0");
    server.ip("link set srv0 up");
    client.ip("link set cli0 up");

    fs::create_directories(root / "run");
    fs::create_directories(root / "varlib/dhcp");
    ASSERT_EQ(runCommand("cp -a /etc " + shellQuote((root / "etc").string())).status, 0);
    std::ofstream(root / "etc/resolv.conf") << "nameserver 203.0.113.99\n";
    std::ofstream(root / "dhclient.conf")
        << "timeout 20;\nretry 60;\ninitial-interval 1;\n"
           "request subnet-mask, broadcast-address, routers, domain-name-servers,"
           " netbios-name-servers;\n";

    const std::time_t started = std::time(nullptr);
    ChildProcess dnsmasq(
        "exec ip netns exec " + server.name() +
        " dnsmasq --keep-in-foreground --conf-file=/dev/null --port=0 --no-resolv --no-hosts"
        " --interface=srv0 --bind-interfaces --user=root"
        " --dhcp-range=192.0.2.50,192.0.2.60,255.255.255.0,1h"
        " --dhcp-option=option:router,192.0.2.1"
        " --dhcp-option=option:dns-server,192.0.2.53,192.0.2.54"
        " --dhcp-option=option:netbios-ns,192.0.2.137,192.0.2.138"
        " --dhcp-leasefile=" +
        (root / "dnsmasq.leases").string() + " --pid-file=" + (root / "dnsmasq.pid").string() +
        " --log-facility=" + (root / "dnsmasq.log").string());
    // The client sees private /etc, /run and /var/lib/dhcp only: mounts made after unshare -m
    // stay in its own mount namespace.
    const std::string mounts = "mount -n --make-rprivate / && mount -n --bind " +
                               (root / "etc").string() + " /etc && mount -n --bind " +
                               (root / "run").string() + " /run && mount -n --bind " +
                               (root / "varlib/dhcp").string() + " /var/lib/dhcp";
    ChildProcess dhclient(
        "exec ip netns exec " + client.name() + " unshare -m sh -c " +
        shellQuote(mounts + " && exec dhclient -d -1 -v -cf " + (root / "dhclient.conf").string() +
                   " -pf /run/dhclient.pid -lf /var/lib/dhcp/dhclient.cli0.leases cli0") +
        " > " + (root / "dhclient.log").string() + " 2>&1");

    const fs::path leaseFile = root / "varlib/dhcp/dhclient.cli0.leases";
    bool bound = false;
    for (auto deadline = std::chrono::steady_clock::now() + 30s;
         std::chrono::steady_clock::now() < deadline;) {
        const bool leased = readText(leaseFile).find("expire") != std::string::npos;
        const bool resolv =
            readText(root / "etc/resolv.conf").find("192.0.2.53") != std::string::npos;
        const bool addressed =
            client.ip("-4 -o addr show dev cli0").output.find("192.0.2.") != std::string::npos;
        if (leased && resolv && addressed) {
            bound = true;
            break;
        }
        if (dhclient.ended()) {
            break;
        }
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(bound) << "dhclient got no lease\n--- dhclient\n"
                       << readText(root / "dhclient.log") << "--- dnsmasq\n"
                       << readText(root / "dnsmasq.log");

    LinuxBackendOptions options;
    options.varLibRoot = (root / "varlib").string();
    options.runRoot = (root / "run").string();
    options.resolvConfPath = (root / "etc/resolv.conf").string();
    LinuxBackendOptions withoutResolvConf = options;
    withoutResolvConf.resolvConfPath = (root / "absent").string();
    const std::uint32_t cli0 = client.indexOf("cli0");

    struct Seen {
        std::vector<AdapterInfo> adapters;
        std::optional<std::vector<std::string>> dns, dnsFromLeaseOnly;
        std::optional<bool> dhcpFlag;
    };
    Seen seen = client.inside([&] {
        Seen out;
        auto backend = openLinuxBackend(options);
        auto leaseOnly = openLinuxBackend(withoutResolvConf);
        if (!backend || !leaseOnly) {
            return out;
        }
        out.adapters = backend->getAdaptersInfo();
        out.dns = backend->getPerAdapterDns(cli0);
        out.dnsFromLeaseOnly = leaseOnly->getPerAdapterDns(cli0);  // no snapshot taken first
        out.dhcpFlag = backend->dhcpFlag("cli0");
        return out;
    });
    const std::time_t finished = std::time(nullptr);

    ASSERT_EQ(seen.adapters.size(), 1u);
    const AdapterInfo& adapter = seen.adapters[0];
    EXPECT_EQ(adapter.index, cli0);
    EXPECT_EQ(adapter.dhcpEnabled, 1u);
    EXPECT_EQ(seen.dhcpFlag, std::optional<bool>(true));
    ASSERT_EQ(adapter.ipAddresses.size(), 1u);
    EXPECT_EQ(adapter.ipAddresses[0].mask, "255.255.255.0");
    ASSERT_EQ(adapter.dhcpServer.size(), 1u);
    EXPECT_EQ(adapter.dhcpServer[0].address, "192.0.2.1");
    EXPECT_EQ(adapter.dhcpServer[0].context, 0xC0000201u);
    ASSERT_EQ(adapter.gateways.size(), 1u);
    EXPECT_EQ(adapter.gateways[0].address, "192.0.2.1");
    // The record's times: obtained during this test, one hour of lease.
    EXPECT_GE(adapter.leaseObtained, started - 2);
    EXPECT_LE(adapter.leaseObtained, finished + 2);
    EXPECT_EQ(adapter.leaseExpires - adapter.leaseObtained, 3600);
    EXPECT_EQ(adapter.haveWins, 1u);
    EXPECT_EQ(addressesOf(adapter.primaryWins), std::vector<std::string>{"192.0.2.137"});
    EXPECT_EQ(addressesOf(adapter.secondaryWins), std::vector<std::string>{"192.0.2.138"});

    const std::vector<std::string> servers{"192.0.2.53", "192.0.2.54"};
    EXPECT_EQ(seen.dns, servers);
    EXPECT_EQ(seen.dnsFromLeaseOnly, servers);
}

}  // namespace
}  // namespace nicops::platform::linux_host
