#include "inventory/snapshot.h"

#include <utility>

namespace nicops::inventory {

AddressTable& AdapterSnapshot::table(AddressKind kind) {
    return const_cast<AddressTable&>(std::as_const(*this).table(kind));
}

const AddressTable& AdapterSnapshot::table(AddressKind kind) const {
    switch (kind) {
        case AddressKind::address:
            return addresses;
        case AddressKind::gateway:
            return gateways;
        case AddressKind::dhcpServer:
            return dhcpServers;
        case AddressKind::primaryWins:
            return primaryWinsServers;
        case AddressKind::secondaryWins:
            break;
    }
    return secondaryWinsServers;
}

void AdapterSnapshot::clear() {
    adapters.clear();
    for (AddressKind kind : kAllAddressKinds) {
        table(kind).clear();
    }
}

std::string formatPhysicalAddress(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) {
            out += '-';
        }
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 0x0F];
    }
    return out;
}

bool readDnsServers(platform::IpHelper& ipHelper, std::uint32_t adapterIndex, std::string& primary,
                    std::string& secondary) {
    primary.clear();
    secondary.clear();
    auto servers = ipHelper.getPerAdapterDns(adapterIndex);
    if (!servers) {
        return false;
    }
    if (!servers->empty()) {
        primary = (*servers)[0];
    }
    if (servers->size() > 1) {
        secondary = (*servers)[1];
    }
    return true;
}

namespace {

// Stores every element of one address list whose context is not 0 and returns how many were
// stored. A text already in the table (from an earlier adapter or earlier in this list) is
// replaced, yet counted again.
std::uint32_t storeList(const std::vector<platform::IpAddrString>& list, std::uint32_t adapterIndex,
                        AddressTable& table) {
    std::uint32_t count = 0;
    for (const auto& element : list) {
        if (element.context == 0) {
            continue;
        }
        table.store(
            element.address,
            AddressEntry{element.next, element.mask, element.context, adapterIndex, {}, {}});
        ++count;
    }
    return count;
}

}  // namespace

void buildAdapterSnapshot(platform::IpHelper& ipHelper, AdapterSnapshot& snapshot) {
    snapshot.clear();
    ConnectionNameTable names;
    loadConnectionNames(ipHelper, names);

    const std::vector<platform::AdapterInfo> infos = ipHelper.getAdaptersInfo();
    std::size_t addressTotal = 0;
    for (const auto& info : infos) {
        addressTotal += info.ipAddresses.size();
    }
    snapshot.addresses.reserve(addressTotal);

    for (const auto& info : infos) {
        AdapterRecord record;
        record.connectionName = connectionNameFor(names, info.index);
        record.adapterName = info.adapterName;
        record.description = info.description;
        record.physicalAddress = formatPhysicalAddress(info.hwAddress);
        record.adapterType = info.type;
        record.dhcpEnabled = info.dhcpEnabled;
        record.addressCount = storeList(info.ipAddresses, info.index, snapshot.addresses);
        record.gatewayCount = storeList(info.gateways, info.index, snapshot.gateways);
        record.dhcpServerCount = storeList(info.dhcpServer, info.index, snapshot.dhcpServers);
        record.haveWins = info.haveWins;
        record.primaryWinsCount =
            storeList(info.primaryWins, info.index, snapshot.primaryWinsServers);
        record.secondaryWinsCount =
            storeList(info.secondaryWins, info.index, snapshot.secondaryWinsServers);
        record.leaseObtained = info.leaseObtained;
        record.leaseExpires = info.leaseExpires;
        readDnsServers(ipHelper, info.index, record.primaryDns, record.secondaryDns);
        snapshot.adapters.store(info.index, std::move(record));
    }
}

}  // namespace nicops::inventory
