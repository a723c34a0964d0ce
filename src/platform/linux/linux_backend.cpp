#include "platform/linux/linux_backend.h"

#include <arpa/inet.h>
#include <linux/capability.h>
#include <linux/ethtool.h>
#include <linux/if_addr.h>
#include <linux/rtnetlink.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

// After net/if.h, whose struct ifreq it then leaves alone.
#include <linux/wireless.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_set>

#include "platform/address_batch.h"
#include "platform/ipv4_text.h"
#include "platform/linux/adapter_assembly.h"
#include "platform/linux/netlink_socket.h"
#include "text/codepage.h"

namespace nicops::platform::linux_host {

namespace {

bool isLoopback(const LinkRecord& link) {
    return link.arpType == ARPHRD_LOOPBACK || (link.flags & IFF_LOOPBACK) != 0;
}

// A name as the list shows it: in GBK, one line.
std::string shownName(const std::string& name) {
    return singleLineName(text::utf8ToGbk(name));
}

// The connection name of every link (empty for loopback, which is not listed): its alias, or
// its kernel name when it has none, as shownName() shows it. Link facts are asked by connection
// name, so a name must point at one link: an alias that shows as a name an earlier link already
// shows, or as another link's kernel name, gives way to the kernel name, which the kernel keeps
// unique (and free of whitespace).
std::vector<std::string> connectionNamesOf(const std::vector<LinkRecord>& links) {
    std::unordered_set<std::string> kernelNames;
    for (const auto& link : links) {
        kernelNames.insert(shownName(link.name));
    }
    std::unordered_set<std::string> shown;
    std::vector<std::string> names;
    names.reserve(links.size());
    for (const auto& link : links) {
        if (isLoopback(link)) {
            names.emplace_back();
            continue;
        }
        std::string name = shownName(link.name);
        if (!link.alias.empty()) {
            std::string alias = shownName(link.alias);
            if (kernelNames.count(alias) == 0 && shown.count(alias) == 0) {
                name = std::move(alias);
            }
        }
        shown.insert(name);
        names.push_back(std::move(name));
    }
    return names;
}

// ETHTOOL_GLINKSETTINGS for the link named in `request`, with room for `maskWords` words per
// link mode mask; the settings that head the answer go to `settings`. False when the ioctl fails.
bool askLinkSettings(int fd, ifreq& request, std::int8_t maskWords,
                     ethtool_link_settings& settings) {
    // The settings are followed by three masks of at most 127 words each.
    constexpr std::size_t kMaxMaskWords = 127;
    std::array<std::uint32_t, sizeof(ethtool_link_settings) / 4 + 3 * kMaxMaskWords> buffer{};
    std::memset(&settings, 0, sizeof settings);
    settings.cmd = ETHTOOL_GLINKSETTINGS;
    settings.link_mode_masks_nwords = maskWords;
    std::memcpy(buffer.data(), &settings, sizeof settings);
    request.ifr_data = reinterpret_cast<char*>(buffer.data());
    const bool answered = ::ioctl(fd, SIOCETHTOOL, &request) == 0;
    std::memcpy(&settings, buffer.data(), sizeof settings);
    return answered;
}

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

// Whether the calling thread holds CAP_NET_ADMIN in its effective set.
bool mayAdministerNetwork() {
    __user_cap_header_struct header{};
    header.version = _LINUX_CAPABILITY_VERSION_3;
    header.pid = 0;
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return ::geteuid() == 0;
    }
    return (data[CAP_TO_INDEX(CAP_NET_ADMIN)].effective & CAP_TO_MASK(CAP_NET_ADMIN)) != 0;
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
    // Driver names come from an ethtool ioctl; without this socket descriptions fall back to
    // the link kind.
    const int ioctlSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return std::unique_ptr<LinuxBackend>(new LinuxBackend(std::move(socket), ioctlSocket, options));
}

LinuxBackend::LinuxBackend(std::unique_ptr<NetlinkSocket> socket, int ioctlSocket,
                           const LinuxBackendOptions& options)
    : socket_(std::move(socket)), ioctlSocket_(ioctlSocket), files_(options) {}

LinuxBackend::~LinuxBackend() {
    if (ioctlSocket_ >= 0) {
        ::close(ioctlSocket_);
    }
}

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

std::optional<LinkRecord> linkOfConnectionName(std::vector<LinkRecord> links,
                                               const std::string& connectionName) {
    const auto names = connectionNamesOf(links);
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (!isLoopback(links[i]) && names[i] == connectionName) {
            return std::move(links[i]);
        }
    }
    return std::nullopt;
}

std::optional<LinkRecord> LinuxBackend::findByConnectionName(const std::string& connectionName) {
    auto links = dumpLinks(*socket_);
    if (!links) {
        return std::nullopt;
    }
    return linkOfConnectionName(std::move(*links), connectionName);
}

std::string LinuxBackend::driverName(const std::string& linkName) const {
    if (ioctlSocket_ < 0 || linkName.size() >= IFNAMSIZ) {
        return {};
    }
    ethtool_drvinfo info{};
    info.cmd = ETHTOOL_GDRVINFO;
    ifreq request{};
    std::memcpy(request.ifr_name, linkName.data(), linkName.size());
    request.ifr_data = reinterpret_cast<char*>(&info);
    if (::ioctl(ioctlSocket_, SIOCETHTOOL, &request) != 0) {
        return {};
    }
    return std::string(info.driver, strnlen(info.driver, sizeof info.driver));
}

std::optional<std::int64_t> LinuxBackend::linkSpeedMbps(const std::string& linkName) const {
    if (ioctlSocket_ < 0 || linkName.size() >= IFNAMSIZ) {
        return std::nullopt;
    }
    ifreq request{};
    std::memcpy(request.ifr_name, linkName.data(), linkName.size());
    // The kernel answers a request without room for the link mode masks with the number of
    // words they take, negated.
    ethtool_link_settings settings;
    std::uint32_t speed = SPEED_UNKNOWN;
    if (askLinkSettings(ioctlSocket_, request, 0, settings) &&
        settings.link_mode_masks_nwords < 0 &&
        askLinkSettings(ioctlSocket_, request,
                        static_cast<std::int8_t>(-settings.link_mode_masks_nwords), settings) &&
        settings.link_mode_masks_nwords > 0) {
        speed = settings.speed;
    } else {
        // Kernels before 4.6 know the older, 32-bit-mask request only.
        ethtool_cmd legacy{};
        legacy.cmd = ETHTOOL_GSET;
        request.ifr_data = reinterpret_cast<char*>(&legacy);
        if (::ioctl(ioctlSocket_, SIOCETHTOOL, &request) == 0) {
            speed = ethtool_cmd_speed(&legacy);
        }
    }
    // Read as a signed number, as the kernel prints it: negative is unknown.
    const auto megabits = static_cast<std::int32_t>(speed);
    if (megabits < 0) {
        return std::nullopt;
    }
    return megabits;
}

bool LinuxBackend::isWireless(const LinkRecord& link) const {
    // Wireless extensions answer their name request for wireless devices only.
    if (ioctlSocket_ >= 0 && link.name.size() < IFNAMSIZ) {
        iwreq request{};
        std::memcpy(request.ifr_name, link.name.data(), link.name.size());
        if (::ioctl(ioctlSocket_, SIOCGIWNAME, &request) == 0) {
            return true;
        }
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
        facts.driver = driverName(link.name);
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

std::string networkAdministrationProblem() {
    if (mayAdministerNetwork()) {
        return {};
    }
    return "更改IP地址需要root权限或CAP_NET_ADMIN能力.";
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
    const auto megabits = (link->flags & IFF_UP) != 0 ? linkSpeedMbps(link->name) : std::nullopt;
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
