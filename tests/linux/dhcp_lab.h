// A lab for switching a link between DHCP and static addressing on the real kernel: dnsmasq
// serves DHCP on link srv0 (192.0.2.1/24) of a server namespace; its veth peer cli0 lives in a
// client namespace. Code under test runs in the client namespace and sees the lab's folders as
// /etc, /run and /var/lib/dhcp (bind mounts in a private mount namespace), so the machine's
// resolver and lease files are never written. The DHCP clients started in the client namespace
// outlive whoever started them; they are stopped before the namespaces go.
#pragma once

#include <sys/stat.h>
#include <cctype>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "netns_lab.h"
#include "platform/linux/host_processes.h"

namespace nicops::linux_test {

// The resolver file the lab's /etc starts with.
inline constexpr const char* kLabResolvConf =
    "search lab.example\nnameserver 203.0.113.99\noptions ndots:2\n";

// The default routes of a link as "via GATEWAY" (or "on-link"), in the kernel's order.
inline std::vector<std::string> defaultRoutesOf(Netns& netns, const std::string& link) {
    std::vector<std::string> routes;
    std::istringstream lines(netns.ip("-4 route show default dev " + link).output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string word;
        std::string route = "on-link";
        while (words >> word) {
            if (word == "via" && words >> word) {
                route = "via " + word;
            }
        }
        routes.push_back(route);
    }
    return routes;
}

// The nameserver lines' addresses of a resolv.conf, in order.
inline std::vector<std::string> nameserversIn(const std::string& resolvConf) {
    std::vector<std::string> servers;
    std::istringstream lines(resolvConf);
    std::string word;
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        if (words >> word && word == "nameserver" && words >> word) {
            servers.push_back(word);
        }
    }
    return servers;
}

// Whether a process of that id still runs (a zombie has ended: its command line is empty).
// Whether `leased` ("A.B.C.D/PREFIX", as Netns::ipv4Addresses gives it) is one address of the
// lab's DHCP range, 192.0.2.50 to 192.0.2.60, with its /24.
inline bool isLabLease(const std::string& leased) {
    const std::string prefix = "192.0.2.";
    const auto slash = leased.find('/');
    if (leased.rfind(prefix, 0) != 0 || slash == std::string::npos ||
        leased.substr(slash) != "/24") {
        return false;
    }
    const std::string last = leased.substr(prefix.size(), slash - prefix.size());
    return last.size() == 2 && std::isdigit(static_cast<unsigned char>(last[1])) && last >= "50" &&
           last <= "60";
}

inline bool stillRuns(pid_t pid) {
    return pid > 0 && !readText("/proc/" + std::to_string(pid) + "/cmdline").empty();
}

// Whether the calling thread sees the resolver file of the lab at `root` as /etc/resolv.conf:
// nothing may run under test before it does.
inline bool seesLabResolvConf(const std::filesystem::path& root) {
    struct stat seen {};
    struct stat lab {};
    return ::stat("/etc/resolv.conf", &seen) == 0 &&
           ::stat((root / "etc/resolv.conf").c_str(), &lab) == 0 && seen.st_dev == lab.st_dev &&
           seen.st_ino == lab.st_ino;
}

class DhcpLab {
public:
    // Why the lab can't be built here; empty when it can.
    static std::string skipReason() {
        if (auto reason = namespaceSkipReason(); !reason.empty()) {
            return reason;
        }
        if (runCommand("command -v dnsmasq && command -v dhclient").status != 0) {
            return "needs dnsmasq and dhclient (packages dnsmasq-base, isc-dhcp-client)";
        }
        return {};
    }

    // Failures are reported as test failures; ready() tells whether the lab stands.
    DhcpLab() : temp_("nicops-dhcp-lab"), root_(temp_.path) {
        std::filesystem::create_directories(root_ / "run/dbus");
        std::filesystem::create_directories(root_ / "varlib/dhcp");
        const auto copied = runCommand("cp -a /etc " + shellQuote((root_ / "etc").string()));
        if (copied.status != 0) {
            ADD_FAILURE() << "copying /etc: " << copied.output;
            return;
        }
        // The copy may be a link to the machine's resolver file: replaced, never written through.
        std::filesystem::remove(root_ / "etc/resolv.conf");
        std::ofstream(root_ / "etc/resolv.conf") << kLabResolvConf;

        if (!server_.created() || !client_.created()) {
            return;
        }
        server_.ip("link add srv0 type veth peer name cli0 netns " + client_.name());
        server_.ip("addr add 192.0.2.1/24 dev srv0");
        server_.ip("link set srv0 up");
        client_.ip("link set cli0 up");
        dnsmasq_.emplace(
            "exec ip netns exec " + server_.name() +
            " dnsmasq --keep-in-foreground --conf-file=/dev/null --port=0 --no-resolv --no-hosts"
            " --interface=srv0 --bind-interfaces --user=root"
            " --dhcp-range=192.0.2.50,192.0.2.60,255.255.255.0,1h"
            " --dhcp-option=option:router,192.0.2.1 --dhcp-option=option:dns-server,192.0.2.53"
            " --dhcp-leasefile=" +
            (root_ / "dnsmasq.leases").string() +
            " --log-facility=" + (root_ / "dnsmasq.log").string());
        ready_ = !::testing::Test::HasFailure();
    }

    ~DhcpLab() {
        struct stat ns {};
        if (::stat(("/var/run/netns/" + client_.name()).c_str(), &ns) != 0) {
            return;
        }
        using platform::linux_host::NamespaceId;
        for (const char* dhcpClient : {"dhclient", "dhcpcd", "udhcpc"}) {
            for (const pid_t pid : platform::linux_host::processesInNamespace(
                     dhcpClient, NamespaceId{ns.st_dev, ns.st_ino})) {
                platform::linux_host::stopProcess(pid, std::chrono::seconds(1));
            }
        }
    }
    DhcpLab(const DhcpLab&) = delete;
    DhcpLab& operator=(const DhcpLab&) = delete;

    bool ready() const { return ready_; }
    Netns& server() { return server_; }
    Netns& client() { return client_; }
    // The lab's folders: etc, run, varlib/dhcp, and dnsmasq's files.
    const std::filesystem::path& root() const { return root_; }
    std::string dnsmasqLog() const { return readText(root_ / "dnsmasq.log"); }
    std::string resolvConf() const { return readText(root_ / "etc/resolv.conf"); }

    // The lab's folders and where code under test must see them, in mount order.
    std::vector<std::pair<std::filesystem::path, std::string>> privateFolders() const {
        return {{root_ / "etc", "/etc"},
                {root_ / "run", "/run"},
                {root_ / "varlib/dhcp", "/var/lib/dhcp"}};
    }

private:
    TempFolder temp_;
    std::filesystem::path root_;
    Netns server_;
    Netns client_;
    std::optional<ChildProcess> dnsmasq_;
    bool ready_ = false;
};

}  // namespace nicops::linux_test
