// What the list menu's operations need: the platform services and the snapshot they work on,
// and a narrow view of the main window (log, busy state, refresh, the adapter shown). The main
// window's presenter is an OperationHost; nicopsctl drives the same presenter.
#pragma once

#include <cstdint>
#include <mutex>
#include <string_view>

#include "inventory/snapshot.h"
#include "platform/address_probe.h"
#include "platform/ip_helper.h"
#include "platform/persisted_store.h"

namespace nicops::ipops {

struct OperationServices {
    platform::IpHelper& ipHelper;
    platform::AddressProbe& probe;
    platform::PersistedStore& store;
    std::mutex& snapshotMutex;  // guards `snapshot`; held only while reading or rebuilding it
    inventory::AdapterSnapshot& snapshot;
};

class OperationHost {
public:
    virtual ~OperationHost() = default;

    // One time-stamped log line; callable from any thread.
    virtual void appendLog(std::string_view message) = 0;
    // Busy periods nest; the controls come back when the outermost one ends.
    virtual void setBusy(bool busy) = 0;
    // New snapshot, adapter box, list and details; logs "刷新显示完成.".
    virtual void refreshDisplay() = 0;
    // Shows the current adapter's rows and details again from the snapshot as it is (no rebuild),
    // so that results written into its entries appear.
    virtual void showCurrentAdapter() {}
    // As refreshDisplay, logging nothing: after a change made by another process, whose log
    // lines (its own refresh's among them) have reached this host already.
    virtual void reloadDisplay() { refreshDisplay(); }
    // The adapter shown (0xFFFFFFFF when none).
    virtual std::uint32_t currentAdapterIndex() const = 0;
};

}  // namespace nicops::ipops
