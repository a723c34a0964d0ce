// Link facts of the adapter shown, asked by connection name (the text of the adapter box).
#pragma once

#include <cstdint>
#include <string>

#include "platform/ip_helper.h"

namespace nicops::inventory {

class NetworkQuery {
public:
    explicit NetworkQuery(platform::ConnectionQuery& query) : query_(query) {}

    // NetConnectionStatus numbering; -1 when no connection has the name.
    std::int32_t queryConnectionStatus(const std::string& name) {
        return query_.connectionStatus(name);
    }
    // 1 when the link is up, otherwise 0.
    std::int32_t queryMediaState(const std::string& name) { return query_.mediaState(name); }
    // Bits per second, 64-bit so a 10 Gbit/s link keeps its value; -1 when unknown.
    std::int64_t queryLinkSpeed(const std::string& name) { return query_.linkSpeed(name); }
    std::int32_t queryMtu(const std::string& name) { return query_.mtu(name); }

private:
    platform::ConnectionQuery& query_;
};

}  // namespace nicops::inventory
