// The management interface's view of one connection: Win32_NetworkAdapter by NetConnectionID,
// then Win32_NetworkAdapterConfiguration by the adapter's Index, through WMI over COM. Each
// fact is missing when WMI has no value for it (Wine's WMI leaves some out).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nicops::platform::windows {

struct WmiConnectionFacts {
    std::optional<std::int32_t> status;  // NetConnectionStatus (0 disconnected, 2 connected, ...)
    std::optional<std::uint64_t> speed;  // bits per second
    std::optional<std::int32_t> mtu;
    std::optional<bool> dhcpEnabled;
};

// A WQL string literal holding `text`: in single quotes, every backslash and single quote
// preceded by a backslash. Works on UTF-16, where a backslash is never part of another
// character (a GBK trail byte can be 0x5C).
std::u16string wqlStringLiteral(std::u16string_view text);

// The facts of the first Win32_NetworkAdapter that the WQL `condition` selects, with those of
// its Win32_NetworkAdapterConfiguration (by Index); nothing when WMI can't be reached, the
// query fails or it selects nothing.
std::optional<WmiConnectionFacts> queryAdapterFacts(std::u16string_view condition);

// The condition that selects the adapter whose connection name (GBK) is `connectionName`.
std::u16string connectionNameCondition(const std::string& connectionName);

class WmiSession;

// What looking up one adapter's Index found: the Index of the first Win32_NetworkAdapter the
// condition selects, none when it selects nothing or the query failed; the query's HRESULT
// (S_OK when it ran, also when it selected nothing).
struct WmiAdapterLookup {
    std::optional<std::uint32_t> index;
    long failure = 0;
};
WmiAdapterLookup findAdapterIndex(const WmiSession& session, std::u16string_view condition);

// queryAdapterFacts by connection name. Wine's WMI has no NetConnectionID: nothing there.
std::optional<WmiConnectionFacts> queryConnectionFacts(const std::string& connectionName);

}  // namespace nicops::platform::windows
