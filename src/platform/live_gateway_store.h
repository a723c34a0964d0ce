// The persisted store as the properties dialog reads it where the platform keeps no gateway
// values of its own: "DefaultGateway" and "DhcpDefaultGateway" of an adapter's TCP/IP interface
// key are answered from the adapter's live gateways; everything else goes to the wrapped store.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ip_helper.h"
#include "platform/persisted_store.h"

namespace nicops::platform {

// The TCP/IP interface keys: this text followed by the adapter name.
inline constexpr std::string_view kTcpipInterfacesKey =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\";

class LiveGatewayStore final : public PersistedStore {
public:
    // `adapters` must outlive the store.
    LiveGatewayStore(std::unique_ptr<PersistedStore> stored, IpHelper& adapters)
        : stored_(std::move(stored)), adapters_(adapters) {}

    bool writeMultiString(const std::string& keyText, const std::string& valueName,
                          const std::string& text) override {
        return stored_->writeMultiString(keyText, valueName, text);
    }
    // The two gateway values: the gateways of the adapter whose adapterName ends the key, read
    // as a stored multi-string reads ("a\r\nb\r\n\r\n"; "\r\n\r\n" for none); "" when no
    // adapter has that name.
    std::string readMultiString(const std::string& keyText, const std::string& valueName) override;
    std::string readTextValue(std::uint32_t root, const std::string& path) override {
        return stored_->readTextValue(root, path);
    }
    std::string lastError() const override { return stored_->lastError(); }

private:
    std::unique_ptr<PersistedStore> stored_;
    IpHelper& adapters_;
};

}  // namespace nicops::platform
