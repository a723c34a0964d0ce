// The in-use probe on Windows, run under Wine inside tests/windows/netns-lab (the Windows build's
// benchmarks are built with it and never run by ctest):
//   tests/windows/netns-lab build/windows/bench/windows_probe_bench.exe
// 1,000 silent addresses (198.18.0.0/15, the benchmarking range, sent towards the lab's gateway,
// which never answers) probed in one call with the add's time-out, three times; against a peer
// in the same run: 10 of them probed one call each. Prints the times, how many addresses got
// no answer, and the ratio of the batch to 1,000 single calls at the peer's rate. Outside the
// lab it sends nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ipops/add_range.h"
#include "platform/windows/icmp_probe_windows.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

constexpr int kAddresses = 1000;
constexpr int kSingles = 10;
constexpr int kRuns = 3;

}  // namespace

int main() {
    if (std::getenv("NICOPS_LAB_LINK") == nullptr) {
        std::printf(
            "windows_probe_bench: runs inside tests/windows/netns-lab only; nothing sent\n");
        return 0;
    }
    auto probe = nicops::platform::windows::IcmpEchoProbe::open();
    if (!probe) {
        std::printf("windows_probe_bench: no ICMP handle (IcmpCreateFile failed)\n");
        return 1;
    }
    std::vector<std::string> addresses;
    for (int i = 0; i < kAddresses; ++i) {
        addresses.push_back("198.18." + std::to_string(i / 250) + "." +
                            std::to_string(1 + i % 250));
    }
    const int timeoutMs = nicops::ipops::kInUseProbeTimeoutMs;

    std::vector<double> batches;
    for (int run = 0; run < kRuns; ++run) {
        const auto started = Clock::now();
        const auto times = probe->probeAddresses(addresses, timeoutMs);
        batches.push_back(millisecondsSince(started));
        const auto silent = std::count(times.begin(), times.end(), -1);
        std::printf(
            "batch %d: %d addresses in one call, %d ms time-out: %.1f ms (%lld unanswered)\n",
            run + 1, kAddresses, timeoutMs, batches.back(), static_cast<long long>(silent));
    }

    const auto started = Clock::now();
    int silent = 0;
    for (int i = 0; i < kSingles; ++i) {
        silent += probe->probeAddressInUse(addresses[static_cast<std::size_t>(i)], timeoutMs) < 0;
    }
    const double singles = millisecondsSince(started);
    std::printf("peer: %d addresses one call each: %.1f ms (%.1f ms a call, %d unanswered)\n",
                kSingles, singles, singles / kSingles, silent);

    std::sort(batches.begin(), batches.end());
    const double median = batches[batches.size() / 2];
    const double singlesFor1000 = singles / kSingles * kAddresses;
    std::printf("median batch: %.1f ms (target <= 2000 ms)\n", median);
    std::printf("ratio batch / %d single calls at the peer's rate (%.0f ms): %.4f\n", kAddresses,
                singlesFor1000, median / singlesFor1000);
    return 0;
}
