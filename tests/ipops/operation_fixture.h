// What the operation tests share: a small simulated host in a temporary folder, the real file
// store beside it, and an OperationHost that records what the operations tell the window.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "inventory/snapshot.h"
#include "ipops/operation_host.h"
#include "platform/file_store.h"
#include "platform/sim/sim_host.h"
#include "support/temp_dir.h"

namespace nicops::ipops {

// Records log lines and busy calls; its refresh rebuilds the snapshot as the window does.
class RecordingHost final : public OperationHost {
public:
    RecordingHost(platform::IpHelper& ipHelper, std::mutex& snapshotMutex,
                  inventory::AdapterSnapshot& snapshot, std::uint32_t current)
        : ipHelper_(ipHelper),
          snapshotMutex_(snapshotMutex),
          snapshot_(snapshot),
          current_(current) {}

    void appendLog(std::string_view message) override {
        std::lock_guard lock(mutex_);
        log_.emplace_back(message);
    }
    void setBusy(bool busy) override {
        std::lock_guard lock(mutex_);
        log_.push_back(busy ? "<busy>" : "</busy>");
    }
    void refreshDisplay() override {
        {
            std::lock_guard lock(snapshotMutex_);
            inventory::buildAdapterSnapshot(ipHelper_, snapshot_);
        }
        appendLog("刷新显示完成.");
    }
    std::uint32_t currentAdapterIndex() const override { return current_; }

    // The log with the busy marks; takeLog() empties it.
    std::vector<std::string> takeLog() {
        std::lock_guard lock(mutex_);
        return std::exchange(log_, {});
    }

private:
    platform::IpHelper& ipHelper_;
    std::mutex& snapshotMutex_;
    inventory::AdapterSnapshot& snapshot_;
    std::uint32_t current_;
    std::mutex mutex_;
    std::vector<std::string> log_;
};

// Two adapters: 12 "eth0" with 10.0.0.5/24 (context 5) and 10.0.0.6/24 (context 6), 13 "eth1"
// with 10.9.0.1/16 (context 7) and the gateway 10.9.0.254. 10.0.0.99 is refused with 5;
// 10.0.0.20 and 10.0.0.22 answer echo requests.
inline constexpr const char* kTwoAdapters = R"({"adapters": [
  {"index": 12, "adapterName": "eth0",
   "ipAddresses": [{"address": "10.0.0.5", "mask": "255.255.255.0", "context": 5},
                   {"address": "10.0.0.6", "mask": "255.255.255.0", "context": 6}]},
  {"index": 13, "adapterName": "eth1",
   "ipAddresses": [{"address": "10.9.0.1", "mask": "255.255.0.0", "context": 7}],
   "gateways": [{"address": "10.9.0.254", "mask": "255.255.255.255", "context": 9}]}],
  "refuse": {"10.0.0.99": 5},
  "answering": ["10.0.0.20", "10.0.0.22"]})";

class OperationTest : public ::testing::Test {
protected:
    // Opens the host (kTwoAdapters unless given) with adapter `current` shown.
    void openHost(std::uint32_t current = 12, const std::string& description = kTwoAdapters) {
        hostPath_ = dir_.write("host.json", description);
        std::string error;
        sim_ = platform::sim::SimHost::open(hostPath_, error);
        ASSERT_NE(sim_, nullptr) << error;
        inventory::buildAdapterSnapshot(*sim_, snapshot_);
        host_ = std::make_unique<RecordingHost>(*sim_, snapshotMutex_, snapshot_, current);
    }

    OperationServices services() { return {*sim_, *sim_, store_, snapshotMutex_, snapshot_}; }

    // The adapter's addresses as "address/mask", in the host's order.
    std::vector<std::string> addressesOf(std::uint32_t index) {
        std::vector<std::string> out;
        for (const auto& adapter : sim_->getAdaptersInfo()) {
            if (adapter.index == index) {
                for (const auto& entry : adapter.ipAddresses) {
                    out.push_back(entry.address + "/" + entry.mask);
                }
            }
        }
        return out;
    }

    std::string stored(const std::string& adapterName, const std::string& valueName) {
        return store_.readMultiString(
            "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\"
            "Interfaces\\" +
                adapterName,
            valueName);
    }

    nicops::testing::TempDir dir_;
    std::string hostPath_;
    std::string storePath_ = (dir_.path() / "store.json").string();
    platform::FileStore store_{storePath_};
    std::unique_ptr<platform::sim::SimHost> sim_;
    std::mutex snapshotMutex_;
    inventory::AdapterSnapshot snapshot_;
    std::unique_ptr<RecordingHost> host_;
};

// The lines persistAddresses logs when both writes succeed.
inline std::vector<std::string> storedLines() {
    return {"开始刷新系统储存...", "储存IP地址成功.", "储存子网掩码成功."};
}

// a followed by b.
inline std::vector<std::string> operator+(std::vector<std::string> a,
                                          const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace nicops::ipops
