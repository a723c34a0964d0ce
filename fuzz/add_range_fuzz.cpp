// The add operation on a simulated host, for any range text, mask and in-use check: what is
// refused changes nothing (no address appears that was not logged as added, no other adapter
// changes), what is logged as added is held by the current adapter afterwards with the mask
// asked for, and the summary line's counts are the logged successes and counted failures.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "inventory/snapshot.h"
#include "ipops/add_range.h"
#include "ipops/persisted_settings.h"
#include "platform/file_store.h"
#include "platform/sim/sim_host.h"
#include "text/text_functions.h"

using namespace nicops;

namespace {

// 12 with two addresses, 13 with one; 10.0.0.99 is refused by the host, 10.0.0.20 answers the
// probe.
constexpr const char* kHost = R"({"adapters": [
  {"index": 12, "adapterName": "eth0",
   "ipAddresses": [{"address": "10.0.0.5", "mask": "255.255.255.0", "context": 5},
                   {"address": "10.0.0.6", "mask": "255.255.255.0", "context": 6}]},
  {"index": 13, "adapterName": "eth1",
   "ipAddresses": [{"address": "10.9.0.1", "mask": "255.255.0.0", "context": 7}]}],
  "refuse": {"10.0.0.99": 5},
  "answering": ["10.0.0.20", "10.0.0.5"]})";

constexpr const char* kMasks[] = {"255.255.255.0", "", "255.0.255.0", "0.0.0.0", "x"};
constexpr std::uint32_t kAdapters[] = {12, 13, 99, 0xFFFFFFFFU};

// The longest range the target runs; longer ones take time, not new paths.
constexpr std::int64_t kLongestRange = 3000;

class Host final : public ipops::OperationHost {
public:
    Host(platform::IpHelper& ipHelper, std::mutex& mutex, inventory::AdapterSnapshot& snapshot,
         std::uint32_t current)
        : ipHelper_(ipHelper), mutex_(mutex), snapshot_(snapshot), current_(current) {}
    void appendLog(std::string_view message) override { log.emplace_back(message); }
    void setBusy(bool busy) override { depth += busy ? 1 : -1; }
    void refreshDisplay() override {
        std::lock_guard lock(mutex_);
        inventory::buildAdapterSnapshot(ipHelper_, snapshot_);
    }
    std::uint32_t currentAdapterIndex() const override { return current_; }

    std::vector<std::string> log;
    int depth = 0;

private:
    platform::IpHelper& ipHelper_;
    std::mutex& mutex_;
    inventory::AdapterSnapshot& snapshot_;
    std::uint32_t current_;
};

// Every adapter's addresses as address -> mask.
std::map<std::uint32_t, std::map<std::string, std::string>> held(platform::sim::SimHost& sim) {
    std::map<std::uint32_t, std::map<std::string, std::string>> out;
    for (const auto& adapter : sim.getAdaptersInfo()) {
        auto& addresses = out[adapter.index];
        for (const auto& entry : adapter.ipAddresses) {
            addresses[entry.address] = entry.mask;
        }
    }
    return out;
}

// Whether some range line of the text would expand to more than kLongestRange addresses (read
// the way the operation reads it).
bool hasLongRange(const std::string& rangeText) {
    for (const auto& line : text::splitText(rangeText, "\r\n")) {
        if (line.find('{') == std::string::npos) {
            continue;
        }
        const std::int64_t start = text::textToInteger(text::extractBetween(line, "{", "-"));
        const std::int64_t end = text::textToInteger(text::extractBetween(line, "-", "}"));
        if (end - start > kLongestRange) {
            return true;
        }
    }
    return false;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = nicops::fuzz::inputText(data, size);
    const std::uint8_t choice = nicops::fuzz::takeByte(input);
    ipops::AddRequest request;
    request.checkInUse = (choice & 1) != 0;
    request.maskText = kMasks[(choice >> 1) % std::size(kMasks)];
    const std::uint32_t current = kAdapters[(choice >> 4) % std::size(kAdapters)];
    request.rangeText = std::string(input);
    if (hasLongRange(request.rangeText)) {
        return 0;
    }

    const std::string folder = nicops::fuzz::scratchFolder();
    const std::string hostPath = folder + "/host.json";
    std::ofstream(hostPath, std::ios::binary | std::ios::trunc) << kHost;
    std::string error;
    auto sim = platform::sim::SimHost::open(hostPath, error);
    FUZZ_CHECK(sim != nullptr);
    platform::FileStore store(folder + "/store.json");
    std::mutex mutex;
    inventory::AdapterSnapshot snapshot;
    inventory::buildAdapterSnapshot(*sim, snapshot);
    Host host(*sim, mutex, snapshot, current);
    const auto before = held(*sim);

    // Names never resolve: the target stays off the network.
    ipops::addIpRanges({*sim, *sim, store, mutex, snapshot}, host, request,
                       [](const std::string&) { return false; });
    FUZZ_CHECK(host.depth == 0);

    const std::string addPrefix = "添加IP-地址 ";
    std::set<std::string> added;
    std::uint32_t successes = 0;
    std::uint32_t failures = 0;
    std::string summary;
    for (const auto& line : host.log) {
        if (startsWith(line, addPrefix) && endsWith(line, " 成功.")) {
            ++successes;
            added.insert(line.substr(
                addPrefix.size(), line.size() - addPrefix.size() - std::string(" 成功.").size()));
        } else if (startsWith(line, addPrefix) &&
                   (line.find(" 失败,返回代码") != std::string::npos ||
                    endsWith(line, " 失败,该ip已存在."))) {
            ++failures;
        } else if (startsWith(line, "添加IP完成")) {
            summary = line;
        }
    }
    FUZZ_CHECK(summary == "添加IP完成，添加成功" + text::numberToText(successes) + "，添加失败" +
                              text::numberToText(failures) + "。");
    FUZZ_CHECK(added.size() == successes);  // one address is added once

    // The host after the run, and what the file holds when it is read again.
    const auto after = held(*sim);
    std::string reopenError;
    auto reread = platform::sim::SimHost::open(hostPath, reopenError);
    FUZZ_CHECK(reread != nullptr);
    FUZZ_CHECK(held(*reread) == after);
    for (const auto& [index, addresses] : after) {
        const auto& old = before.at(index);
        for (const auto& [address, mask] : old) {
            FUZZ_CHECK(addresses.count(address) == 1 && addresses.at(address) == mask);
        }
        for (const auto& [address, mask] : addresses) {
            if (old.count(address) == 0) {
                FUZZ_CHECK(index == current && added.count(address) == 1);
                FUZZ_CHECK(mask == request.maskText);
            }
        }
    }
    for (const auto& address : added) {
        FUZZ_CHECK(after.count(current) == 1 && after.at(current).count(address) == 1);
        FUZZ_CHECK(before.at(current).count(address) == 0);
        FUZZ_CHECK(!(request.checkInUse && (address == "10.0.0.20" || address == "10.0.0.5")));
    }

    // The store holds the current adapter's addresses afterwards.
    if (after.count(current) != 0) {
        const std::string stored = store.readMultiString(
            ipops::tcpipInterfaceKey(current == 12 ? "eth0" : "eth1"), "IPAddress");
        std::set<std::string> storedSet;
        for (const auto& item : text::splitText(stored, "\r\n")) {
            if (!item.empty()) {
                storedSet.insert(item);
            }
        }
        std::set<std::string> expected;
        for (const auto& [address, mask] : after.at(current)) {
            expected.insert(address);
        }
        FUZZ_CHECK(storedSet == expected);
    }
    return 0;
}
