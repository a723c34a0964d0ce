// The NetworkManager client of the adapter configuration: nmcli asked for a device's state, the
// profile active on it and a profile's IPv4 values, and a profile changed and applied, its values
// put back when the change fails. What nmcli prints is read by pure functions.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/linux/static_plan.h"

namespace nicops::platform::linux_host {

// NetworkManager's device states below "unavailable" (unknown, unmanaged) are devices it
// leaves alone.
inline constexpr int kNmDeviceUnavailable = 20;

// The IPv4 settings of a profile that a switch changes, as nmcli prints and takes them.
struct NmIpv4Settings {
    std::string method;
    std::string addresses;
    std::string gateway;
    std::string dns;
};

// The state number in `nmcli -g GENERAL.STATE device show` ("100 (connected)"); nullopt when it
// starts with none.
std::optional<int> parseNmDeviceState(const std::string& output);
// The UUID of the profile that `nmcli -t -f UUID,DEVICE connection show --active` shows on the
// device; "" when none is.
std::string parseNmActiveProfile(std::string_view output, const std::string& device);
// The four lines of `nmcli --escape no -g ipv4.method,ipv4.addresses,ipv4.gateway,ipv4.dns`;
// nullopt when there are fewer.
std::optional<NmIpv4Settings> parseNmIpv4Settings(std::string_view output);
// The profile values of the plan: manual, "A/PREFIX", the gateway ("" for none), the DNS servers
// separated by commas.
NmIpv4Settings nmStaticSettings(const StaticPlan& plan);

// NetworkManager's state number of the device; nullopt when it doesn't know the device.
std::optional<int> nmDeviceState(const std::string& device);
// The UUID of the profile active on the device; "" when none is.
std::string nmActiveProfile(const std::string& device);
// The profile's IPv4 values; nullopt when nmcli doesn't show them.
std::optional<NmIpv4Settings> nmSettingsOf(const std::string& profile);
// Changes the profile to `wanted` and applies it to the device (activated again, waiting for
// its DHCP lease, when `waitForLease`), then asks `confirm` (when given) for a problem with the
// result; after a failure the profile's values from before are put back. "" or why it failed.
std::string nmChangeProfile(const std::string& profile, const std::string& device,
                            const NmIpv4Settings& wanted, bool waitForLease,
                            const std::function<std::string()>& confirm);

}  // namespace nicops::platform::linux_host
