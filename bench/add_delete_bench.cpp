// Adding and deleting 10,000 addresses on a link, each in a network namespace of its own:
//   - `nicopsctl add` of 40 range lines of 250 addresses, start to exit (target: no slower than
//     the peer), and `nicopsctl delete` of the same 10,000 addresses;
//   - the peer: `ip -force -batch` doing the same adds and then the same deletes (in its best
//     order, primary last) in a fresh namespace, in the same run;
//   - `nicopsctl add --probe` of a 1,000-address range that nothing answers (target: 2 s at
//     most: the probes of a line go out together and cost one time-out, not 1,000).
// Needs root; prints figures only.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

using nicops::bench::run;
using nicops::bench::timeCommand;
namespace fs = std::filesystem;

constexpr int kLines = 40;  // 40 lines of 250 addresses: 10,000
constexpr int kPerLine = 250;

// Counts the IPv4 addresses on bench0 of a namespace.
int addressCount(const std::string& ns) {
    const std::string command = "ip -n " + ns + " -4 -o addr show dev bench0 | wc -l";
    FILE* pipe = popen(command.c_str(), "r");
    int count = -1;
    if (pipe != nullptr) {
        if (std::fscanf(pipe, "%d", &count) != 1) {
            count = -1;
        }
        pclose(pipe);
    }
    return count;
}

// A namespace with an up veth bench0 whose deletes never take secondaries along.
struct Namespace {
    explicit Namespace(const std::string& suffix)
        : name("nicops-test-bench-" + suffix + "-" + std::to_string(getpid())) {
        created = run("ip netns add " + name) == 0 &&
                  run("ip -n " + name + " link add bench0 type veth peer name bench0p") == 0 &&
                  run("ip -n " + name + " link set bench0 up") == 0 &&
                  run("ip -n " + name + " link set bench0p up") == 0 &&
                  run("ip netns exec " + name +
                      " sysctl -qw net.ipv4.conf.bench0.promote_secondaries=1") == 0;
    }
    ~Namespace() { run("ip netns del " + name + " 2>/dev/null"); }
    std::string name;
    bool created = false;
};

std::string address(int line, int host) {
    return "10.200." + std::to_string(line) + "." + std::to_string(host);
}

void printRatio(const char* what, double ours, double peer) {
    if (ours < 0 || peer <= 0) {
        std::printf("ratio %s: not measured (a command failed)\n", what);
        return;
    }
    std::printf("ratio %s: %.2f   target <= 1.0\n", what, ours / peer);
}

}  // namespace

int main() {
    if (geteuid() != 0) {
        std::printf(
            "add_delete_bench: needs root to create network namespaces; nothing measured\n");
        return 0;
    }
    const fs::path work = fs::temp_directory_path() / ("nicops-bench-" + std::to_string(getpid()));
    fs::create_directories(work);
    const std::string ranges = (work / "ranges.txt").string();
    const std::string adds = (work / "adds.batch").string();
    const std::string deletes = (work / "deletes.batch").string();
    std::vector<std::string> deleteArgs;
    {
        std::ofstream r(ranges), a(adds), d(deletes);
        for (int line = 0; line < kLines; ++line) {
            r << "10.200." << line << ".{1-" << kPerLine << "}\r\n";
            for (int host = 1; host <= kPerLine; ++host) {
                a << "addr add " << address(line, host) << "/16 dev bench0\n";
                deleteArgs.push_back(address(line, host));
            }
        }
        // The peer deletes the secondaries first and the primary last, its best order: deleting
        // the primary first makes the kernel promote a secondary and move every other one
        // along, at each of the 10,000 deletes (that run takes tens of minutes).
        for (auto it = deleteArgs.rbegin(); it != deleteArgs.rend(); ++it) {
            d << "addr del " << *it << "/16 dev bench0\n";
        }
    }
    const int total = kLines * kPerLine;

    Namespace ours("ctl");
    Namespace peer("ip");
    Namespace probe("probe");
    if (!ours.created || !peer.created || !probe.created) {
        std::printf("add_delete_bench: could not set up the namespaces\n");
        fs::remove_all(work);
        return 1;
    }
    const std::vector<std::string> ctl = {
        "ip",          "netns",        "exec",
        ours.name,     NICOPSCTL_PATH, "--config",
        work.string(), "--store",      (work / "store.json").string()};

    std::vector<std::string> add = ctl;
    add.insert(add.end(), {"add", "--adapter", "bench0", "--mask", "255.255.0.0"});
    const double ctlAddMs = timeCommand(add, ranges);
    const int ctlAdded = addressCount(ours.name);

    std::vector<std::string> del = ctl;
    del.insert(del.end(), {"delete", "--adapter", "bench0"});
    del.insert(del.end(), deleteArgs.begin(), deleteArgs.end());
    const double ctlDeleteMs = timeCommand(del);
    const int ctlLeft = addressCount(ours.name);

    const double ipAddMs = timeCommand({"ip", "-n", peer.name, "-force", "-batch", adds});
    const int ipAdded = addressCount(peer.name);
    const double ipDeleteMs = timeCommand({"ip", "-n", peer.name, "-force", "-batch", deletes});
    const int ipLeft = addressCount(peer.name);

    // Nothing answers on the probe namespace's link: the on-link addresses wait for ARP in vain.
    run("ip -n " + probe.name + " addr add 10.201.255.254/16 dev bench0");
    const std::string probeRanges = (work / "probe.txt").string();
    {
        std::ofstream p(probeRanges);
        for (int line = 0; line < 4; ++line) {
            p << "10.201." << line << ".{1-250}\r\n";
        }
    }
    std::vector<std::string> probeAdd = {
        "ip",          "netns",        "exec",
        probe.name,    NICOPSCTL_PATH, "--config",
        work.string(), "--store",      (work / "probe-store.json").string(),
        "add",         "--adapter",    "bench0",
        "--mask",      "255.255.0.0",  "--probe"};
    const double probeMs = timeCommand(probeAdd, probeRanges);
    const int probeAdded = addressCount(probe.name) - 1;

    std::printf("nicopsctl add, %d addresses in %d range lines: %.0f ms (%d on the link)\n", total,
                kLines, ctlAddMs, ctlAdded);
    std::printf("ip -force -batch, the same %d adds: %.0f ms (%d on the link)\n", total, ipAddMs,
                ipAdded);
    printRatio("add nicopsctl / ip", ctlAddMs, ipAddMs);
    std::printf("nicopsctl delete, the same %d addresses: %.0f ms (%d left)\n", total, ctlDeleteMs,
                ctlLeft);
    std::printf("ip -force -batch, the same %d deletes: %.0f ms (%d left)\n", total, ipDeleteMs,
                ipLeft);
    printRatio("delete nicopsctl / ip", ctlDeleteMs, ipDeleteMs);
    std::printf(
        "nicopsctl add --probe, 1000 addresses nobody answers: %.0f ms (%d added)   target <= "
        "2000 ms\n",
        probeMs, probeAdded);
    fs::remove_all(work);
    return 0;
}
