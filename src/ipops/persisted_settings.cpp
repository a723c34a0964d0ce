#include "ipops/persisted_settings.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ipops/add_range.h"
#include "ipops/ipv4_box.h"
#include "text/text_functions.h"

namespace nicops::ipops {

namespace {

using text::numberToText;

constexpr std::string_view kInterfacesPath =
    "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\";
constexpr std::string_view kDefaultMask = "255.255.255.0";

// The items of a stored multi-string, empty ones (its terminating zeros among them) dropped.
std::vector<std::string> storedItems(platform::PersistedStore& store, const std::string& key,
                                     const std::string& valueName) {
    std::vector<std::string> items;
    for (std::string& item : text::splitText(store.readMultiString(key, valueName), "\r\n")) {
        if (!item.empty()) {
            items.push_back(std::move(item));
        }
    }
    return items;
}

struct AdapterToRestore {
    std::uint32_t index = 0;
    std::string adapterName;
    std::unordered_set<std::string> present;  // the addresses it has now
};

}  // namespace

std::string tcpipInterfaceKey(const std::string& adapterName) {
    return "HKEY_LOCAL_MACHINE\\" + std::string(kInterfacesPath) + adapterName;
}

bool persistAddresses(const OperationServices& services, OperationHost& host) {
    return persistAddresses(services, host, host.currentAdapterIndex());
}

bool persistAddresses(const OperationServices& services, OperationHost& host,
                      std::uint32_t adapterIndex) {
    host.appendLog("开始刷新系统储存...");
    bool found = false;
    std::string key;
    std::string addressList;
    std::string maskList;
    {
        std::lock_guard lock(services.snapshotMutex);
        const auto& snapshot = services.snapshot;
        if (const auto* record = snapshot.adapters.find(adapterIndex)) {
            found = true;
            key = tcpipInterfaceKey(record->adapterName);
            for (const auto& [address, entry] : snapshot.addresses) {
                if (entry.adapterIndex == adapterIndex) {
                    addressList += address + "\r\n";
                    maskList += entry.mask + "\r\n";
                }
            }
        }
    }
    if (!found) {
        // No adapter, so no key of its own: nothing is written anywhere.
        host.appendLog("储存IP地址失败！");
        host.appendLog("储存子网掩码失败！");
        return false;
    }
    if (!addressList.empty()) {
        addressList.resize(addressList.size() - 2);
        maskList.resize(maskList.size() - 2);
    }
    bool reasonLogged = false;
    const auto logReason = [&] {
        if (!reasonLogged) {
            reasonLogged = true;
            if (const std::string reason = services.store.lastError(); !reason.empty()) {
                host.appendLog(reason);
            }
        }
    };
    const bool addressesWritten = services.store.writeMultiString(key, "IPAddress", addressList);
    if (addressesWritten) {
        host.appendLog("储存IP地址成功.");
    } else {
        host.appendLog("储存IP地址失败！");
        logReason();
    }
    const bool masksWritten = services.store.writeMultiString(key, "SubnetMask", maskList);
    if (masksWritten) {
        host.appendLog("储存子网掩码成功.");
    } else {
        host.appendLog("储存子网掩码失败！");
        logReason();
    }
    return addressesWritten && masksWritten;
}

std::string loadDefaultMask(const OperationServices& services, std::uint32_t adapterIndex) {
    std::string adapterName;
    {
        std::lock_guard lock(services.snapshotMutex);
        const auto* record = services.snapshot.adapters.find(adapterIndex);
        if (record == nullptr) {
            return std::string(kDefaultMask);  // no adapter, no key to read
        }
        adapterName = record->adapterName;
    }
    std::string mask = ipv4BoxText(services.store.readTextValue(
        platform::kHkeyLocalMachine,
        std::string(kInterfacesPath) + adapterName + "\\DhcpSubnetMask"));
    if (mask.empty()) {
        mask = ipv4BoxText(
            services.store.readMultiString(tcpipInterfaceKey(adapterName), "SubnetMask"));
    }
    return mask.empty() ? std::string(kDefaultMask) : mask;
}

void restoreAddresses(const OperationServices& services, OperationHost& host) {
    host.setBusy(true);
    host.appendLog("开始恢复IP....");
    if (const std::string problem = services.ipHelper.addressChangeProblem(); !problem.empty()) {
        host.appendLog(problem);
    }
    inventory::AdapterSnapshot fresh;
    inventory::buildAdapterSnapshot(services.ipHelper, fresh);
    std::vector<AdapterToRestore> adapters;
    std::unordered_map<std::uint32_t, std::size_t> positions;
    for (const auto& [index, record] : fresh.adapters) {
        positions.emplace(index, adapters.size());
        adapters.push_back({index, record.adapterName, {}});
    }
    for (const auto& [address, entry] : fresh.addresses) {
        if (auto it = positions.find(entry.adapterIndex); it != positions.end()) {
            adapters[it->second].present.insert(address);
        }
    }

    std::uint32_t successes = 0;
    std::uint32_t failures = 0;
    bool readFailureLogged = false;
    for (const AdapterToRestore& adapter : adapters) {
        const std::string key = tcpipInterfaceKey(adapter.adapterName);
        const std::vector<std::string> addresses = storedItems(services.store, key, "IPAddress");
        const std::vector<std::string> masks = storedItems(services.store, key, "SubnetMask");
        if (!readFailureLogged) {
            if (const std::string reason = services.store.lastError(); !reason.empty()) {
                readFailureLogged = true;
                host.appendLog(reason);
            }
        }
        std::vector<platform::AddressToAdd> items;
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            if (!adapter.present.contains(addresses[i])) {
                items.push_back(
                    {addresses[i], i < masks.size() ? masks[i] : std::string(kDefaultMask)});
            }
        }
        for (std::size_t from = 0; from < items.size(); from += kAddressBatchSize) {
            const std::vector<platform::AddressToAdd> batch(
                items.begin() + static_cast<std::ptrdiff_t>(from),
                items.begin() +
                    static_cast<std::ptrdiff_t>(std::min(items.size(), from + kAddressBatchSize)));
            const std::vector<std::uint32_t> codes =
                services.ipHelper.addIpAddresses(batch, adapter.index);
            for (std::size_t i = 0; i < batch.size(); ++i) {
                const std::uint32_t code = i < codes.size() ? codes[i] : 0xFFFFFFFFU;
                if (code == platform::kNoError) {
                    ++successes;
                    host.appendLog("恢复IP-地址 " + batch[i].address + " 成功.");
                } else {
                    ++failures;
                    host.appendLog("恢复IP-地址 " + batch[i].address + " 失败,返回代码" +
                                   numberToText(code) + ".");
                }
            }
        }
    }
    host.refreshDisplay();
    host.appendLog("恢复IP完成，恢复成功" + numberToText(successes) + "，恢复失败" +
                   numberToText(failures) + "。");
    host.setBusy(false);
}

}  // namespace nicops::ipops
