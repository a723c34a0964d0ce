// The public-address lookup of 1,000 local addresses, in a network namespace of their own,
// against nicops-echo in a second namespace reached over a veth pair that delays every packet
// from the server by 5 ms (netem), as a far endpoint would:
//   - `nicopsctl lookup --concurrency 1` (the lookups one after another) and
//     `--concurrency 32` (target: at least 20 times faster), start to exit;
//   - the peer: `curl --interface ADDRESS` run for each of the same addresses one after
//     another, in the same run;
//   - the export text of 100,000 addresses built in process (target: 100 ms at most).
// Needs root; prints figures only.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "external/clipboard_export.h"
#include "ui/app_settings.h"

namespace {

namespace fs = std::filesystem;
using nicops::bench::Clock;
using nicops::bench::millisecondsSince;
using nicops::bench::run;
using nicops::bench::timeCommand;

constexpr int kAddresses = 1000;
constexpr const char* kServer = "10.30.255.254";

std::string localAddress(int i) {
    return "10.30." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
}

struct Lab {
    std::string client = "nicops-test-lookup-c-" + std::to_string(getpid());
    std::string server = "nicops-test-lookup-s-" + std::to_string(getpid());
    bool created = false;
    pid_t echo = -1;

    Lab() {
        created =
            run("ip netns add " + client) == 0 && run("ip netns add " + server) == 0 &&
            run("ip -n " + client + " link add lk0 type veth peer name lk1 netns " + server) == 0 &&
            run("ip -n " + client + " link set lk0 up") == 0 &&
            run("ip -n " + server + " link set lk1 up") == 0 &&
            run("ip -n " + server + " link set lo up") == 0 &&
            run("ip -n " + server + " addr add " + kServer + "/16 dev lk1") == 0;
    }
    ~Lab() {
        if (echo > 0) {
            kill(echo, SIGTERM);
            waitpid(echo, nullptr, 0);
        }
        run("ip netns del " + client + " 2>/dev/null");
        run("ip netns del " + server + " 2>/dev/null");
    }
};

}  // namespace

int main() {
    if (geteuid() != 0) {
        std::printf("lookup_bench: needs root to create network namespaces; nothing measured\n");
        return 0;
    }
    const fs::path work = fs::temp_directory_path() / ("nicops-lookup-" + std::to_string(getpid()));
    fs::create_directories(work);
    Lab lab;
    if (!lab.created) {
        std::printf("lookup_bench: could not set up the namespaces\n");
        fs::remove_all(work);
        return 1;
    }
    {
        std::ofstream batch(work / "adds.batch");
        for (int i = 0; i < kAddresses; ++i) {
            batch << "addr add " << localAddress(i) << "/16 dev lk0\n";
        }
    }
    run("ip -n " + lab.client + " -batch " + (work / "adds.batch").string());
    const bool delayed = run("ip netns exec " + lab.server +
                             " tc qdisc add dev lk1 root netem delay 5ms 2>/dev/null") == 0;

    lab.echo = fork();
    if (lab.echo == 0) {
        freopen("/dev/null", "w", stderr);  // one log line per request
        const std::string listen = std::string(kServer) + ":8080";
        execlp("ip", "ip", "netns", "exec", lab.server.c_str(), NICOPS_ECHO_PATH, "--listen",
               listen.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // The settings file names the endpoint (GBK: the tree's literals are GBK bytes).
    std::ofstream(work / "UserConfig.ini", std::ios::binary)
        << "[" << nicops::ui::kSettingsSection << "]\r\n"
        << nicops::ui::kLookupServerKey << "=http://" << kServer << ":8080\r\n";
    const std::string probe = "ip netns exec " + lab.client + " curl -s -o /dev/null --interface " +
                              localAddress(0) + " http://" + kServer + ":8080/GetIp/default.aspx";
    for (int tries = 0; tries < 50 && run(probe) != 0; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    const auto lookup = [&](const char* concurrency) {
        return timeCommand({"ip", "netns", "exec", lab.client, NICOPSCTL_PATH, "--config",
                            work.string(), "lookup", "--concurrency", concurrency});
    };
    const double one = lookup("1");
    const double many = lookup("32");

    const std::string script = (work / "curl.sh").string();
    {
        std::ofstream sh(script);
        for (int i = 0; i < kAddresses; ++i) {
            sh << "curl -s -o /dev/null --max-time 2 --interface " << localAddress(i) << " http://"
               << kServer << ":8080/GetIp/default.aspx\n";
        }
    }
    const double curl = timeCommand({"ip", "netns", "exec", lab.client, "sh", script});

    nicops::inventory::AdapterSnapshot snapshot;
    for (int i = 0; i < 100000; ++i) {
        nicops::inventory::AddressEntry entry;
        entry.mask = "255.255.0.0";
        entry.externalAddress =
            "203.0." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
        snapshot.addresses.store("10." + std::to_string(i / 65536) + "." +
                                     std::to_string(i / 256 % 256) + "." + std::to_string(i % 256),
                                 entry);
    }
    std::vector<double> exportTimes;
    std::size_t exported = 0;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        exported =
            nicops::external::buildExportText(snapshot, nicops::ui::kDefaultCopyFormat).size();
        exportTimes.push_back(millisecondsSince(start));
    }
    std::sort(exportTimes.begin(), exportTimes.end());
    fs::remove_all(work);

    std::printf("link delay: %s\n", delayed ? "5 ms from the server (netem)" : "none (no netem)");
    std::printf("nicopsctl lookup, %d addresses, concurrency 1: %.0f ms\n", kAddresses, one);
    std::printf("nicopsctl lookup, %d addresses, concurrency 32: %.0f ms\n", kAddresses, many);
    std::printf("curl --interface, the same %d requests one after another: %.0f ms\n", kAddresses,
                curl);
    if (one > 0 && many > 0) {
        std::printf("ratio concurrency 1 / concurrency 32: %.1f   target >= 20\n", one / many);
    }
    if (one > 0 && curl > 0) {
        std::printf("ratio nicopsctl lookup (concurrency 1) / curl: %.2f\n", one / curl);
    }
    std::printf("export text of 100000 addresses (%zu bytes): median %.1f ms   target <= 100 ms\n",
                exported, exportTimes[2]);
    return 0;
}
