#include "platform/linux/linux_backend.h"

#include <linux/if_addr.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/if_arp.h>

#include <algorithm>
#include <unordered_set>

#include "platform/address_batch.h"
#include "platform/ipv4_text.h"
#include "platform/linux/adapter_assembly.h"
#include "platform/linux/connection_names.h"
#include "platform/linux/lease_files.h"
#include "platform/linux/netlink_socket.h"
#include "platform/linux/network_administration.h"

namespace nicops::platform::linux_host {

namespace {

std::vector<std::uint32_t> addressesOfLink(const std::vector<AddressRecord>& addresses,
                                           std::uint32_t index) {
    std::vector<std::uint32_t> out;
    for (const auto& address : addresses) {
        if (address.index == index) {
            out.push_back(address.address);
        }
    }
    return out;
}

std::uint32_t resultCode(int error) {
    return static_cast<std::uint32_t>(error);
}

// The links that hold secondary addresses: deleting a primary address there could take them
// with it.
std::unordered_set<std::uint32_t> linksWithSecondaries(
    const std::vector<AddressRecord>& addresses) {
    std::unordered_set<std::uint32_t> links;
    for (const auto& address : addresses) {
        if ((address.flags & IFA_F_SECONDARY) != 0) {
            links.insert(address.index);
        }
    }
    return links;
}

}  // namespace

std::unique_ptr<HostBackend> openLinuxBackend() {
    return openLinuxBackend(LinuxBackendOptions{});
}

std::unique_ptr<LinuxBackend> openLinuxBackend(const LinuxBackendOptions& options) {
    return LinuxBackend::open(options);
}

std::unique_ptr<LinuxBackend> LinuxBackend::open(const LinuxBackendOptions& options) {
    auto socket = NetlinkSocket::open();
    if (!socket) {
        return nullptr;
    }
    return std::unique_ptr<LinuxBackend>(new LinuxBackend(std::move(socket), options));
}

LinuxBackend::LinuxBackend(std::unique_ptr<NetlinkSocket> socket,
                           const LinuxBackendOptions& options)
    : socket_(std::move(socket)), files_(options) {}

LinuxBackend::~LinuxBackend() = default;

std::optional<LinkRecord> LinuxBackend::getLink(std::uint32_t index) {
    if (index == 0) {
        return std::nullopt;
    }
    alignas(nlmsghdr) char request[kMaxRequestSize];
    std::optional<LinkRecord> found;
    const int error = socket_->request(buildLinkGetRequest(request, socket_->nextSeq(), index),
                                       [&](const nlmsghdr* message) {
                                           if (auto link = parseLinkMessage(message)) {
                                               found = std::move(link);
                                           }
                                       });
    if (error != 0) {
        return std::nullopt;
    }
    return found;
}

std::optional<LinkRecord> LinuxBackend::findByConnectionName(const std::string& connectionName) {
    auto links = dumpLinks(*socket_);
    if (!links) {
        return std::nullopt;
    }
    return linkOfConnectionName(std::move(*links), connectionName);
}

bool LinuxBackend::isWireless(const LinkRecord& link) const {
    if (ioctl_.hasWirelessExtensions(link.name)) {
        return true;
    }
    // Devices without wireless extensions show in sysfs only.
    return files_.isWireless(link.name, link.index, link.hwAddress);
}

int LinuxBackend::promoteSecondaries(std::uint32_t index) {
    alignas(nlmsghdr) char request[kMaxRequestSize];
    return socket_->request(buildPromoteSecondaries(request, socket_->nextSeq(), index));
}

std::optional<LeaseRecord> LinuxBackend::leaseOf(const LinkRecord& link) {
    const auto memo = leaseMemo_.find(link.index);
    if (memo != leaseMemo_.end() && memo->second.linkName == link.name) {
        return memo->second.lease;
    }
    const auto addresses = dumpAddresses(*socket_, link.index);
    if (!addresses) {
        return std::nullopt;
    }
    return currentLease(files_.leasesFor(link.name, link.index, files_.dhclientLeases()),
                        addressesOfLink(*addresses, link.index));
}

std::vector<AdapterInfo> LinuxBackend::getAdaptersInfo() {
    std::lock_guard lock(mutex_);
    auto links = dumpLinks(*socket_);
    if (!links) {
        return {};
    }
    auto addresses = dumpAddresses(*socket_, 0);
    if (!addresses) {
        return {};
    }
    const auto routes = dumpDefaultRoutes(*socket_).value_or(std::vector<DefaultRoute>{});

    // The addresses of each link, in kernel order.
    std::unordered_map<std::uint32_t, std::vector<AddressRecord>> byLink;
    for (const auto& address : *addresses) {
        byLink[address.index].push_back(address);
    }
    const auto dhclientRecords = files_.dhclientLeases();

    std::vector<AdapterInfo> adapters;
    leaseMemo_.clear();
    static const std::vector<AddressRecord> kNone;
    for (const auto& link : *links) {
        if (isLoopback(link)) {
            continue;
        }
        const auto found = byLink.find(link.index);
        const auto& own = found == byLink.end() ? kNone : found->second;
        LinkFacts facts;
        facts.driver = ioctl_.driverName(link.name);
        facts.wireless = link.arpType == ARPHRD_ETHER && isWireless(link);
        facts.lease = currentLease(files_.leasesFor(link.name, link.index, dhclientRecords),
                                   addressesOfLink(own, link.index));
        leaseMemo_[link.index] = LeaseMemo{link.name, facts.lease};
        adapters.push_back(assembleAdapter(link, own, routes, facts));
    }
    return adapters;
}

std::optional<std::vector<std::string>> LinuxBackend::getPerAdapterDns(std::uint32_t adapterIndex) {
    std::lock_guard lock(mutex_);
    const auto link = getLink(adapterIndex);
    if (!link) {
        return std::nullopt;
    }
    // 1. The resolver manager's servers for this link.
    if (auto servers = files_.resolvedServers(adapterIndex)) {
        return servers;
    }
    // 2. The servers the link's DHCP lease handed out.
    if (const auto lease = leaseOf(*link); lease && !lease->dnsServers.empty()) {
        std::vector<std::string> servers;
        for (auto server : lease->dnsServers) {
            servers.push_back(formatIpv4(server));
        }
        return servers;
    }
    // 3. The host-wide servers.
    return files_.resolvConfServers();
}

std::vector<InterfaceName> LinuxBackend::getInterfaceNames() {
    std::lock_guard lock(mutex_);
    auto links = dumpLinks(*socket_);
    if (!links) {
        return {};
    }
    const auto connectionNames = connectionNamesOf(*links);
    std::vector<InterfaceName> names;
    for (std::size_t i = 0; i < links->size(); ++i) {
        if (!isLoopback((*links)[i])) {
            names.push_back(InterfaceName{(*links)[i].index, connectionNames[i]});
        }
    }
    return names;
}

std::uint32_t LinuxBackend::addIpAddress(const std::string& address, const std::string& mask,
                                         std::uint32_t adapterIndex) {
    return addIpAddresses({AddressToAdd{address, mask}}, adapterIndex).front();
}

std::vector<std::uint32_t> LinuxBackend::addIpAddresses(const std::vector<AddressToAdd>& items,
                                                        std::uint32_t adapterIndex) {
    std::vector<std::uint32_t> results(items.size(), kInvalidParameter);
    std::lock_guard lock(mutex_);
    std::optional<std::vector<AddressRecord>> present;
    const bool linkFound = getLink(adapterIndex).has_value();
    if (linkFound) {
        present = dumpAddresses(*socket_, 0);
    }
    std::vector<std::uint32_t> presentAddresses;
    if (present) {
        presentAddresses.reserve(present->size());
        for (const auto& address : *present) {
            presentAddresses.push_back(address.address);
        }
    }
    const auto plan = planAddressBatch(items, presentAddresses);
    std::vector<std::size_t> toSend;
    toSend.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (plan[i].code == kInvalidParameter) {
            continue;
        }
        if (!linkFound) {
            results[i] = kNotFound;
        } else if (!present) {
            results[i] = resultCode(EIO);
        } else if (plan[i].code != kNoError) {
            results[i] = plan[i].code;
        } else {
            toSend.push_back(i);
        }
    }
    const auto errors =
        socket_->pipeline(toSend.size(), [&](void* buffer, std::uint32_t seq, std::size_t i) {
            const PlannedAddress& planned = plan[toSend[i]];
            return buildAddressChange(buffer, RTM_NEWADDR, seq, adapterIndex, planned.address,
                                      planned.prefixLength);
        });
    for (std::size_t i = 0; i < toSend.size(); ++i) {
        results[toSend[i]] = resultCode(errors[i]);
    }
    return results;
}

std::uint32_t LinuxBackend::deleteIpAddress(std::uint32_t nteContext) {
    return deleteIpAddresses({nteContext}).front();
}

std::vector<std::uint32_t> LinuxBackend::deleteIpAddresses(
    const std::vector<std::uint32_t>& contexts) {
    std::vector<std::uint32_t> results(contexts.size(), kNotFound);
    std::lock_guard lock(mutex_);
    const auto present = dumpAddresses(*socket_, 0);
    if (!present) {
        std::fill(results.begin(), results.end(), resultCode(EIO));
        return results;
    }
    // The context names the address; the first link (in kernel order) carrying it owns it.
    std::unordered_map<std::uint32_t, const AddressRecord*> byAddress;
    byAddress.reserve(present->size());
    for (const auto& address : *present) {
        byAddress.emplace(address.address, &address);
    }
    struct Planned {
        std::size_t item;
        const AddressRecord* record;
    };
    std::vector<Planned> secondaries;
    std::vector<Planned> primaries;
    std::unordered_set<std::uint32_t> seen;
    seen.reserve(contexts.size());
    const auto withSecondaries = linksWithSecondaries(*present);
    std::unordered_set<std::uint32_t> promoteLinks;
    for (std::size_t i = 0; i < contexts.size(); ++i) {
        const auto found = byAddress.find(contexts[i]);
        if (found == byAddress.end() || !seen.insert(contexts[i]).second) {
            continue;  // unknown, or already deleted earlier in this list
        }
        const AddressRecord* record = found->second;
        if ((record->flags & IFA_F_SECONDARY) != 0) {
            secondaries.push_back({i, record});
        } else {
            primaries.push_back({i, record});
            if (withSecondaries.count(record->index) != 0) {
                promoteLinks.insert(record->index);
            }
        }
    }
    // Without promote_secondaries the kernel deletes a primary address together with every
    // secondary of its subnet.
    for (auto index : promoteLinks) {
        if (const int error = promoteSecondaries(index); error != 0) {
            for (const auto& planned : primaries) {
                if (planned.record->index == index) {
                    results[planned.item] = resultCode(error);
                }
            }
            primaries.erase(
                std::remove_if(primaries.begin(), primaries.end(),
                               [index](const Planned& p) { return p.record->index == index; }),
                primaries.end());
        }
    }
    // Secondaries first: a primary deleted last has no successors left to promote.
    std::vector<Planned> order = std::move(secondaries);
    order.insert(order.end(), primaries.begin(), primaries.end());
    const auto errors =
        socket_->pipeline(order.size(), [&](void* buffer, std::uint32_t seq, std::size_t i) {
            const AddressRecord& record = *order[i].record;
            return buildAddressChange(buffer, RTM_DELADDR, seq, record.index, record.address,
                                      record.prefixLength);
        });
    for (std::size_t i = 0; i < order.size(); ++i) {
        results[order[i].item] = resultCode(errors[i]);
    }
    return results;
}

std::string LinuxBackend::addressChangeProblem() {
    return networkAdministrationProblem();
}

std::int32_t LinuxBackend::connectionStatus(const std::string& connectionName) {
    std::lock_guard lock(mutex_);
    const auto link = findByConnectionName(connectionName);
    return link ? connectionStatusOf(*link) : -1;
}

std::int32_t LinuxBackend::mediaState(const std::string& connectionName) {
    std::lock_guard lock(mutex_);
    const auto link = findByConnectionName(connectionName);
    return link && linkIsUp(*link) ? 1 : 0;
}

std::int64_t LinuxBackend::linkSpeed(const std::string& connectionName) {
    std::lock_guard lock(mutex_);
    const auto link = findByConnectionName(connectionName);
    if (!link) {
        return -1;
    }
    // A link that is down has no speed to tell.
    const auto megabits =
        (link->flags & IFF_UP) != 0 ? ioctl_.linkSpeedMbps(link->name) : std::nullopt;
    return megabits ? *megabits * 1000000 : -1;
}

std::int32_t LinuxBackend::mtu(const std::string& connectionName) {
    std::lock_guard lock(mutex_);
    const auto link = findByConnectionName(connectionName);
    return link ? static_cast<std::int32_t>(link->mtu) : -1;
}

std::optional<bool> LinuxBackend::dhcpFlag(const std::string& connectionName) {
    std::lock_guard lock(mutex_);
    const auto link = findByConnectionName(connectionName);
    if (!link) {
        return std::nullopt;
    }
    const auto addresses = dumpAddresses(*socket_, link->index);
    if (!addresses) {
        return std::nullopt;
    }
    return obtainsAddressByDhcp(*addresses, link->index,
                                dumpDefaultRoutes(*socket_).value_or(std::vector<DefaultRoute>{}));
}

}  // namespace nicops::platform::linux_host
