#include "platform/linux/link_ioctl.h"

#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

// After net/if.h, whose struct ifreq it then leaves alone.
#include <linux/wireless.h>

#include <array>
#include <cstring>

namespace nicops::platform::linux_host {

namespace {

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

}  // namespace

// Driver names come from an ethtool ioctl; without this socket descriptions fall back to the
// link kind.
LinkIoctl::LinkIoctl() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}

LinkIoctl::~LinkIoctl() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::string LinkIoctl::driverName(const std::string& linkName) const {
    if (fd_ < 0 || linkName.size() >= IFNAMSIZ) {
        return {};
    }
    ethtool_drvinfo info{};
    info.cmd = ETHTOOL_GDRVINFO;
    ifreq request{};
    std::memcpy(request.ifr_name, linkName.data(), linkName.size());
    request.ifr_data = reinterpret_cast<char*>(&info);
    if (::ioctl(fd_, SIOCETHTOOL, &request) != 0) {
        return {};
    }
    return std::string(info.driver, strnlen(info.driver, sizeof info.driver));
}

std::optional<std::int64_t> LinkIoctl::linkSpeedMbps(const std::string& linkName) const {
    if (fd_ < 0 || linkName.size() >= IFNAMSIZ) {
        return std::nullopt;
    }
    ifreq request{};
    std::memcpy(request.ifr_name, linkName.data(), linkName.size());
    // The kernel answers a request without room for the link mode masks with the number of
    // words they take, negated.
    ethtool_link_settings settings;
    std::uint32_t speed = SPEED_UNKNOWN;
    if (askLinkSettings(fd_, request, 0, settings) && settings.link_mode_masks_nwords < 0 &&
        askLinkSettings(fd_, request, static_cast<std::int8_t>(-settings.link_mode_masks_nwords),
                        settings) &&
        settings.link_mode_masks_nwords > 0) {
        speed = settings.speed;
    } else {
        // Kernels before 4.6 know the older, 32-bit-mask request only.
        ethtool_cmd legacy{};
        legacy.cmd = ETHTOOL_GSET;
        request.ifr_data = reinterpret_cast<char*>(&legacy);
        if (::ioctl(fd_, SIOCETHTOOL, &request) == 0) {
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

bool LinkIoctl::hasWirelessExtensions(const std::string& linkName) const {
    // Wireless extensions answer their name request for wireless devices only.
    if (fd_ < 0 || linkName.size() >= IFNAMSIZ) {
        return false;
    }
    iwreq request{};
    std::memcpy(request.ifr_name, linkName.data(), linkName.size());
    return ::ioctl(fd_, SIOCGIWNAME, &request) == 0;
}

}  // namespace nicops::platform::linux_host
