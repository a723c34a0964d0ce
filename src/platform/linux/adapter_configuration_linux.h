// Switching a link between DHCP and one static address on Linux, by whoever manages the link:
//
// - NetworkManager (running in this network namespace, the device managed): the link's active
//   profile is changed with nmcli and reapplied, so the change outlasts a restart;
// - systemd-networkd (running here, the link managed): refused; the problem names its .network
//   file;
// - nobody: the machine's DHCP client (dhclient, dhcpcd or udhcpc) is started for DHCP, with a
//   pid file and lease file per link; a static address is set through rtnetlink, the default
//   route with it, and the DNS servers go to systemd-resolved (running here) or /etc/resolv.conf.
//
// A manager counts only when its process runs in the network namespace of this configuration:
// over D-Bus a namespace still reaches the managers of the machine, and a change sent to them
// would land on the machine's link of the same name. Before nmcli or resolvectl is run, the bus
// must also name that very process as the owner of the manager's bus name.
//
// The configuration answers for the network namespace of the thread that opened it and must be
// called from threads of that namespace (the programs it starts inherit the caller's).
//
// This file decides who manages the link and puts the steps in their order; the steps are
// nm_client.h, networkd_link.h, link_addresses.h, resolver_config.h and dhcp_clients.h, the
// checked request static_plan.h.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/adapter_configuration.h"
#include "platform/linux/host_files.h"
#include "platform/linux/host_processes.h"
#include "platform/linux/rtnl_records.h"

namespace nicops::platform::linux_host {

class NetlinkSocket;
struct StaticPlan;

class LinuxAdapterConfiguration final : public AdapterConfiguration {
public:
    // nullptr when no rtnetlink socket can be opened or /proc doesn't show the calling thread's
    // network namespace.
    static std::unique_ptr<LinuxAdapterConfiguration> open(const LinuxBackendOptions& options);
    ~LinuxAdapterConfiguration() override;

    bool isDhcpEnabled(const std::string& connectionName) override;
    // Without a manager: the link's addresses and default routes are removed and the DHCP
    // client is started; true once it has bound a lease (within 15 s). Otherwise the client is
    // stopped and the link's addresses and routes are put back.
    bool enableDhcp(const std::string& connectionName) override;
    // Without a manager: the DHCP client of the link is stopped (for good), then the addresses,
    // the default route and the DNS servers are replaced in that order; when a step fails, what
    // the link had before (addresses with their prefixes, default routes, resolver content) is
    // put back. Addresses put back never expire.
    bool setStaticAddressing(const std::string& connectionName,
                             const StaticAddressing& values) override;
    std::string lastProblem() const override;

private:
    LinuxAdapterConfiguration(std::unique_ptr<NetlinkSocket> socket, const NamespaceId& ns,
                              const LinuxBackendOptions& options);

    // Callers hold mutex_. The link of that connection name; nullopt with `problem` set when
    // there is none, or when the calling thread runs in another network namespace.
    std::optional<LinkRecord> findLink(const std::string& connectionName, std::string& problem);
    // Callers hold mutex_; they set problem_.
    bool enableDhcpUnmanaged(const LinkRecord& link);
    bool setStaticUnmanaged(const LinkRecord& link, const StaticPlan& plan);

    mutable std::mutex mutex_;
    std::unique_ptr<NetlinkSocket> socket_;
    HostFiles files_;
    NamespaceId namespace_;  // of the thread that opened the configuration
    std::string problem_;
};

// The configuration of the machine (or network namespace) the calling thread runs in; nullptr
// when it can't be opened.
std::unique_ptr<AdapterConfiguration> openLinuxAdapterConfiguration();
std::unique_ptr<LinuxAdapterConfiguration> openLinuxAdapterConfiguration(
    const LinuxBackendOptions& options);

}  // namespace nicops::platform::linux_host
