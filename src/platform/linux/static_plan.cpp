#include "platform/linux/static_plan.h"

#include "platform/address_batch.h"
#include "platform/ipv4_text.h"
#include "platform/linux/adapter_assembly.h"

namespace nicops::platform::linux_host {

std::optional<StaticPlan> planOf(const StaticAddressing& values, std::string& problem) {
    const auto invalid = [&](const std::string& typed, const char* what) {
        problem = "“" + typed + "”不是有效的" + what + ".";
        return std::nullopt;
    };
    StaticPlan plan;
    const auto address = parseIpv4(values.address);
    // A host address: not 0.0.0.0, not multicast, broadcast or reserved.
    if (!address || *address == 0 || *address >= 0xE0000000) {
        return invalid(values.address, "IP地址");
    }
    const auto mask = parseIpv4(values.mask);
    const auto prefix = mask ? prefixOfMask(*mask) : std::nullopt;
    if (!prefix || *prefix == 0) {
        return invalid(values.mask, "子网掩码");
    }
    plan.address = *address;
    plan.prefixLength = *prefix;
    plan.shownAddress = values.address + "/" + values.mask;
    if (!values.gateway.empty()) {
        const auto gateway = parseIpv4(values.gateway);
        if (!gateway || *gateway == 0 || *gateway >= 0xE0000000) {
            return invalid(values.gateway, "默认网关");
        }
        plan.gateway = *gateway;
    }
    for (const auto* dns : {&values.primaryDns, &values.secondaryDns}) {
        if (dns->empty()) {
            continue;
        }
        const auto server = parseIpv4(*dns);
        if (!server || *server == 0) {
            return invalid(*dns, "DNS服务器地址");
        }
        plan.dnsServers.push_back(formatIpv4(*server));
    }
    return plan;
}

}  // namespace nicops::platform::linux_host
