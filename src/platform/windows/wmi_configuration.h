// Switching an adapter between DHCP and one static address through WMI: the adapter's Index
// from Win32_NetworkAdapter by connection name (NetConnectionID, a WQL literal), then the
// methods of Win32_NetworkAdapterConfiguration.Index=N called over COM — each method's
// in-parameters spawned from its definition and filled with values of the types the
// definition gives, the outcome read from ReturnValue (0, or 1 when a restart is needed, is
// success). Whether DHCP is on comes from GetAdaptersAddresses, by friendly name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/adapter_configuration.h"
#include "platform/windows/administrator_rights.h"
#include "platform/windows/wmi_connection.h"
#include "platform/windows/wmi_session.h"

namespace nicops::platform::windows {

// One in-parameter: texts for a string (one text) or string array, numbers for an integer
// array. An argument left out of a call stays null.
struct WmiArgument {
    std::u16string name;
    std::vector<std::u16string> texts;
    std::vector<std::uint32_t> numbers;
    bool isNumbers = false;
};

struct WmiMethodCall {
    std::u16string method;
    std::vector<WmiArgument> arguments;
};

// The calls that give an adapter the static values, in order: EnableStatic (IPAddress,
// SubnetMask), SetGateways (DefaultIPGateway with GatewayCostMetric 1; empty lists for no
// gateway), SetDNSServerSearchOrder (the servers given; left null when there are none).
std::vector<WmiMethodCall> staticAddressingCalls(const StaticAddressing& values);

// An adapter's settings as Win32_NetworkAdapterConfiguration shows them before a change.
struct PreviousSettings {
    bool dhcp = false;
    std::vector<std::u16string> addresses;  // IPAddress (IPv6 ones too)
    std::vector<std::u16string> masks;      // IPSubnet, one per address
    std::vector<std::u16string> gateways;   // DefaultIPGateway
    std::vector<std::uint32_t> gatewayMetrics;
    std::vector<std::u16string> dnsServers;  // DNSServerSearchOrder
};

// The calls that put those settings back: EnableDHCP and the DNS servers of DHCP, or
// EnableStatic with the IPv4 addresses and their masks, SetGateways (a missing metric is 1)
// and SetDNSServerSearchOrder.
std::vector<WmiMethodCall> restoringCalls(const PreviousSettings& previous);

// `argument` as a property of CIM type `cimType` takes it: a string as VT_BSTR, string arrays
// as a SAFEARRAY of BSTR, uint8 arrays of VT_UI1, sint8/sint16 arrays of VT_I2, the other
// integer arrays of VT_I4 (the automation types WMI uses). WBEM_E_TYPE_MISMATCH when the
// argument is of the other kind, or a number does not fit the type.
HRESULT argumentVariant(const WmiArgument& argument, CIMTYPE cimType, VARIANT& out);

// The in-parameters of a method whose in-parameter definition is `definition`: an instance
// spawned from it, every argument Put with the type its definition gives. On failure,
// `failedArgument` names the argument (empty when spawning failed).
HRESULT buildInParameters(IWbemClassObject* definition, const std::vector<WmiArgument>& arguments,
                          ComRef<IWbemClassObject>& instance, std::u16string& failedArgument);

class WmiAdapterConfiguration final : public AdapterConfiguration {
public:
    // `condition` gives the WQL condition that selects the adapter of a connection name.
    using AdapterCondition = std::u16string (*)(const std::string& connectionName);
    explicit WmiAdapterConfiguration(AdapterCondition condition = connectionNameCondition,
                                     RightsCheck rights = mayAdministerNetwork)
        : condition_(condition), rights_(rights) {}

    // The Flags of the last GetAdaptersAddresses entry with that friendly name.
    bool isDhcpEnabled(const std::string& connectionName) override;
    bool enableDhcp(const std::string& connectionName) override;
    // The three calls in order; when one fails after a call reached the adapter, the settings
    // read before the first are put back.
    bool setStaticAddressing(const std::string& connectionName,
                             const StaticAddressing& values) override;
    std::string lastProblem() const override;

private:
    // Callers hold mutex_ and set problem_. The object path of the connection's adapter
    // configuration ("" with problem_ set when there is none, or the rights are missing).
    std::u16string adapterPath(const WmiSession& session, const std::string& connectionName);
    // Callers hold mutex_. WMI opened (COM joined for the call) and the adapter's path found, then
    // `work` on them; false with problem_ set when either fails, else what `work` answers.
    bool onAdapter(const std::string& connectionName,
                   const std::function<bool(const WmiSession&, const std::u16string&)>& work);

    AdapterCondition condition_;
    RightsCheck rights_;
    mutable std::mutex mutex_;
    std::string problem_;
};

std::unique_ptr<AdapterConfiguration> openWmiAdapterConfiguration();

}  // namespace nicops::platform::windows
