#include "platform/linux/nm_client.h"

#include <cstdlib>
#include <vector>

#include "platform/ipv4_text.h"
#include "platform/linux/configuration_text.h"
#include "platform/linux/program_runs.h"

namespace nicops::platform::linux_host {

namespace {

ProgramResult nmcli(std::vector<std::string> arguments,
                    std::chrono::milliseconds limit = kToolWait) {
    arguments.insert(arguments.begin(), "nmcli");
    return runProgram(arguments, limit);
}

// Writes the settings into the profile and applies them to the device: reapplied at once, or
// (`waitForLease`) activated again, waiting for its DHCP lease. "" or why it failed.
std::string nmApply(const std::string& profile, const std::string& device,
                    const NmIpv4Settings& settings, bool waitForLease) {
    const auto modified =
        nmcli({"connection", "modify", profile, "ipv4.method", settings.method, "ipv4.addresses",
               settings.addresses, "ipv4.gateway", settings.gateway, "ipv4.dns", settings.dns});
    if (modified.exitStatus != 0) {
        return failureOf("nmcli connection modify", modified);
    }
    if (!waitForLease && nmcli({"device", "reapply", device}).exitStatus == 0) {
        return {};
    }
    const auto activated = nmcli({"--wait", std::to_string(kLeaseWait.count()), "connection", "up",
                                  profile, "ifname", device},
                                 kLeaseWait + kToolWait);
    return activated.exitStatus == 0 ? std::string() : failureOf("nmcli connection up", activated);
}

}  // namespace

std::optional<int> parseNmDeviceState(const std::string& output) {
    char* end = nullptr;
    const long state = std::strtol(output.c_str(), &end, 10);
    return end == output.c_str() ? std::nullopt : std::optional<int>(state);
}

std::string parseNmActiveProfile(std::string_view output, const std::string& device) {
    for (const auto& line : linesOf(output)) {
        // Terse output escapes ':' and '\' in values; a UUID holds neither.
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        std::string shownDevice;
        for (std::size_t i = colon + 1; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                ++i;
            }
            shownDevice += line[i];
        }
        if (shownDevice == device) {
            return line.substr(0, colon);
        }
    }
    return {};
}

std::optional<NmIpv4Settings> parseNmIpv4Settings(std::string_view output) {
    const auto lines = linesOf(output);
    if (lines.size() < 4) {
        return std::nullopt;
    }
    return NmIpv4Settings{trimmed(lines[0]), trimmed(lines[1]), trimmed(lines[2]),
                          trimmed(lines[3])};
}

NmIpv4Settings nmStaticSettings(const StaticPlan& plan) {
    std::string dns;
    for (const auto& server : plan.dnsServers) {
        dns += (dns.empty() ? "" : ",") + server;
    }
    return NmIpv4Settings{"manual",
                          formatIpv4(plan.address) + "/" + std::to_string(plan.prefixLength),
                          plan.gateway != 0 ? formatIpv4(plan.gateway) : "", dns};
}

std::optional<int> nmDeviceState(const std::string& device) {
    const auto shown = nmcli({"--escape", "no", "-g", "GENERAL.STATE", "device", "show", device});
    if (shown.exitStatus != 0) {
        return std::nullopt;
    }
    return parseNmDeviceState(shown.output);
}

std::string nmActiveProfile(const std::string& device) {
    const auto active = nmcli({"-t", "-f", "UUID,DEVICE", "connection", "show", "--active"});
    if (active.exitStatus != 0) {
        return {};
    }
    return parseNmActiveProfile(active.output, device);
}

std::optional<NmIpv4Settings> nmSettingsOf(const std::string& profile) {
    const auto shown =
        nmcli({"--escape", "no", "-g", "ipv4.method,ipv4.addresses,ipv4.gateway,ipv4.dns",
               "connection", "show", profile});
    if (shown.exitStatus != 0) {
        return std::nullopt;
    }
    return parseNmIpv4Settings(shown.output);
}

std::string nmChangeProfile(const std::string& profile, const std::string& device,
                            const NmIpv4Settings& wanted, bool waitForLease,
                            const std::function<std::string()>& confirm) {
    const auto before = nmSettingsOf(profile);
    if (!before) {
        return "无法读取 NetworkManager 连接配置 " + profile + " 的设置.";
    }
    std::string problem = nmApply(profile, device, wanted, waitForLease);
    if (problem.empty() && confirm) {
        problem = confirm();
    }
    if (!problem.empty()) {
        nmApply(profile, device, *before, false);
        problem = afterUndo(problem, "");
    }
    return problem;
}

}  // namespace nicops::platform::linux_host
