// Snapshot of a link with 20,000 addresses, inside a network namespace of its own:
//   - getAdaptersInfo() of the Linux backend (target: 50 ms at most),
//   - `nicopsctl list` end to end under `ip netns exec`,
//   - `ip -4 addr show dev X` under `ip netns exec`, the peer doing the same listing
//     (target: nicopsctl list within 2x of it).
// Needs root; prints figures only.
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "platform/linux/linux_backend.h"

namespace {

using nicops::bench::Clock;
using nicops::bench::millisecondsSince;
using nicops::bench::run;
using nicops::bench::timeCommand;
using nicops::platform::linux_host::AddressToAdd;
using nicops::platform::linux_host::openLinuxBackend;

constexpr int kAddresses = 20000;
constexpr int kRuns = 7;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double medianOfRuns(const std::vector<std::string>& args) {
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        const double t = timeCommand(args);
        if (t < 0) {
            return -1;
        }
        times.push_back(t);
    }
    return median(times);
}

// Runs f on a thread that joined the namespace, with the namespace's sysfs on a private /sys.
bool insideNamespace(const std::string& name, const std::function<void()>& f) {
    bool entered = false;
    std::thread worker([&] {
        const int fd = open(("/var/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || setns(fd, CLONE_NEWNET) != 0) {
            return;
        }
        close(fd);
        if (unshare(CLONE_NEWNS) == 0 && mount("", "/", nullptr, MS_SLAVE | MS_REC, nullptr) == 0) {
            umount2("/sys", MNT_DETACH);
            mount(name.c_str(), "/sys", "sysfs", 0, nullptr);
        }
        entered = true;
        f();
    });
    worker.join();
    return entered;
}

struct Namespace {
    std::string name = "nicops-test-bench-" + std::to_string(getpid());
    bool created = run("ip netns add " + name) == 0;
    ~Namespace() {
        if (created) {
            run("ip netns del " + name);
        }
    }
};

}  // namespace

int main() {
    if (geteuid() != 0) {
        std::printf(
            "linux_snapshot_bench: needs root to create a network namespace; nothing measured\n");
        return 0;
    }
    Namespace lab;
    if (!lab.created ||
        run("ip -n " + lab.name + " link add bench0 type veth peer name bench0p && ip -n " +
            lab.name + " link set bench0 up && ip -n " + lab.name + " link set bench0p up") != 0) {
        std::printf("linux_snapshot_bench: could not set up the namespace\n");
        return 1;
    }

    double fillMs = 0;
    std::size_t filled = 0;
    std::vector<double> snapshotTimes;
    std::size_t listed = 0;
    const bool entered = insideNamespace(lab.name, [&] {
        auto backend = openLinuxBackend(nicops::platform::linux_host::LinuxBackendOptions{});
        if (!backend) {
            return;
        }
        std::uint32_t index = 0;
        for (const auto& adapter : backend->getAdaptersInfo()) {
            if (adapter.adapterName == "bench0") {
                index = adapter.index;
            }
        }
        std::vector<AddressToAdd> items;
        for (int i = 0; i < kAddresses; ++i) {
            items.push_back(
                {"10.200." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1),
                 "255.255.0.0"});
        }
        const auto start = Clock::now();
        const auto results = backend->addIpAddresses(items, index);
        fillMs = millisecondsSince(start);
        filled = static_cast<std::size_t>(std::count(results.begin(), results.end(), 0u));

        backend->getAdaptersInfo();  // warm-up
        for (int i = 0; i < kRuns; ++i) {
            const auto begin = Clock::now();
            const auto adapters = backend->getAdaptersInfo();
            snapshotTimes.push_back(millisecondsSince(begin));
            listed = 0;
            for (const auto& adapter : adapters) {
                listed += adapter.ipAddresses.size();
            }
        }
    });
    if (!entered || snapshotTimes.empty()) {
        std::printf("linux_snapshot_bench: could not open the backend inside the namespace\n");
        return 1;
    }

    const auto configDir =
        std::filesystem::temp_directory_path() / ("nicops-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(configDir);
    const double ctlMs =
        medianOfRuns({"ip", "netns", "exec", lab.name, NICOPSCTL_PATH, "--config",
                      configDir.string(), "list", "--adapter", "bench0", "--kinds", "ip"});
    const double ipMs = medianOfRuns(
        {"ip", "netns", "exec", lab.name, "ip", "-4", "addr", "show", "dev", "bench0"});
    std::filesystem::remove_all(configDir);

    const double snapshotMs = median(snapshotTimes);
    std::printf("link bench0 filled with %zu of %d addresses by pipelined RTM_NEWADDR in %.0f ms\n",
                filled, kAddresses, fillMs);
    std::printf(
        "snapshot (getAdaptersInfo, %zu addresses): median %.1f ms, best %.1f ms   target <= 50 "
        "ms\n",
        listed, snapshotMs, *std::min_element(snapshotTimes.begin(), snapshotTimes.end()));
    std::printf("ip -4 addr show dev bench0 (ip netns exec): median %.1f ms\n", ipMs);
    if (ctlMs < 0) {
        std::printf("nicopsctl list: did not run successfully (%s)\n", NICOPSCTL_PATH);
    } else {
        std::printf("nicopsctl list (ip netns exec): median %.1f ms\n", ctlMs);
        std::printf("ratio nicopsctl list / ip addr show: %.2f   target <= 2\n",
                    ipMs > 0 ? ctlMs / ipMs : 0.0);
    }
    std::printf("ratio snapshot / ip addr show: %.2f\n", ipMs > 0 ? snapshotMs / ipMs : 0.0);
    return 0;
}
