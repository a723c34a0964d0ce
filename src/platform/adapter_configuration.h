// Switching an adapter between automatic addressing (DHCP) and one static address, by the
// connection name the adapter box shows. Texts are GBK.
#pragma once

#include <string>

namespace nicops::platform {

// The static values as the properties dialog's address boxes give them: dotted IPv4 texts.
// The address and mask are never empty here (the caller refuses that first); an empty gateway
// means no default route, empty DNS texts mean no server in that place.
struct StaticAddressing {
    std::string address;
    std::string mask;
    std::string gateway;
    std::string primaryDns;
    std::string secondaryDns;
};

class AdapterConfiguration {
public:
    virtual ~AdapterConfiguration() = default;

    // Whether the adapter with this connection name obtains its address automatically; false
    // when no adapter has the name or the platform can't tell.
    virtual bool isDhcpEnabled(const std::string& connectionName) = 0;
    // Switches the adapter to DHCP; true once that is done. False when no adapter has the name
    // (nothing is touched), when the adapter's manager refuses the change, or when it failed;
    // lastProblem() then says why.
    virtual bool enableDhcp(const std::string& connectionName) = 0;
    // Gives the adapter exactly this address and mask, default gateway and DNS servers; true
    // when applied. All or nothing: when a step fails, the adapter's previous configuration is
    // put back, and lastProblem() says why.
    virtual bool setStaticAddressing(const std::string& connectionName,
                                     const StaticAddressing& values) = 0;
    // Why the last enableDhcp or setStaticAddressing failed or was refused, as one log line
    // (GBK); "" after a success or when there is nothing to add to the failure line.
    virtual std::string lastProblem() const = 0;
};

}  // namespace nicops::platform
