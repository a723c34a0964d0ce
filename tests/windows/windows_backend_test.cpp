// The Windows backend against the host's own IP helper (under Wine in the cross-build's tests):
// what the backend maps must agree with what the platform's other tables say.
#include "platform/windows/windows_backend.h"

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <ws2tcpip.h>
// clang-format on

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <vector>

#include "inventory/snapshot.h"
#include "platform/windows/two_call_buffer.h"
#include "platform/windows/wmi_connection.h"
#include "text/codepage.h"

namespace nicops::platform::windows {
namespace {

// A fake platform call: answers the size query with `sizes[0]` and `firstAnswer`, then the
// filling call with 0, or with the overflow code when the size grew in between.
struct FakeCall {
    std::uint32_t firstAnswer;
    std::vector<unsigned long> sizes;
    int calls = 0;
    bool bufferWasZeroed = true;

    std::uint32_t operator()(void* data, unsigned long* size) {
        const unsigned long now = sizes[std::min<std::size_t>(calls, sizes.size() - 1)];
        ++calls;
        if (data == nullptr) {
            *size = now;
            return firstAnswer;
        }
        const auto* bytes = static_cast<const unsigned char*>(data);
        bufferWasZeroed = std::all_of(bytes, bytes + *size, [](unsigned char b) { return b == 0; });
        if (*size < now) {
            *size = now;
            return kBufferOverflow;
        }
        static_cast<unsigned char*>(data)[0] = 0x5A;
        return 0;
    }
};

TEST(TwoCallBuffer, SizeQueryThenZeroFilledBufferWithoutRetry) {
    FakeCall normal{kBufferOverflow, {40}};
    const auto buffer = fetchWithSizeQuery(kBufferOverflow, std::ref(normal));
    ASSERT_TRUE(buffer.has_value());
    EXPECT_GE(buffer->size() * sizeof(std::uint64_t), 40U);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(buffer->data())[0], 0x5A);
    EXPECT_TRUE(normal.bufferWasZeroed);
    EXPECT_EQ(normal.calls, 2);

    // The table grew between the two calls: nothing, and no third call.
    FakeCall growing{kBufferOverflow, {40, 4000}};
    EXPECT_FALSE(fetchWithSizeQuery(kBufferOverflow, std::ref(growing)).has_value());
    EXPECT_EQ(growing.calls, 2);

    // A size query that answers anything but the expected code ends at once.
    for (std::uint32_t answer : {0U, kInsufficientBuffer, 87U}) {
        FakeCall other{answer, {40}};
        EXPECT_FALSE(fetchWithSizeQuery(kBufferOverflow, std::ref(other)).has_value()) << answer;
        EXPECT_EQ(other.calls, 1);
    }
}

// The IPv4 unicast addresses and masks of each interface index, as GetAdaptersAddresses has them.
std::map<std::uint32_t, std::vector<std::pair<std::string, std::string>>> unicastByIndex() {
    ULONG size = 0;
    std::map<std::uint32_t, std::vector<std::pair<std::string, std::string>>> result;
    if (GetAdaptersAddresses(AF_INET, 0, nullptr, nullptr, &size) != ERROR_BUFFER_OVERFLOW) {
        return result;
    }
    std::vector<std::uint64_t> buffer(size / 8 + 1);
    auto* first = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    if (GetAdaptersAddresses(AF_INET, 0, nullptr, first, &size) != NO_ERROR) {
        return result;
    }
    for (auto* a = first; a != nullptr; a = a->Next) {
        for (auto* u = a->FirstUnicastAddress; u != nullptr; u = u->Next) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr);
            char address[INET_ADDRSTRLEN] = {};
            InetNtopA(AF_INET, &in->sin_addr, address, sizeof address);
            ULONG mask = 0;
            ConvertLengthToIpv4Mask(u->OnLinkPrefixLength, &mask);
            char maskText[INET_ADDRSTRLEN] = {};
            InetNtopA(AF_INET, &mask, maskText, sizeof maskText);
            result[a->IfIndex].emplace_back(address, maskText);
        }
    }
    return result;
}

TEST(WindowsBackend, AdaptersAgreeWithTheInterfaceTableAndTheirAddresses) {
    WindowsBackend backend;
    const std::vector<AdapterInfo> adapters = backend.getAdaptersInfo();
    ASSERT_FALSE(adapters.empty());
    const std::vector<InterfaceName> names = backend.getInterfaceNames();
    const std::vector<ConnectionEntry> connections = listConnections();
    const auto unicast = unicastByIndex();
    for (const AdapterInfo& adapter : adapters) {
        SCOPED_TRACE(adapter.adapterName);
        EXPECT_EQ(adapter.adapterName.front(), '{');
        const auto named = std::find_if(names.begin(), names.end(),
                                        [&](const auto& n) { return n.index == adapter.index; });
        const auto connection =
            std::find_if(connections.begin(), connections.end(),
                         [&](const auto& c) { return c.ifIndex == adapter.index; });
        ASSERT_NE(named, names.end());
        ASSERT_NE(connection, connections.end());
        EXPECT_FALSE(named->friendlyName.empty());
        EXPECT_EQ(named->friendlyName, connection->friendlyName);
        EXPECT_EQ(connection->adapterName, adapter.adapterName);
        EXPECT_TRUE(backend.getPerAdapterDns(adapter.index).has_value());
        // Every address the other table lists is in the adapter's list, with its mask, and the
        // list's links end on its last element.
        const auto found = unicast.find(adapter.index);
        if (found != unicast.end()) {
            for (const auto& [address, mask] : found->second) {
                const auto entry =
                    std::find_if(adapter.ipAddresses.begin(), adapter.ipAddresses.end(),
                                 [&](const IpAddrString& a) { return a.address == address; });
                ASSERT_NE(entry, adapter.ipAddresses.end()) << address;
                EXPECT_EQ(entry->mask, mask);
            }
        }
        ASSERT_FALSE(adapter.ipAddresses.empty());
        EXPECT_EQ(adapter.ipAddresses.back().next, 0U);
        EXPECT_TRUE(std::all_of(adapter.ipAddresses.begin(), adapter.ipAddresses.end() - 1,
                                [](const IpAddrString& a) { return a.next != 0; }));
    }
}

TEST(WindowsBackend, AddsTheBatchRuleRefusesNeverReachThePlatform) {
    WindowsBackend backend;
    for (const AdapterInfo& adapter : backend.getAdaptersInfo()) {
        for (const IpAddrString& entry : adapter.ipAddresses) {
            if (entry.address == "0.0.0.0") {
                continue;
            }
            // An address the host carries, the zero address, a mask with holes.
            EXPECT_EQ(
                backend.addIpAddresses({{entry.address, "255.255.255.255"},
                                        {"0.0.0.0", "255.255.255.0"},
                                        {"192.0.2.7", "255.0.255.0"}},
                                       adapter.index),
                (std::vector<std::uint32_t>{kAlreadyExists, kInvalidParameter, kInvalidParameter}));
            return;
        }
    }
    GTEST_SKIP() << "no adapter with an address";
}

TEST(WindowsBackend, ConnectionQueriesAnswerByFriendlyName) {
    WindowsBackend backend;
    int named = 0;
    for (const ConnectionEntry& entry : listConnections()) {
        if (entry.friendlyName.empty()) {
            continue;
        }
        ++named;
        SCOPED_TRACE(entry.friendlyName);
        EXPECT_EQ(backend.mediaState(entry.friendlyName), entry.operStatus == 1 ? 1 : 0);
        EXPECT_EQ(backend.connectionStatus(entry.friendlyName) == 2, entry.operStatus == 1);
        EXPECT_EQ(backend.dhcpFlag(entry.friendlyName), entry.dhcpEnabled);
        MIB_IFROW row{};
        row.dwIndex = entry.ifIndex;
        if (GetIfEntry(&row) == NO_ERROR) {
            EXPECT_EQ(backend.mtu(entry.friendlyName), static_cast<std::int32_t>(row.dwMtu));
        }
    }
    EXPECT_GT(named, 0);
    const std::string unknown = "no such connection";
    EXPECT_EQ(backend.connectionStatus(unknown), -1);
    EXPECT_EQ(backend.mediaState(unknown), 0);
    EXPECT_EQ(backend.linkSpeed(unknown), -1);
    EXPECT_EQ(backend.mtu(unknown), -1);
    EXPECT_EQ(backend.dhcpFlag(unknown), std::nullopt);
}

// The link of tests/windows/netns-lab, from the variables it sets; nothing outside the lab.
struct LabLink {
    std::string name;
    std::vector<std::pair<std::string, std::string>> addresses;  // address, mask
    std::string gateway;
    std::string dns;
};

std::optional<LabLink> labLink() {
    const char* name = std::getenv("NICOPS_LAB_LINK");
    const char* addresses = std::getenv("NICOPS_LAB_ADDRESSES");
    const char* gateway = std::getenv("NICOPS_LAB_GATEWAY");
    const char* dns = std::getenv("NICOPS_LAB_DNS");
    if (name == nullptr || addresses == nullptr || gateway == nullptr || dns == nullptr) {
        return std::nullopt;
    }
    LabLink lab{name, {}, gateway, dns};
    std::istringstream words(addresses);
    std::string word;
    while (words >> word) {
        const auto slash = word.find('/');
        ULONG mask = 0;
        ConvertLengthToIpv4Mask(std::stoul(word.substr(slash + 1)), &mask);
        char maskText[INET_ADDRSTRLEN] = {};
        InetNtopA(AF_INET, &mask, maskText, sizeof maskText);
        lab.addresses.emplace_back(word.substr(0, slash), maskText);
    }
    return lab;
}

template <typename Entry>
std::vector<std::pair<std::string, std::string>> addressesAndMasks(const std::vector<Entry>& list) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const Entry& entry : list) {
        out.emplace_back(entry.address, entry.mask);
    }
    return out;
}

// Wine inside a network namespace of the test's own: the backend must report exactly the
// lab's link, under its kernel name. Wine hands every address and gateway an NTE context of 0,
// so the snapshot, which skips context 0, shows the adapter with empty lists.
TEST(WindowsBackendLab, ReportsTheNamespaceLinkAsWineSeesIt) {
    const auto lab = labLink();
    if (!lab) {
        GTEST_SKIP() << "runs inside tests/windows/netns-lab (ctest: windows_backend_netns)";
    }
    WindowsBackend backend;
    const std::vector<InterfaceName> names = backend.getInterfaceNames();
    const auto named = std::find_if(names.begin(), names.end(),
                                    [&](const auto& n) { return n.friendlyName == lab->name; });
    ASSERT_NE(named, names.end());
    const std::vector<AdapterInfo> adapters = backend.getAdaptersInfo();
    const auto adapter = std::find_if(adapters.begin(), adapters.end(),
                                      [&](const auto& a) { return a.index == named->index; });
    ASSERT_NE(adapter, adapters.end());
    EXPECT_EQ(addressesAndMasks(adapter->ipAddresses), lab->addresses);
    ASSERT_EQ(adapter->gateways.size(), 1U);
    EXPECT_EQ(adapter->gateways[0].address, lab->gateway);
    for (const auto* list : {&adapter->ipAddresses, &adapter->gateways}) {
        for (const IpAddrString& entry : *list) {
            EXPECT_EQ(entry.context, 0U) << entry.address;
        }
    }

    EXPECT_EQ(backend.getPerAdapterDns(named->index), std::vector<std::string>{lab->dns});

    inventory::AdapterSnapshot snapshot;
    inventory::buildAdapterSnapshot(backend, snapshot);
    const auto* record = snapshot.adapters.find(named->index);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->connectionName, lab->name);
    EXPECT_EQ(record->addressCount, 0U);
    EXPECT_EQ(record->gatewayCount, 0U);

    EXPECT_EQ(backend.connectionStatus(lab->name), 2);
    EXPECT_EQ(backend.mediaState(lab->name), 1);
    EXPECT_EQ(backend.mtu(lab->name), 1500);
    // Wine's WMI has no NetConnectionID, so the connection queries are answered by the IP
    // helper. Wine knows no speed of a veth link, and its two tables disagree on DHCP:
    // GetAdaptersInfo says enabled, GetAdaptersAddresses does not.
    EXPECT_FALSE(queryConnectionFacts(lab->name).has_value());
    EXPECT_EQ(backend.linkSpeed(lab->name), -1);
    EXPECT_EQ(adapter->dhcpEnabled, 1U);
    EXPECT_EQ(backend.dhcpFlag(lab->name), false);

    // By the adapter's Name, Wine's WMI answers: connected, a fixed 1 Mbit/s, DHCP enabled, and
    // no MTU (its configuration class has none).
    const std::u16string name = text::gbkToUtf16(lab->name);
    const auto facts = queryAdapterFacts(u"Name=" + wqlStringLiteral(name));
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->status, 2);
    EXPECT_EQ(facts->speed, 1000000U);
    EXPECT_EQ(facts->mtu, std::nullopt);
    EXPECT_EQ(facts->dhcpEnabled, true);
}

}  // namespace
}  // namespace nicops::platform::windows
