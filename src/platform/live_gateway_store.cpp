#include "platform/live_gateway_store.h"

#include <algorithm>

namespace nicops::platform {

namespace {

// Registry names compare without the case of ASCII letters. Only ASCII names are compared
// this way here, so no GBK trail byte is folded.
bool sameAsciiName(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

std::string LiveGatewayStore::readMultiString(const std::string& keyText,
                                              const std::string& valueName) {
    const std::string_view key = keyText;
    const bool gatewayValue = sameAsciiName(valueName, "DefaultGateway") ||
                              sameAsciiName(valueName, "DhcpDefaultGateway");
    if (!gatewayValue || key.size() < kTcpipInterfacesKey.size() ||
        !sameAsciiName(key.substr(0, kTcpipInterfacesKey.size()), kTcpipInterfacesKey)) {
        return stored_->readMultiString(keyText, valueName);
    }
    const std::string_view adapterName = key.substr(kTcpipInterfacesKey.size());
    for (const AdapterInfo& adapter : adapters_.getAdaptersInfo()) {
        if (adapter.adapterName != adapterName) {
            continue;
        }
        std::string items;
        for (std::size_t i = 0; i < adapter.gateways.size(); ++i) {
            items += (i == 0 ? "" : "\r\n") + adapter.gateways[i].address;
        }
        return decodeMultiString(encodeMultiString(items));
    }
    return {};
}

}  // namespace nicops::platform
