#include "platform/windows/windows_backend.h"

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <ws2tcpip.h>
// clang-format on

#include <cstring>
#include <limits>
#include <string_view>

#include "platform/address_batch.h"
#include "platform/ipv4_text.h"
#include "platform/windows/two_call_buffer.h"
#include "platform/windows/wmi_connection.h"
#include "text/codepage.h"

namespace nicops::platform::windows {

namespace {

// A fixed character array up to its first NUL.
template <std::size_t N>
std::string fixedText(const char (&chars)[N]) {
    return {chars, strnlen(chars, N)};
}

std::string fromWide(const wchar_t* text) {
    if (text == nullptr) {
        return {};
    }
    return text::wideToOem(std::u16string_view(reinterpret_cast<const char16_t*>(text)));
}

// An address list; `next` is the link to the following element, reduced to 32 bits and never 0
// while the list goes on.
std::vector<IpAddrString> addressList(const IP_ADDR_STRING& head) {
    std::vector<IpAddrString> list;
    for (const IP_ADDR_STRING* at = &head; at != nullptr; at = at->Next) {
        const auto link = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(at->Next));
        list.push_back({fixedText(at->IpAddress.String), fixedText(at->IpMask.String), at->Context,
                        at->Next == nullptr ? 0 : (link != 0 ? link : 1)});
    }
    return list;
}

AdapterInfo adapterRecord(const IP_ADAPTER_INFO& a) {
    AdapterInfo info;
    info.index = a.Index;
    info.adapterName = fixedText(a.AdapterName);
    info.description = fixedText(a.Description);
    const std::size_t length = std::min<std::size_t>(a.AddressLength, sizeof a.Address);
    info.hwAddress.assign(a.Address, a.Address + length);
    info.type = a.Type;
    info.dhcpEnabled = a.DhcpEnabled;
    info.haveWins = a.HaveWins ? 1 : 0;
    info.leaseObtained = static_cast<std::int32_t>(a.LeaseObtained);
    info.leaseExpires = static_cast<std::int32_t>(a.LeaseExpires);
    info.ipAddresses = addressList(a.IpAddressList);
    info.gateways = addressList(a.GatewayList);
    info.dhcpServer = addressList(a.DhcpServer);
    info.primaryWins = addressList(a.PrimaryWinsServer);
    info.secondaryWins = addressList(a.SecondaryWinsServer);
    return info;
}

// The last entry whose friendly name is `name` (byte for byte).
std::optional<ConnectionEntry> connectionNamed(const std::string& name) {
    std::optional<ConnectionEntry> found;
    if (name.empty()) {
        return found;
    }
    for (ConnectionEntry& entry : listConnections()) {
        if (entry.friendlyName == name) {
            found = std::move(entry);
        }
    }
    return found;
}

}  // namespace

std::vector<ConnectionEntry> listConnections() {
    constexpr ULONG kFlags = GAA_FLAG_INCLUDE_PREFIX;
    const auto buffer = fetchWithSizeQuery(kBufferOverflow, [](void* data, unsigned long* size) {
        return GetAdaptersAddresses(AF_UNSPEC, kFlags, nullptr,
                                    static_cast<IP_ADAPTER_ADDRESSES*>(data), size);
    });
    std::vector<ConnectionEntry> entries;
    if (!buffer) {
        return entries;
    }
    for (auto* at = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer->data()); at != nullptr;
         at = at->Next) {
        entries.push_back({at->IfIndex, at->AdapterName != nullptr ? at->AdapterName : "",
                           singleLineName(fromWide(at->FriendlyName)),
                           static_cast<std::int32_t>(at->OperStatus), at->TransmitLinkSpeed,
                           (at->Flags & IP_ADAPTER_DHCP_ENABLED) != 0});
    }
    return entries;
}

std::vector<AdapterInfo> WindowsBackend::getAdaptersInfo() {
    const auto buffer = fetchWithSizeQuery(kBufferOverflow, [](void* data, unsigned long* size) {
        return GetAdaptersInfo(static_cast<IP_ADAPTER_INFO*>(data), size);
    });
    std::vector<AdapterInfo> adapters;
    if (!buffer) {
        return adapters;
    }
    for (auto* at = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer->data()); at != nullptr;
         at = at->Next) {
        adapters.push_back(adapterRecord(*at));
    }
    return adapters;
}

std::optional<std::vector<std::string>> WindowsBackend::getPerAdapterDns(
    std::uint32_t adapterIndex) {
    const auto buffer =
        fetchWithSizeQuery(kBufferOverflow, [adapterIndex](void* data, unsigned long* size) {
            return GetPerAdapterInfo(adapterIndex, static_cast<IP_PER_ADAPTER_INFO*>(data), size);
        });
    if (!buffer) {
        return std::nullopt;
    }
    std::vector<std::string> servers;
    const auto* info = reinterpret_cast<const IP_PER_ADAPTER_INFO*>(buffer->data());
    for (const IP_ADDR_STRING* at = &info->DnsServerList; at != nullptr; at = at->Next) {
        servers.push_back(fixedText(at->IpAddress.String));
    }
    return servers;
}

std::vector<InterfaceName> WindowsBackend::getInterfaceNames() {
    const auto buffer =
        fetchWithSizeQuery(kInsufficientBuffer, [](void* data, unsigned long* size) {
            return GetInterfaceInfo(static_cast<IP_INTERFACE_INFO*>(data), size);
        });
    std::vector<InterfaceName> names;
    if (!buffer) {
        return names;
    }
    const std::vector<ConnectionEntry> connections = listConnections();
    const auto* table = reinterpret_cast<const IP_INTERFACE_INFO*>(buffer->data());
    for (LONG i = 0; i < table->NumAdapters; ++i) {
        const ULONG index = table->Adapter[i].Index;
        std::string name;
        for (const ConnectionEntry& entry : connections) {
            if (entry.ifIndex == index) {
                name = entry.friendlyName;
                break;
            }
        }
        names.push_back({index, std::move(name)});
    }
    return names;
}

std::uint32_t WindowsBackend::addIpAddress(const std::string& address, const std::string& mask,
                                           std::uint32_t adapterIndex) {
    return addIpAddresses({AddressToAdd{address, mask}}, adapterIndex).front();
}

// The adapter list once for the batch (whose index it names is AddIPAddress's to check); then
// one AddIPAddress per item the batch rule lets through, in order.
std::vector<std::uint32_t> WindowsBackend::addIpAddresses(const std::vector<AddressToAdd>& items,
                                                          std::uint32_t adapterIndex) {
    if (!rights_()) {
        return std::vector<std::uint32_t>(items.size(), kAccessDenied);
    }
    std::vector<std::uint32_t> present;
    for (const AdapterInfo& adapter : getAdaptersInfo()) {
        for (const IpAddrString& entry : adapter.ipAddresses) {
            if (const auto address = parseIpv4(entry.address)) {
                present.push_back(*address);
            }
        }
    }
    const auto plan = planAddressBatch(items, present);
    std::vector<std::uint32_t> results;
    results.reserve(plan.size());
    for (const PlannedAddress& planned : plan) {
        if (planned.code != kNoError) {
            results.push_back(planned.code);
            continue;
        }
        const std::uint32_t mask =
            planned.prefixLength == 0 ? 0 : ~std::uint32_t{0} << (32 - planned.prefixLength);
        ULONG context = 0;
        ULONG instance = 0;
        results.push_back(
            AddIPAddress(htonl(planned.address), htonl(mask), adapterIndex, &context, &instance));
    }
    return results;
}

std::uint32_t WindowsBackend::deleteIpAddress(std::uint32_t nteContext) {
    return deleteIpAddresses({nteContext}).front();
}

std::vector<std::uint32_t> WindowsBackend::deleteIpAddresses(
    const std::vector<std::uint32_t>& contexts) {
    if (!rights_()) {
        return std::vector<std::uint32_t>(contexts.size(), kAccessDenied);
    }
    std::vector<std::uint32_t> results;
    results.reserve(contexts.size());
    for (std::uint32_t context : contexts) {
        results.push_back(DeleteIPAddress(context));
    }
    return results;
}

std::string WindowsBackend::addressChangeProblem() {
    return administratorRightsProblem(rights_);
}

// WMI's NetConnectionStatus first. Without it the status follows the link: up is connected,
// down is a disconnected cable (media disconnected), anything else disconnected.
std::int32_t WindowsBackend::connectionStatus(const std::string& connectionName) {
    if (const auto facts = queryConnectionFacts(connectionName); facts && facts->status) {
        return *facts->status;
    }
    const auto entry = connectionNamed(connectionName);
    if (!entry) {
        return -1;
    }
    switch (entry->operStatus) {
        case IfOperStatusUp:
            return kStatusConnected;
        case IfOperStatusDown:
        case IfOperStatusLowerLayerDown:
            return kStatusMediaDisconnected;
        default:
            return kStatusDisconnected;
    }
}

std::int32_t WindowsBackend::mediaState(const std::string& connectionName) {
    const auto entry = connectionNamed(connectionName);
    return entry && entry->operStatus == IfOperStatusUp ? 1 : 0;
}

// A speed of 0 or all ones is unknown, from either source.
std::int64_t WindowsBackend::linkSpeed(const std::string& connectionName) {
    const auto known = [](std::uint64_t speed) {
        return speed != 0 && speed <= std::uint64_t{std::numeric_limits<std::int64_t>::max()};
    };
    if (const auto facts = queryConnectionFacts(connectionName);
        facts && facts->speed && known(*facts->speed)) {
        return static_cast<std::int64_t>(*facts->speed);
    }
    const auto entry = connectionNamed(connectionName);
    if (!entry || !known(entry->transmitSpeed)) {
        return -1;
    }
    return static_cast<std::int64_t>(entry->transmitSpeed);
}

// WMI's MTU first; else the interface index of "\DEVICE\TCPIP_" + the adapter's GUID, then
// that interface's MTU.
std::int32_t WindowsBackend::mtu(const std::string& connectionName) {
    if (const auto facts = queryConnectionFacts(connectionName); facts && facts->mtu) {
        return *facts->mtu;
    }
    const auto entry = connectionNamed(connectionName);
    if (!entry) {
        return -1;
    }
    const std::u16string device = text::gbkToUtf16("\\DEVICE\\TCPIP_" + entry->adapterName);
    std::wstring deviceName(device.begin(), device.end());
    ULONG index = 0;
    if (GetAdapterIndex(deviceName.data(), &index) != NO_ERROR) {
        return -1;
    }
    MIB_IFROW row{};
    row.dwIndex = index;
    if (GetIfEntry(&row) != NO_ERROR) {
        return -1;
    }
    return static_cast<std::int32_t>(row.dwMtu);
}

std::optional<bool> WindowsBackend::dhcpFlag(const std::string& connectionName) {
    if (const auto facts = queryConnectionFacts(connectionName); facts && facts->dhcpEnabled) {
        return facts->dhcpEnabled;
    }
    const auto entry = connectionNamed(connectionName);
    return entry ? std::optional<bool>(entry->dhcpEnabled) : std::nullopt;
}

}  // namespace nicops::platform::windows
