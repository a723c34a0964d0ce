#include "platform/address_batch.h"

#include <bit>
#include <unordered_set>

#include "platform/ipv4_text.h"

namespace nicops::platform {

std::optional<std::uint8_t> prefixOfMask(std::uint32_t mask) {
    const std::uint32_t inverted = ~mask;
    // A contiguous mask inverted is 0...01...1: adding one leaves a single bit or zero.
    if ((inverted & (inverted + 1)) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(std::popcount(mask));
}

std::vector<PlannedAddress> planAddressBatch(const std::vector<AddressToAdd>& items,
                                             const std::vector<std::uint32_t>& present) {
    std::vector<PlannedAddress> plan(items.size());
    std::unordered_set<std::uint32_t> taken(present.begin(), present.end());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const auto address = parseIpv4(items[i].address);
        const auto mask = parseIpv4(items[i].mask);
        const auto prefix = mask ? prefixOfMask(*mask) : std::nullopt;
        if (!address || *address == 0 || !prefix) {
            plan[i].code = kInvalidParameter;
        } else if (!taken.insert(*address).second) {
            plan[i].code = kAlreadyExists;
        } else {
            plan[i] = {kNoError, *address, *prefix};
        }
    }
    return plan;
}

}  // namespace nicops::platform
