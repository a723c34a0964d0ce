// The in-use probe on Linux: ICMP echo requests from the network namespace of the thread that
// opened it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/address_probe.h"

namespace nicops::platform::linux_host {

class IcmpProbe final : public platform::AddressProbe {
public:
    // Never fails: opens an ICMP ping socket (allowed where net.ipv4.ping_group_range covers the
    // process's group), else a raw ICMP socket (CAP_NET_RAW). When neither can be opened every
    // probe answers -1.
    static std::unique_ptr<IcmpProbe> open();
    ~IcmpProbe() override;
    IcmpProbe(const IcmpProbe&) = delete;
    IcmpProbe& operator=(const IcmpProbe&) = delete;

    // Only dotted IPv4 addresses are probed; no name is ever resolved.
    std::vector<std::int32_t> probeAddresses(const std::vector<std::string>& addresses,
                                             int timeoutMs) override;

    // Whether a socket could be opened, and whether it is a raw one.
    bool usable() const { return fd_ >= 0; }
    bool raw() const { return raw_; }

private:
    IcmpProbe(int fd, bool raw) : fd_(fd), raw_(raw) {}

    std::mutex mutex_;
    int fd_;
    bool raw_;
    std::uint16_t identifier_ = 0;  // the echo identifier of a raw socket
    std::uint16_t nextSequence_ = 0;
};

}  // namespace nicops::platform::linux_host
