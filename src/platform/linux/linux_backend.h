// The host's real adapters on Linux: the IP helper interface answered from rtnetlink dumps and
// requests (netlink_socket.h), the link facts asked by ioctl (link_ioctl.h) and the lease,
// resolver and sysfs files (host_files.h).
//
// The backend answers for the network namespace of the thread that opened it: its sockets are
// made there, whichever thread calls it later. Link speed and the wireless test are asked of the
// kernel through those sockets; sysfs (under LinuxBackendOptions::sysRoot, which shows the
// namespace of whoever mounted it) only backs the wireless test, for a link it shows under the
// same index and hardware address.
#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ip_helper.h"
#include "platform/linux/host_files.h"
#include "platform/linux/link_ioctl.h"
#include "platform/linux/rtnl_records.h"

namespace nicops::platform::linux_host {

class NetlinkSocket;

// Besides the kernel's errno values the backend answers the platform's codes (ip_helper.h);
// kAlreadyExists is EEXIST.
static_assert(kAlreadyExists == EEXIST);

using platform::AddressToAdd;

class LinuxBackend final : public HostBackend {
public:
    // nullptr when no rtnetlink socket can be opened.
    static std::unique_ptr<LinuxBackend> open(const LinuxBackendOptions& options);
    ~LinuxBackend() override;

    std::vector<AdapterInfo> getAdaptersInfo() override;
    std::optional<std::vector<std::string>> getPerAdapterDns(std::uint32_t adapterIndex) override;
    std::vector<InterfaceName> getInterfaceNames() override;
    std::uint32_t addIpAddress(const std::string& address, const std::string& mask,
                               std::uint32_t adapterIndex) override;
    std::uint32_t deleteIpAddress(std::uint32_t nteContext) override;

    std::int32_t connectionStatus(const std::string& connectionName) override;
    std::int32_t mediaState(const std::string& connectionName) override;
    std::int64_t linkSpeed(const std::string& connectionName) override;
    std::int32_t mtu(const std::string& connectionName) override;
    std::optional<bool> dhcpFlag(const std::string& connectionName) override;

    // Adds many addresses to one adapter with one address dump and pipelined requests; one
    // result per item, with the codes of addIpAddress. What reaches the kernel is what
    // planAddressBatch lets through (an address repeated in the list is refused with 17 the
    // second time); before that, a missing adapter answers kNotFound, a failed dump EIO.
    std::vector<std::uint32_t> addIpAddresses(const std::vector<AddressToAdd>& items,
                                              std::uint32_t adapterIndex) override;
    // Deletes many addresses by context with one address dump and pipelined requests; one
    // result per context, with the codes of deleteIpAddress.
    std::vector<std::uint32_t> deleteIpAddresses(
        const std::vector<std::uint32_t>& contexts) override;

    // Changing addresses needs CAP_NET_ADMIN in the effective set of the calling thread; the
    // line that says so when it is missing, else "".
    std::string addressChangeProblem() override;

private:
    LinuxBackend(std::unique_ptr<NetlinkSocket> socket, const LinuxBackendOptions& options);

    // Callers hold mutex_.
    std::optional<LinkRecord> getLink(std::uint32_t index);
    std::optional<LinkRecord> findByConnectionName(const std::string& connectionName);
    bool isWireless(const LinkRecord& link) const;
    int promoteSecondaries(std::uint32_t index);
    std::optional<LeaseRecord> leaseOf(const LinkRecord& link);

    struct LeaseMemo {
        std::string linkName;
        std::optional<LeaseRecord> lease;
    };

    std::mutex mutex_;
    std::unique_ptr<NetlinkSocket> socket_;
    LinkIoctl ioctl_;
    HostFiles files_;
    // The lease of every adapter as the latest snapshot found it, so the DNS queries that
    // follow a snapshot don't read the lease files and dump the addresses again.
    std::unordered_map<std::uint32_t, LeaseMemo> leaseMemo_;
};

// The backend of the machine (or network namespace) the calling thread runs in; nullptr when
// it can't be opened.
std::unique_ptr<HostBackend> openLinuxBackend();
std::unique_ptr<LinuxBackend> openLinuxBackend(const LinuxBackendOptions& options);

}  // namespace nicops::platform::linux_host
