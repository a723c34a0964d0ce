// The in-use probe of the add operation: is some host already answering at an address?
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nicops::platform {

class AddressProbe {
public:
    virtual ~AddressProbe() = default;

    // One ICMP echo request to each address, all sent together and the replies matched to their
    // address, so the whole batch costs about one time-out. For each address, in order: the
    // round-trip time in milliseconds of its first reply (any reply counts), or -1 when none
    // came within timeoutMs, the text is not an address, or no probe can be made.
    virtual std::vector<std::int32_t> probeAddresses(const std::vector<std::string>& addresses,
                                                     int timeoutMs) = 0;

    std::int32_t probeAddressInUse(const std::string& address, int timeoutMs) {
        return probeAddresses({address}, timeoutMs).front();
    }
};

}  // namespace nicops::platform
