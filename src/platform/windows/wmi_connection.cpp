#include "platform/windows/wmi_connection.h"

#include <string>

#include "platform/windows/wmi_session.h"
#include "text/codepage.h"

namespace nicops::platform::windows {

namespace {

std::optional<std::int32_t> smallNumber(std::optional<std::uint64_t> number) {
    if (!number || *number > 0x7FFFFFFF) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*number);
}

}  // namespace

std::u16string wqlStringLiteral(std::u16string_view text) {
    std::u16string literal = u"'";
    for (char16_t c : text) {
        if (c == u'\\' || c == u'\'') {
            literal += u'\\';
        }
        literal += c;
    }
    return literal + u"'";
}

std::u16string connectionNameCondition(const std::string& connectionName) {
    return u"NetConnectionID=" + wqlStringLiteral(text::gbkToUtf16(connectionName));
}

std::optional<WmiConnectionFacts> queryConnectionFacts(const std::string& connectionName) {
    if (connectionName.empty()) {
        return std::nullopt;
    }
    return queryAdapterFacts(connectionNameCondition(connectionName));
}

std::optional<WmiConnectionFacts> queryAdapterFacts(std::u16string_view condition) {
    const ComScope com;
    if (!com.usable()) {
        return std::nullopt;
    }
    HRESULT failure = S_OK;
    const auto session = WmiSession::open(failure);
    if (!session) {
        return std::nullopt;
    }
    const auto adapter = session->firstObject(
        u"SELECT * FROM Win32_NetworkAdapter WHERE " + std::u16string(condition), failure);
    if (!adapter) {
        return std::nullopt;
    }
    WmiConnectionFacts facts;
    facts.status = smallNumber(numberProperty(adapter.get(), L"NetConnectionStatus"));
    facts.speed = numberProperty(adapter.get(), L"Speed");
    if (const auto index = numberProperty(adapter.get(), L"Index")) {
        const std::string query =
            "SELECT * FROM Win32_NetworkAdapterConfiguration WHERE Index=" + std::to_string(*index);
        if (const auto configuration = session->firstObject(text::gbkToUtf16(query), failure)) {
            facts.mtu = smallNumber(numberProperty(configuration.get(), L"MTU"));
            facts.dhcpEnabled = booleanProperty(configuration.get(), L"DHCPEnabled");
        }
    }
    return facts;
}

WmiAdapterLookup findAdapterIndex(const WmiSession& session, std::u16string_view condition) {
    WmiAdapterLookup lookup;
    HRESULT failure = S_OK;
    const auto adapter = session.firstObject(
        u"SELECT Index FROM Win32_NetworkAdapter WHERE " + std::u16string(condition), failure);
    lookup.failure = failure;
    if (adapter) {
        const auto index = numberProperty(adapter.get(), L"Index");
        if (index && *index <= 0xFFFFFFFFU) {
            lookup.index = static_cast<std::uint32_t>(*index);
        }
    }
    return lookup;
}

}  // namespace nicops::platform::windows
