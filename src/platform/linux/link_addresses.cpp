#include "platform/linux/link_addresses.h"

#include <linux/if_addr.h>
#include <linux/rtnetlink.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/linux/netlink_socket.h"

namespace nicops::platform::linux_host {

namespace {

using namespace std::chrono_literals;

constexpr auto kApplyWait = 15s;  // NetworkManager putting a reapplied address on the link

std::uint32_t broadcastOf(std::uint32_t address, std::uint8_t prefixLength) {
    // /31 and /32 have no broadcast address.
    if (prefixLength > 30) {
        return 0;
    }
    return address | (0xFFFFFFFFu >> prefixLength);
}

}  // namespace

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

int putBack(NetlinkSocket& socket, std::uint32_t index, const LinkState& state) {
    const int error = replaceAddresses(socket, index, state.addresses);
    return error != 0 ? error : replaceDefaultRoutes(socket, index, state.routes);
}

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

}  // namespace nicops::platform::linux_host
