// The adapter snapshot: the program's one picture of the host's adapters and their IPv4
// configuration, rebuilt from scratch at every refresh.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/connection_names.h"
#include "inventory/keyed_table.h"
#include "platform/ip_helper.h"

namespace nicops::inventory {

struct AdapterRecord {
    std::string connectionName;
    std::string adapterName;
    std::string description;
    std::string physicalAddress;  // "00-1A-2B-3C-4D-5E"; empty without a physical address
    std::uint32_t adapterType = 0;
    std::uint32_t dhcpEnabled = 0;
    std::uint32_t addressCount = 0;
    std::uint32_t gatewayCount = 0;
    std::uint32_t dhcpServerCount = 0;
    std::uint32_t haveWins = 0;
    std::uint32_t primaryWinsCount = 0;
    std::uint32_t secondaryWinsCount = 0;
    std::int32_t leaseObtained = 0;
    std::int32_t leaseExpires = 0;
    std::string primaryDns;
    std::string secondaryDns;
};

struct AddressEntry {
    std::uint32_t hasNext = 0;
    std::string mask;
    std::uint32_t nteContext = 0;
    std::uint32_t adapterIndex = 0;
    std::string externalAddress;
    std::string location;
};

using AddressTable = KeyedTable<std::string, AddressEntry>;

// The five address kinds, in the order the list shows them.
enum class AddressKind { address, gateway, dhcpServer, primaryWins, secondaryWins };
inline constexpr AddressKind kAllAddressKinds[] = {
    AddressKind::address, AddressKind::gateway, AddressKind::dhcpServer, AddressKind::primaryWins,
    AddressKind::secondaryWins};

// What the list's 类型 column and the kinds' check boxes call each kind, in the kinds' order.
// The primary WINS text's leading space is the list's own.
inline constexpr std::string_view kAddressKindTexts[] = {"IP-地址", "IP-网关", "DHCP-IP",
                                                         " 主-WINS-IP", "辅-WINS-IP"};

constexpr std::size_t kindSlot(AddressKind kind) {
    return static_cast<std::size_t>(kind);
}
constexpr std::string_view kindText(AddressKind kind) {
    return kAddressKindTexts[kindSlot(kind)];
}

struct AdapterSnapshot {
    KeyedTable<std::uint32_t, AdapterRecord> adapters;
    AddressTable addresses;
    AddressTable gateways;
    AddressTable dhcpServers;
    AddressTable primaryWinsServers;
    AddressTable secondaryWinsServers;

    AddressTable& table(AddressKind kind);
    const AddressTable& table(AddressKind kind) const;
    void clear();
};

// Clears and refills every table of the snapshot. Never reports anything: a failed
// enumeration leaves the snapshot empty.
void buildAdapterSnapshot(platform::IpHelper& ipHelper, AdapterSnapshot& snapshot);

// Sets both texts to the adapter's first and second DNS servers (empty when missing); false
// when the per-adapter data can't be read.
bool readDnsServers(platform::IpHelper& ipHelper, std::uint32_t adapterIndex, std::string& primary,
                    std::string& secondary);

// "00-1A-2B-..." from the physical address bytes.
std::string formatPhysicalAddress(const std::vector<std::uint8_t>& bytes);

}  // namespace nicops::inventory
