// The narrow interface through which the core reads the host's adapters and changes their
// addresses. Records are plain values; every text is GBK. The two-call buffer protocols of the
// Windows API stay inside the Windows backend: the core only sees "failed -> empty".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nicops::platform {

// One element of an address list: address, mask, the NTE context that deleteIpAddress takes,
// and the link to the following element (0 on the last element, non-zero otherwise).
struct IpAddrString {
    std::string address;
    std::string mask;
    std::uint32_t context = 0;
    std::uint32_t next = 0;
};

// One adapter as the platform lists it, with its five address lists.
struct AdapterInfo {
    std::uint32_t index = 0;
    std::string adapterName;  // GUID in braces on Windows, kernel name on Linux
    std::string description;
    std::vector<std::uint8_t> hwAddress;  // physical address bytes; empty when there is none
    std::uint32_t type = 0;               // MIB_IF_TYPE numbering
    std::uint32_t dhcpEnabled = 0;
    std::uint32_t haveWins = 0;
    std::int32_t leaseObtained = 0;  // seconds since 1970-01-01 UTC
    std::int32_t leaseExpires = 0;
    std::vector<IpAddrString> ipAddresses;
    std::vector<IpAddrString> gateways;
    std::vector<IpAddrString> dhcpServer;
    std::vector<IpAddrString> primaryWins;
    std::vector<IpAddrString> secondaryWins;
};

// One entry of the connection-name table: interface index and friendly name (GBK).
struct InterfaceName {
    std::uint32_t index = 0;
    std::string friendlyName;
};

// A connection name as every backend hands it over and matches it: TAB, CR and LF become
// spaces, so that one name can never break a line of the list, the log or nicopsctl's output.
// (None of the three is a GBK trail byte, so this is safe on double-byte text.)
inline std::string singleLineName(std::string name) {
    for (char& c : name) {
        if (c == '\t' || c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return name;
}

// Result codes of addIpAddress / deleteIpAddress: 0 is success, anything else a platform code
// that callers show in decimal and never interpret. The codes every backend answers alike (the
// kernel's errno values and the Windows API's own codes pass through as they come):
inline constexpr std::uint32_t kNoError = 0;
inline constexpr std::uint32_t kInvalidParameter = 87;  // no address, 0.0.0.0, or no mask
inline constexpr std::uint32_t kNotFound = 1168;        // no such adapter / no such address
inline constexpr std::uint32_t kAlreadyExists = 17;     // an adapter carries the address already
inline constexpr std::uint32_t kWriteFault = 29;        // the simulated host's file not written

// NetConnectionStatus numbers, as ConnectionQuery::connectionStatus answers them (the details
// report names all of 0..12).
inline constexpr std::int32_t kStatusDisconnected = 0;
inline constexpr std::int32_t kStatusConnected = 2;
inline constexpr std::int32_t kStatusHardwareNotPresent = 4;
inline constexpr std::int32_t kStatusMediaDisconnected = 7;
inline constexpr std::int32_t kStatusAuthenticating = 8;

// One address of a batch add: dotted address and dotted mask.
struct AddressToAdd {
    std::string address;
    std::string mask;
};

class IpHelper {
public:
    virtual ~IpHelper() = default;

    // Every adapter in the platform's own order; empty when the enumeration fails.
    virtual std::vector<AdapterInfo> getAdaptersInfo() = 0;
    // The adapter's DNS servers in order; nullopt when the per-adapter data can't be read.
    virtual std::optional<std::vector<std::string>> getPerAdapterDns(
        std::uint32_t adapterIndex) = 0;
    // The connection-name table in the platform's order (duplicates possible); empty on failure.
    virtual std::vector<InterfaceName> getInterfaceNames() = 0;

    virtual std::uint32_t addIpAddress(const std::string& address, const std::string& mask,
                                       std::uint32_t adapterIndex) = 0;
    virtual std::uint32_t deleteIpAddress(std::uint32_t nteContext) = 0;

    // Many adds to one adapter, many deletes: one result per item, in order, each what the single
    // call would have answered. These defaults make the single calls one by one; a backend that
    // can batch (pipelined netlink requests) overrides them.
    virtual std::vector<std::uint32_t> addIpAddresses(const std::vector<AddressToAdd>& items,
                                                      std::uint32_t adapterIndex) {
        std::vector<std::uint32_t> results;
        results.reserve(items.size());
        for (const AddressToAdd& item : items) {
            results.push_back(addIpAddress(item.address, item.mask, adapterIndex));
        }
        return results;
    }
    virtual std::vector<std::uint32_t> deleteIpAddresses(
        const std::vector<std::uint32_t>& contexts) {
        std::vector<std::uint32_t> results;
        results.reserve(contexts.size());
        for (std::uint32_t context : contexts) {
            results.push_back(deleteIpAddress(context));
        }
        return results;
    }

    // Why this process can't change addresses (GBK, one log line), or "" when it may. Asked once
    // per operation; the operation still tries, and logs the platform's codes.
    virtual std::string addressChangeProblem() { return {}; }
};

// Link facts by connection name (the text the adapter box shows).
class ConnectionQuery {
public:
    virtual ~ConnectionQuery() = default;

    // NetConnectionStatus numbering (kStatusConnected ...); -1 when no connection has that name.
    virtual std::int32_t connectionStatus(const std::string& connectionName) = 0;
    // 1 when the link is up; 0 when it is not or no adapter has that name.
    virtual std::int32_t mediaState(const std::string& connectionName) = 0;
    // Bits per second; -1 when nothing is found.
    virtual std::int64_t linkSpeed(const std::string& connectionName) = 0;
    // Bytes; -1 when nothing is found.
    virtual std::int32_t mtu(const std::string& connectionName) = 0;
    // Whether the adapter obtains its address automatically; nullopt when unknown.
    virtual std::optional<bool> dhcpFlag(const std::string& connectionName) = 0;
};

// A backend: everything the inventory needs from one host.
class HostBackend : public IpHelper, public ConnectionQuery {};

}  // namespace nicops::platform
