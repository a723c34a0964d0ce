#include "platform/linux/dhcp_clients.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>

#include "platform/linux/configuration_text.h"
#include "platform/linux/program_runs.h"

namespace nicops::platform::linux_host {

namespace {

using namespace std::chrono_literals;

constexpr auto kStopGrace = 3s;  // a DHCP client ending after SIGTERM

// The DHCP clients the configuration starts and stops, in the order it prefers them.
constexpr std::array<std::string_view, 3> kDhcpClients{"dhclient", "dhcpcd", "udhcpc"};

std::string pidFileOf(const LinuxBackendOptions& options, std::string_view client,
                      const std::string& device) {
    return options.runRoot + "/" + std::string(client) + "." + device + ".pid";
}

}  // namespace

std::vector<std::string> dhcpClientCommand(std::string_view client, const std::string& device,
                                           const LinuxBackendOptions& options) {
    const std::string name(client);
    const std::string pidFile = pidFileOf(options, client, device);
    const std::string seconds = std::to_string(kLeaseWait.count());
    if (client == "dhclient") {
        // -1: one attempt; it stays in the foreground until the lease is bound.
        return {name,    "-1",  "-pf",
                pidFile, "-lf", options.varLibRoot + "/dhcp/dhclient." + device + ".leases",
                device};
    }
    if (client == "dhcpcd") {
        // It keeps its own pid file; -w: it forks once an address is bound.
        return {name, "-4", "-w", "-t", seconds, device};
    }
    // udhcpc: -n ends it when no lease comes; it forks once the lease is bound.
    return {name, "-i", device, "-p", pidFile, "-n", "-t", "5", "-T", "3"};
}

bool namesInterface(const std::vector<std::string>& arguments, const std::string& device) {
    return std::any_of(arguments.begin() + std::min<std::size_t>(1, arguments.size()),
                       arguments.end(), [&](const std::string& argument) {
                           return argument == device || argument == "-i" + device ||
                                  argument == "--interface=" + device;
                       });
}

std::string installedDhcpClient() {
    for (const auto client : kDhcpClients) {
        if (!findProgram(std::string(client)).empty()) {
            return std::string(client);
        }
    }
    return {};
}

std::vector<pid_t> dhcpClientsOf(const std::string& device, const NamespaceId& ns,
                                 const LinuxBackendOptions& options) {
    std::vector<pid_t> found;
    const auto add = [&](pid_t pid) {
        if (std::find(found.begin(), found.end(), pid) == found.end()) {
            found.push_back(pid);
        }
    };
    for (const auto client : kDhcpClients) {
        if (const auto text = readTextFile(pidFileOf(options, client, device))) {
            const auto pid = static_cast<pid_t>(std::strtol(text->c_str(), nullptr, 10));
            // A pid file outlives its process, and the number may since be another's.
            if (pid > 0 && processName(pid) == client && processRuns(pid) &&
                processNetworkNamespace(pid) == ns) {
                add(pid);
            }
        }
        for (const pid_t pid : processesInNamespace(client, ns)) {
            if (namesInterface(processArguments(pid), device)) {
                add(pid);
            }
        }
    }
    return found;
}

std::string stopDhcpClients(const LinkRecord& link, const NamespaceId& ns,
                            const LinuxBackendOptions& options) {
    for (const pid_t pid : dhcpClientsOf(link.name, ns, options)) {
        if (!stopProcess(pid, kStopGrace)) {
            return "无法停止 " + linkText(link) + " 的DHCP客户端 (进程 " + std::to_string(pid) +
                   ").";
        }
    }
    for (const auto client : kDhcpClients) {
        ::unlink(pidFileOf(options, client, link.name).c_str());
    }
    return {};
}

std::string runDhcpClient(const std::string& client, const LinkRecord& link, const NamespaceId& ns,
                          const LinuxBackendOptions& options) {
    const auto run = runProgram(dhcpClientCommand(client, link.name, options), kLeaseWait);
    if (run.exitStatus == 0) {
        return {};
    }
    (void)stopDhcpClients(link, ns, options);
    return run.timedOut ? linkText(link) + " 在 " + std::to_string(kLeaseWait.count()) +
                              " 秒内没有得到DHCP租约."
                        : failureOf(client, run);
}

}  // namespace nicops::platform::linux_host
