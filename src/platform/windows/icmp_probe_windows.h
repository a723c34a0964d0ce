// The in-use probe on Windows: ICMP echo requests through the IP helper's ICMP handle
// (IcmpCreateFile), sent asynchronously with an event each (IcmpSendEcho2) and up to 192 in
// flight at once, so a batch of silent addresses waits about one time-out per 192 addresses
// instead of one per address.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/address_probe.h"

namespace nicops::platform::windows {

class IcmpEchoProbe final : public platform::AddressProbe {
public:
    // Null when no ICMP handle can be opened.
    static std::unique_ptr<IcmpEchoProbe> open();
    ~IcmpEchoProbe() override;
    IcmpEchoProbe(const IcmpEchoProbe&) = delete;
    IcmpEchoProbe& operator=(const IcmpEchoProbe&) = delete;

    // Only dotted IPv4 addresses are probed; no name is ever resolved. Only an echo reply from
    // the probed address itself (status IP_SUCCESS) gives a round-trip time; an unreachable
    // answer from a router, a time-out or a request the platform refuses gives -1.
    std::vector<std::int32_t> probeAddresses(const std::vector<std::string>& addresses,
                                             int timeoutMs) override;

    struct Request;  // one request in flight: its event and reply buffer

private:
    explicit IcmpEchoProbe(void* handle);
    // Frees the requests left over from earlier batches that have completed since.
    void reapAbandoned();

    std::mutex mutex_;
    void* handle_;  // the ICMP handle
    // Requests that had not completed when their batch gave up waiting: their buffers must
    // outlive them, so they are freed once their event is set (or never, when it isn't).
    std::vector<std::unique_ptr<Request>> abandoned_;
};

}  // namespace nicops::platform::windows
