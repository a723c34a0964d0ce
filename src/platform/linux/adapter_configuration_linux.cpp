#include "platform/linux/adapter_configuration_linux.h"

#include <linux/rtnetlink.h>

#include "platform/ip_helper.h"
#include "platform/ipv4_text.h"
#include "platform/linux/adapter_assembly.h"
#include "platform/linux/configuration_text.h"
#include "platform/linux/connection_names.h"
#include "platform/linux/dhcp_clients.h"
#include "platform/linux/link_addresses.h"
#include "platform/linux/netlink_socket.h"
#include "platform/linux/network_administration.h"
#include "platform/linux/networkd_link.h"
#include "platform/linux/nm_client.h"
#include "platform/linux/resolver_config.h"
#include "platform/linux/static_plan.h"
#include "platform/linux/system_bus.h"
#include "text/codepage.h"

namespace nicops::platform::linux_host {

namespace {

// Who manages a link.

enum class Manager { none, networkManager, networkd };

struct Management {
    Manager manager = Manager::none;
    std::string profile;      // NetworkManager: the UUID of the link's active profile
    std::string networkFile;  // systemd-networkd: the link's .network file, when it says
    std::string refusal;      // why the link must not be changed here; "" when it may
};

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
        if (const auto networkd = networkdLinkOf(files.options(), link.index); networkd.managed) {
            found.manager = Manager::networkd;
            found.networkFile = networkd.networkFile;
            found.refusal =
                shown + " 由 systemd-networkd 管理, 请在 " +
                (found.networkFile.empty() ? std::string("它的 .network 文件")
                                           : singleLineName(text::utf8ToGbk(found.networkFile))) +
                " 中修改它的设置.";
        }
    }
    return found;
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
        problem_ = nmChangeProfile(management.profile, link->name,
                                   NmIpv4Settings{"auto", "", "", ""}, true, {});
        return problem_.empty();
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
    problem_ = nmChangeProfile(
        management.profile, link->name, nmStaticSettings(*plan), false, [&]() -> std::string {
            if (waitForAddress(*socket_, link->index, plan->address, plan->prefixLength)) {
                return {};
            }
            return "NetworkManager 没有给 " + linkText(*link) + " 设上地址 " + plan->shownAddress +
                   ".";
        });
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
        problem_ = afterUndo(failure, error == 0 ? "" : errnoText(error));
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
    if (const auto failure = runDhcpClient(client, link, namespace_, options); !failure.empty()) {
        return restore(failure);
    }
    revertLinkServers(link.name, namespace_);
    return true;
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
    const ResolverChange dns(link.name, link.index, namespace_, files_);

    if (problem_ = stopDhcpClients(link, namespace_, files_.options()); !problem_.empty()) {
        return false;
    }

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
        failure = dns.set(plan.dnsServers);
    }
    if (failure.empty()) {
        return true;
    }

    std::string undoFailure;
    if (const int error = putBack(*socket_, link.index, *before); error != 0) {
        undoFailure = errnoText(error);
    }
    if (const std::string dnsUndo = dns.putBack(); undoFailure.empty()) {
        undoFailure = dnsUndo;
    }
    problem_ = afterUndo(failure, undoFailure);
    return false;
}

}  // namespace nicops::platform::linux_host
