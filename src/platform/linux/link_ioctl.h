// The facts of a link that the kernel gives by ioctl: its driver's name and its speed (ethtool),
// and whether wireless extensions answer for it. Asked on a datagram socket of the network
// namespace of the thread that made it, whichever thread asks later.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace nicops::platform::linux_host {

class LinkIoctl {
public:
    // Opens the socket; without it every answer is unknown (no driver, no speed, no wireless
    // extensions).
    LinkIoctl();
    ~LinkIoctl();
    LinkIoctl(const LinkIoctl&) = delete;
    LinkIoctl& operator=(const LinkIoctl&) = delete;

    // The ethtool driver name; empty when unknown.
    std::string driverName(const std::string& linkName) const;
    // Mbit/s from the ethtool ioctl; nullopt when unknown.
    std::optional<std::int64_t> linkSpeedMbps(const std::string& linkName) const;
    // Whether wireless extensions answer their name request for the link, as they do for
    // wireless devices only.
    bool hasWirelessExtensions(const std::string& linkName) const;

private:
    int fd_;
};

}  // namespace nicops::platform::linux_host
