#include "platform/linux/adapter_configuration_linux.h"

#include <fcntl.h>
#include <linux/if_addr.h>
#include <linux/rtnetlink.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <thread>

#include "platform/atomic_file.h"
#include "platform/ip_helper.h"
#include "platform/linux/adapter_assembly.h"
#include "platform/linux/linux_backend.h"
#include "platform/linux/netlink_socket.h"
#include "text/codepage.h"

namespace nicops::platform::linux_host {

// What setStaticAddressing was asked for, checked and as numbers.
// The IPv4 settings of a profile that a switch changes, as nmcli prints and takes them.
struct NmIpv4Settings {
    std::string method;
    std::string addresses;
    std::string gateway;
    std::string dns;
};

struct StaticPlan {
    std::uint32_t address = 0;
    std::uint8_t prefixLength = 0;
    std::uint32_t gateway = 0;  // 0: no default route
    std::vector<std::string> dnsServers;
    std::string shownAddress;  // "A/MASK" as typed, for messages
};

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kLeaseWait = 15s;  // a DHCP client binding its lease
constexpr auto kToolWait = 10s;   // nmcli, resolvectl and dbus-send answering
constexpr auto kStopGrace = 3s;   // a DHCP client ending after SIGTERM
constexpr auto kApplyWait = 15s;  // NetworkManager putting a reapplied address on the link
constexpr std::size_t kMaxTextFile = 1 << 20;
// NetworkManager's device states below "unavailable" (unknown, unmanaged) are devices it
// leaves alone.
constexpr int kNmDeviceUnavailable = 20;

constexpr const char* kRestored = "已恢复原来的设置.";

std::string errnoText(int error) {
    return text::encodingToGbk(std::strerror(error), text::terminalEncoding());
}

std::string linkText(const LinkRecord& link) {
    return singleLineName(text::utf8ToGbk(link.name));
}

std::string trimmed(std::string_view text) {
    const auto start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) {
        return {};
    }
    const auto end = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(start, end - start + 1));
}

std::string lastLineOf(const std::string& output) {
    const std::string text = trimmed(output);
    const auto start = text.find_last_of('\n');
    return start == std::string::npos ? text : trimmed(std::string_view(text).substr(start + 1));
}

// Why a program run failed, in one line: its last line of output when it said something.
std::string failureOf(const std::string& program, const ProgramResult& result) {
    if (!result.started) {
        return "无法运行 " + program + ".";
    }
    if (result.timedOut) {
        return program + " 超时未结束.";
    }
    std::string line = program + " 失败";
    if (result.exitStatus >= 0) {
        line += " (退出码 " + std::to_string(result.exitStatus) + ")";
    }
    const std::string said = lastLineOf(result.output);
    if (!said.empty()) {
        line += ": " + singleLineName(text::encodingToGbk(said, text::terminalEncoding()));
    }
    return line + ".";
}

std::vector<std::string> linesOf(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        lines.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::optional<std::string> readTextFile(const std::string& path) {
    std::string content;
    if (readRegularFile(path, kMaxTextFile, content) != FileReadStatus::Ok) {
        return std::nullopt;
    }
    return content;
}

// The value of KEY=VALUE in a state file; "" when the file has no such line.
std::string stateValue(std::string_view text, std::string_view key) {
    for (const auto& line : linesOf(text)) {
        if (line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
            line[key.size()] == '=') {
            return trimmed(std::string_view(line).substr(key.size() + 1));
        }
    }
    return {};
}

// The request, checked before anything is touched.

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

// Who manages a link.

enum class Manager { none, networkManager, networkd };

struct Management {
    Manager manager = Manager::none;
    std::string profile;      // NetworkManager: the UUID of the link's active profile
    std::string networkFile;  // systemd-networkd: the link's .network file, when it says
    std::string refusal;      // why the link must not be changed here; "" when it may
};

// Whether the system bus names one of `processes` as the owner of `busName`: only then does
// what is sent to that name reach them, and not a manager of another namespace.
bool busOwnerIsOneOf(const std::string& busName, const std::vector<pid_t>& processes) {
    const auto answer =
        runProgram({"dbus-send", "--system", "--print-reply", "--dest=org.freedesktop.DBus",
                    "/org/freedesktop/DBus", "org.freedesktop.DBus.GetConnectionUnixProcessID",
                    "string:" + busName},
                   kToolWait);
    constexpr std::string_view kNumber = "uint32 ";
    const auto at = answer.output.find(kNumber);
    if (answer.exitStatus != 0 || at == std::string::npos) {
        return false;
    }
    const long owner = std::strtol(answer.output.c_str() + at + kNumber.size(), nullptr, 10);
    return std::find(processes.begin(), processes.end(), static_cast<pid_t>(owner)) !=
           processes.end();
}

ProgramResult nmcli(std::vector<std::string> arguments,
                    std::chrono::milliseconds limit = kToolWait) {
    arguments.insert(arguments.begin(), "nmcli");
    return runProgram(arguments, limit);
}

// NetworkManager's state number of the device ("100 (connected)"); nullopt when it doesn't
// know the device.
std::optional<int> nmDeviceState(const std::string& device) {
    const auto shown = nmcli({"--escape", "no", "-g", "GENERAL.STATE", "device", "show", device});
    if (shown.exitStatus != 0) {
        return std::nullopt;
    }
    char* end = nullptr;
    const long state = std::strtol(shown.output.c_str(), &end, 10);
    return end == shown.output.c_str() ? std::nullopt : std::optional<int>(state);
}

// The UUID of the profile active on the device; "" when none is.
std::string nmActiveProfile(const std::string& device) {
    const auto active = nmcli({"-t", "-f", "UUID,DEVICE", "connection", "show", "--active"});
    if (active.exitStatus != 0) {
        return {};
    }
    for (const auto& line : linesOf(active.output)) {
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

Management managementOf(const LinkRecord& link, const NamespaceId& ns, const HostFiles& files) {
    Management found;
    const std::string shown = linkText(link);
    if (const auto nm = processesInNamespace("NetworkManager", ns); !nm.empty()) {
        // It may manage the link, but unless nmcli reaches that very process nothing can be
        // asked of it, and nothing else may change the link under it.
        if (findProgram("nmcli").empty() ||
            !busOwnerIsOneOf("org.freedesktop.NetworkManager", nm)) {
            found.refusal =
                "本网络命名空间中运行着 NetworkManager, 但无法通过 nmcli "
                "和系统总线确认与它通信, 没有更改 " +
                shown + ".";
            return found;
        }
        if (const auto state = nmDeviceState(link.name); state && *state >= kNmDeviceUnavailable) {
            found.manager = Manager::networkManager;
            found.profile = nmActiveProfile(link.name);
            if (found.profile.empty()) {
                found.refusal = shown +
                                " 由 NetworkManager 管理, 但没有已激活的连接配置, "
                                "请先在 NetworkManager 中连接它.";
            }
            return found;
        }
    }
    // The name of systemd-networkd's process, cut at 15 bytes.
    if (!processesInNamespace("systemd-network", ns).empty()) {
        const auto state = readTextFile(files.options().runRoot + "/systemd/netif/links/" +
                                        std::to_string(link.index));
        const std::string adminState = state ? stateValue(*state, "ADMIN_STATE") : "";
        if (!adminState.empty() && adminState != "unmanaged") {
            found.manager = Manager::networkd;
            found.networkFile = stateValue(*state, "NETWORK_FILE");
            found.refusal =
                shown + " 由 systemd-networkd 管理, 请在 " +
                (found.networkFile.empty() ? std::string("它的 .network 文件")
                                           : singleLineName(text::utf8ToGbk(found.networkFile))) +
                " 中修改它的设置.";
        }
    }
    return found;
}

// Whether a .network file turns on DHCPv4 ([Network] DHCP=yes or ipv4).
bool networkFileEnablesDhcp(const std::string& path) {
    const auto content = path.empty() ? std::nullopt : readTextFile(path);
    if (!content) {
        return false;
    }
    bool inNetwork = false;
    bool enabled = false;
    for (const auto& raw : linesOf(*content)) {
        const std::string line = trimmed(raw);
        if (!line.empty() && line.front() == '[') {
            inNetwork = line == "[Network]";
        } else if (inNetwork && line.rfind("DHCP=", 0) == 0) {
            const std::string value = trimmed(std::string_view(line).substr(5));
            enabled = value == "yes" || value == "ipv4" || value == "true" || value == "on" ||
                      value == "1";
        }
    }
    return enabled;
}

bool resolvedServesLinks(const NamespaceId& ns) {
    // The name of systemd-resolved's process, cut at 15 bytes.
    const auto resolved = processesInNamespace("systemd-resolve", ns);
    return !resolved.empty() && busOwnerIsOneOf("org.freedesktop.resolve1", resolved);
}

// NetworkManager: the link's active profile.

std::optional<NmIpv4Settings> nmSettingsOf(const std::string& profile) {
    const auto shown =
        nmcli({"--escape", "no", "-g", "ipv4.method,ipv4.addresses,ipv4.gateway,ipv4.dns",
               "connection", "show", profile});
    auto lines = linesOf(shown.output);
    if (shown.exitStatus != 0 || lines.size() < 4) {
        return std::nullopt;
    }
    return NmIpv4Settings{trimmed(lines[0]), trimmed(lines[1]), trimmed(lines[2]),
                          trimmed(lines[3])};
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

// Waits until the link carries the address with its prefix.
bool waitForAddress(NetlinkSocket& socket, std::uint32_t index, std::uint32_t address,
                    std::uint8_t prefixLength) {
    for (const auto deadline = std::chrono::steady_clock::now() + kApplyWait;;) {
        if (const auto present = dumpAddresses(socket, index)) {
            for (const auto& record : *present) {
                if (record.address == address && record.prefixLength == prefixLength) {
                    return true;
                }
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
}

// No manager: the kernel's addresses and routes, the DHCP client, the resolver.

struct LinkState {
    std::vector<AddressRecord> addresses;
    std::vector<DefaultRoute> routes;  // the link's default routes
};

std::optional<LinkState> readLinkState(NetlinkSocket& socket, std::uint32_t index) {
    auto addresses = dumpAddresses(socket, index);
    const auto routes = dumpDefaultRoutes(socket);
    if (!addresses || !routes) {
        return std::nullopt;
    }
    LinkState state{std::move(*addresses), {}};
    for (const auto& route : *routes) {
        if (route.outputIndex == index) {
            state.routes.push_back(route);
        }
    }
    return state;
}

std::uint32_t broadcastOf(std::uint32_t address, std::uint8_t prefixLength) {
    // /31 and /32 have no broadcast address.
    if (prefixLength > 30) {
        return 0;
    }
    return address | (0xFFFFFFFFu >> prefixLength);
}

// Gives the link exactly `wanted`, in that order (the first of a subnet is its primary
// address). 0, or the errno of the request that failed.
int replaceAddresses(NetlinkSocket& socket, std::uint32_t index,
                     const std::vector<AddressRecord>& wanted) {
    const auto present = dumpAddresses(socket, index);
    if (!present) {
        return EIO;
    }
    alignas(nlmsghdr) char request[kMaxRequestSize];
    // Secondaries first: a primary address takes the secondaries of its subnet with it.
    std::vector<AddressRecord> order = *present;
    std::stable_partition(order.begin(), order.end(), [](const AddressRecord& record) {
        return (record.flags & IFA_F_SECONDARY) != 0;
    });
    for (const auto& record : order) {
        const int error = socket.request(buildAddressChange(
            request, RTM_DELADDR, socket.nextSeq(), index, record.address, record.prefixLength));
        if (error != 0 && error != EADDRNOTAVAIL) {
            return error;
        }
    }
    for (const auto& record : wanted) {
        const int error = socket.request(buildAddressChange(
            request, RTM_NEWADDR, socket.nextSeq(), index, record.address, record.prefixLength,
            broadcastOf(record.address, record.prefixLength)));
        if (error != 0) {
            return error;
        }
    }
    return 0;
}

// Gives the link exactly the default routes `wanted`. 0, or the errno of the request that
// failed.
int replaceDefaultRoutes(NetlinkSocket& socket, std::uint32_t index,
                         const std::vector<DefaultRoute>& wanted) {
    const auto present = dumpDefaultRoutes(socket);
    if (!present) {
        return EIO;
    }
    alignas(nlmsghdr) char request[kMaxRequestSize];
    for (const auto& route : *present) {
        if (route.outputIndex != index) {
            continue;
        }
        const int error =
            socket.request(buildDefaultRouteChange(request, RTM_DELROUTE, socket.nextSeq(), route));
        if (error != 0 && error != ESRCH) {
            return error;
        }
    }
    for (const auto& route : wanted) {
        const int error =
            socket.request(buildDefaultRouteChange(request, RTM_NEWROUTE, socket.nextSeq(), route));
        if (error != 0) {
            return error;
        }
    }
    return 0;
}

// Puts back what the link had: the addresses first, so the old gateways are reachable again.
// 0, or the errno of the request that failed.
int putBack(NetlinkSocket& socket, std::uint32_t index, const LinkState& state) {
    const int error = replaceAddresses(socket, index, state.addresses);
    return error != 0 ? error : replaceDefaultRoutes(socket, index, state.routes);
}

// The mount points of the calling thread's mount namespace include `path`: a file bind-mounted
// there (as `ip netns exec` and containers do with resolv.conf) can't be replaced by rename.
bool isMountPoint(const std::string& path) {
    const auto table = readTextFile("/proc/thread-self/mountinfo");
    if (!table) {
        return false;
    }
    for (const auto& line : linesOf(*table)) {
        // The fifth field is the mount point, with space, tab, newline and '\' as octal escapes.
        std::size_t start = 0;
        for (int field = 0; field < 4 && start != std::string::npos; ++field) {
            start = line.find(' ', start);
            start = start == std::string::npos ? start : start + 1;
        }
        if (start == std::string::npos) {
            continue;
        }
        const std::string escaped = line.substr(start, line.find(' ', start) - start);
        std::string point;
        for (std::size_t i = 0; i < escaped.size(); ++i) {
            if (escaped[i] == '\\' && i + 3 < escaped.size()) {
                point +=
                    static_cast<char>(std::strtol(escaped.substr(i + 1, 3).c_str(), nullptr, 8));
                i += 3;
            } else {
                point += escaped[i];
            }
        }
        if (point == path) {
            return true;
        }
    }
    return false;
}

bool writeInPlace(const std::string& path, std::string_view content, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    while (!content.empty()) {
        const ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    if (::close(fd) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// resolv.conf as the resolver reads it: the file its path leads to, its content (nullopt when
// there is none).
struct ResolvConf {
    std::string path;
    std::optional<std::string> content;
};

ResolvConf readResolvConf(const std::string& configured) {
    std::error_code error;
    const fs::path target = fs::weakly_canonical(configured, error);
    ResolvConf file{error ? configured : target.string(), std::nullopt};
    file.content = readTextFile(file.path);
    return file;
}

// Replaces resolv.conf's content: by rename, or in place where the file is a mount point.
// "" or why it failed.
std::string writeResolvConf(const std::string& path, const std::string& content) {
    std::string error;
    const bool written = isMountPoint(path) ? writeInPlace(path, content, error)
                                            : replaceFileAtomically(path, content, &error);
    if (written) {
        return {};
    }
    return "写入 " + path +
           " 失败: " + singleLineName(text::encodingToGbk(error, text::terminalEncoding()));
}

bool isNameserverLine(std::string_view line) {
    const std::string text = trimmed(line);
    constexpr std::string_view kKey = "nameserver";
    return text.rfind(kKey, 0) == 0 &&
           (text.size() == kKey.size() || text[kKey.size()] == ' ' || text[kKey.size()] == '\t');
}

// resolv.conf with exactly these nameserver lines, where its first nameserver line was (at the
// end when it had none); every other line is kept.
std::string withNameservers(std::string_view content, const std::vector<std::string>& servers) {
    std::string nameservers;
    for (const auto& server : servers) {
        nameservers += "nameserver " + server + "\n";
    }
    std::string out;
    bool placed = false;
    for (const auto& line : linesOf(content)) {
        if (!isNameserverLine(line)) {
            out += line + "\n";
        } else if (!placed) {
            out += nameservers;
            placed = true;
        }
    }
    return placed ? out : out + nameservers;
}

// The DHCP clients the configuration starts and stops, in the order it prefers them.
constexpr std::array<std::string_view, 3> kDhcpClients{"dhclient", "dhcpcd", "udhcpc"};

std::string pidFileOf(const LinuxBackendOptions& options, std::string_view client,
                      const std::string& device) {
    return options.runRoot + "/" + std::string(client) + "." + device + ".pid";
}

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

// The DHCP clients running for the link in this namespace: the one our pid file names, and any
// whose command line names the link.
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

// Stops the link's DHCP clients; "" or why one would not end.
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

std::string installedDhcpClient() {
    for (const auto client : kDhcpClients) {
        if (!findProgram(std::string(client)).empty()) {
            return std::string(client);
        }
    }
    return {};
}

}  // namespace

std::unique_ptr<AdapterConfiguration> openLinuxAdapterConfiguration() {
    return openLinuxAdapterConfiguration(LinuxBackendOptions{});
}

std::unique_ptr<LinuxAdapterConfiguration> openLinuxAdapterConfiguration(
    const LinuxBackendOptions& options) {
    return LinuxAdapterConfiguration::open(options);
}

std::unique_ptr<LinuxAdapterConfiguration> LinuxAdapterConfiguration::open(
    const LinuxBackendOptions& options) {
    auto socket = NetlinkSocket::open();
    const auto ns = threadNetworkNamespace();
    // Without its namespace no manager could be told from one of another namespace.
    if (!socket || !ns) {
        return nullptr;
    }
    return std::unique_ptr<LinuxAdapterConfiguration>(
        new LinuxAdapterConfiguration(std::move(socket), *ns, options));
}

LinuxAdapterConfiguration::LinuxAdapterConfiguration(std::unique_ptr<NetlinkSocket> socket,
                                                     const NamespaceId& ns,
                                                     const LinuxBackendOptions& options)
    : socket_(std::move(socket)), files_(options), namespace_(ns) {}

LinuxAdapterConfiguration::~LinuxAdapterConfiguration() = default;

std::string LinuxAdapterConfiguration::lastProblem() const {
    std::lock_guard lock(mutex_);
    return problem_;
}

std::optional<LinkRecord> LinuxAdapterConfiguration::findLink(const std::string& connectionName,
                                                              std::string& problem) {
    if (threadNetworkNamespace() != namespace_) {
        problem = "网络适配器设置只能在打开它的网络命名空间中使用.";
        return std::nullopt;
    }
    auto links = dumpLinks(*socket_);
    if (!links) {
        problem = "无法读取网络适配器列表.";
        return std::nullopt;
    }
    auto link = linkOfConnectionName(std::move(*links), connectionName);
    if (!link) {
        problem = "没有连接名为“" + connectionName + "”的网络适配器.";
    }
    return link;
}

bool LinuxAdapterConfiguration::isDhcpEnabled(const std::string& connectionName) {
    std::lock_guard lock(mutex_);
    std::string ignored;
    const auto link = findLink(connectionName, ignored);
    if (!link) {
        return false;
    }
    const auto management = managementOf(*link, namespace_, files_);
    if (management.manager == Manager::networkManager) {
        const auto settings =
            management.profile.empty() ? std::nullopt : nmSettingsOf(management.profile);
        return settings && settings->method == "auto";
    }
    if (management.manager == Manager::networkd && networkFileEnablesDhcp(management.networkFile)) {
        return true;
    }
    if (!dhcpClientsOf(link->name, namespace_, files_.options()).empty()) {
        return true;
    }
    const auto state = readLinkState(*socket_, link->index);
    return state && obtainsAddressByDhcp(state->addresses, link->index, state->routes);
}

bool LinuxAdapterConfiguration::enableDhcp(const std::string& connectionName) {
    std::lock_guard lock(mutex_);
    problem_.clear();
    const auto link = findLink(connectionName, problem_);
    if (!link) {
        return false;
    }
    const auto management = managementOf(*link, namespace_, files_);
    if (!management.refusal.empty()) {
        problem_ = management.refusal;
        return false;
    }
    if (management.manager == Manager::networkManager) {
        const auto before = nmSettingsOf(management.profile);
        if (!before) {
            problem_ = "无法读取 NetworkManager 连接配置 " + management.profile + " 的设置.";
            return false;
        }
        return applyThroughNetworkManager(*link, management.profile, *before,
                                          NmIpv4Settings{"auto", "", "", ""}, true, {});
    }
    return enableDhcpUnmanaged(*link);
}

bool LinuxAdapterConfiguration::setStaticAddressing(const std::string& connectionName,
                                                    const StaticAddressing& values) {
    std::lock_guard lock(mutex_);
    problem_.clear();
    const auto plan = planOf(values, problem_);
    if (!plan) {
        return false;
    }
    const auto link = findLink(connectionName, problem_);
    if (!link) {
        return false;
    }
    const auto management = managementOf(*link, namespace_, files_);
    if (!management.refusal.empty()) {
        problem_ = management.refusal;
        return false;
    }
    if (management.manager != Manager::networkManager) {
        return setStaticUnmanaged(*link, *plan);
    }
    const auto before = nmSettingsOf(management.profile);
    if (!before) {
        problem_ = "无法读取 NetworkManager 连接配置 " + management.profile + " 的设置.";
        return false;
    }
    std::string dns;
    for (const auto& server : plan->dnsServers) {
        dns += (dns.empty() ? "" : ",") + server;
    }
    const NmIpv4Settings wanted{
        "manual", formatIpv4(plan->address) + "/" + std::to_string(plan->prefixLength),
        plan->gateway != 0 ? formatIpv4(plan->gateway) : "", dns};
    return applyThroughNetworkManager(
        *link, management.profile, *before, wanted, false, [&]() -> std::string {
            if (waitForAddress(*socket_, link->index, plan->address, plan->prefixLength)) {
                return {};
            }
            return "NetworkManager 没有给 " + linkText(*link) + " 设上地址 " + plan->shownAddress +
                   ".";
        });
}

bool LinuxAdapterConfiguration::applyThroughNetworkManager(
    const LinkRecord& link, const std::string& profile, const NmIpv4Settings& before,
    const NmIpv4Settings& wanted, bool waitForLease, const std::function<std::string()>& confirm) {
    problem_ = nmApply(profile, link.name, wanted, waitForLease);
    if (problem_.empty() && confirm) {
        problem_ = confirm();
    }
    if (!problem_.empty()) {
        nmApply(profile, link.name, before, false);
        problem_ += std::string(" ") + kRestored;
    }
    return problem_.empty();
}

bool LinuxAdapterConfiguration::enableDhcpUnmanaged(const LinkRecord& link) {
    if (problem_ = networkAdministrationProblem(); !problem_.empty()) {
        return false;
    }
    const std::string shown = linkText(link);
    const std::string client = installedDhcpClient();
    if (client.empty()) {
        problem_ = "没有找到DHCP客户端程序 (dhclient, dhcpcd 或 udhcpc).";
        return false;
    }
    const auto before = readLinkState(*socket_, link.index);
    if (!before) {
        problem_ = "无法读取 " + shown + " 的地址和路由.";
        return false;
    }
    const auto& options = files_.options();
    if (problem_ = stopDhcpClients(link, namespace_, options); !problem_.empty()) {
        return false;
    }
    const auto restore = [&](const std::string& failure) {
        const int error = putBack(*socket_, link.index, *before);
        problem_ =
            failure + " " +
            (error == 0 ? std::string(kRestored) : "恢复原来的设置失败: " + errnoText(error));
        return false;
    };
    // The client starts on a link without the static configuration, so its own gateway
    // becomes the default route.
    if (const int error = replaceDefaultRoutes(*socket_, link.index, {}); error != 0) {
        return restore("删除 " + shown + " 的默认路由失败: " + errnoText(error));
    }
    if (const int error = replaceAddresses(*socket_, link.index, {}); error != 0) {
        return restore("删除 " + shown + " 的地址失败: " + errnoText(error));
    }
    const auto run = runProgram(dhcpClientCommand(client, link.name, options), kLeaseWait);
    if (run.exitStatus == 0) {
        if (resolvedServesLinks(namespace_)) {
            // The link's servers set by hand give way to what DHCP hands out.
            (void)runProgram({"resolvectl", "revert", link.name}, kToolWait);
        }
        return true;
    }
    (void)stopDhcpClients(link, namespace_, options);
    return restore(run.timedOut ? shown + " 在 " + std::to_string(kLeaseWait.count()) +
                                      " 秒内没有得到DHCP租约."
                                : failureOf(client, run));
}

bool LinuxAdapterConfiguration::setStaticUnmanaged(const LinkRecord& link, const StaticPlan& plan) {
    if (problem_ = networkAdministrationProblem(); !problem_.empty()) {
        return false;
    }
    const std::string shown = linkText(link);
    const auto all = dumpAddresses(*socket_, 0);
    const auto before = readLinkState(*socket_, link.index);
    if (!all || !before) {
        problem_ = "无法读取 " + shown + " 的地址和路由.";
        return false;
    }
    // One address belongs to one adapter.
    for (const auto& record : *all) {
        if (record.address == plan.address && record.index != link.index) {
            problem_ = "地址 " + formatIpv4(plan.address) + " 已被另一个网络适配器使用.";
            return false;
        }
    }
    const bool viaResolved = resolvedServesLinks(namespace_);
    const auto resolvedBefore = files_.resolvedServers(link.index);
    const ResolvConf resolvConfBefore = readResolvConf(files_.options().resolvConfPath);

    if (problem_ = stopDhcpClients(link, namespace_, files_.options()); !problem_.empty()) {
        return false;
    }

    const auto setDns = [&](const std::vector<std::string>& servers) -> std::string {
        if (viaResolved) {
            std::vector<std::string> command{"resolvectl", servers.empty() ? "revert" : "dns",
                                             link.name};
            command.insert(command.end(), servers.begin(), servers.end());
            const auto result = runProgram(command, kToolWait);
            return result.exitStatus == 0 ? std::string() : failureOf("resolvectl", result);
        }
        return writeResolvConf(resolvConfBefore.path,
                               withNameservers(resolvConfBefore.content.value_or(""), servers));
    };

    std::string failure;
    const AddressRecord address{link.index, plan.address, plan.prefixLength, 0, false};
    std::vector<DefaultRoute> routes;
    if (plan.gateway != 0) {
        routes.push_back({link.index, plan.gateway, RTPROT_STATIC, 0});
    }
    if (const int error = replaceAddresses(*socket_, link.index, {address}); error != 0) {
        failure = "设置地址 " + plan.shownAddress + " 失败: " + errnoText(error);
    } else if (const int routeError = replaceDefaultRoutes(*socket_, link.index, routes);
               routeError != 0) {
        failure = (plan.gateway != 0 ? "设置默认网关 " + formatIpv4(plan.gateway) + " 失败: "
                                     : std::string("删除默认路由失败: ")) +
                  errnoText(routeError);
    } else {
        failure = setDns(plan.dnsServers);
    }
    if (failure.empty()) {
        return true;
    }

    std::string undoFailure;
    if (const int error = putBack(*socket_, link.index, *before); error != 0) {
        undoFailure = errnoText(error);
    }
    if (viaResolved) {
        const auto result = setDns(resolvedBefore.value_or(std::vector<std::string>{}));
        undoFailure = undoFailure.empty() ? result : undoFailure;
    } else if (const ResolvConf now = readResolvConf(files_.options().resolvConfPath);
               now.content != resolvConfBefore.content) {
        const std::string result =
            resolvConfBefore.content
                ? writeResolvConf(resolvConfBefore.path, *resolvConfBefore.content)
                : (::unlink(resolvConfBefore.path.c_str()) == 0 ? "" : errnoText(errno));
        undoFailure = undoFailure.empty() ? result : undoFailure;
    }
    problem_ =
        failure + " " +
        (undoFailure.empty() ? std::string(kRestored) : "恢复原来的设置失败: " + undoFailure);
    return false;
}

}  // namespace nicops::platform::linux_host
