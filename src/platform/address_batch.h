// The one rule that decides which items of an address batch reach the platform: every backend
// (Linux, Windows, the simulated host) plans its adds with it and sends only what it lets
// through, so each answers a bad item with the same code before asking anything of its host.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/ip_helper.h"

namespace nicops::platform {

// The prefix length of a contiguous mask (host order): 0.0.0.0 is 0, 255.255.255.255 is 32;
// nullopt for a mask with holes.
std::optional<std::uint8_t> prefixOfMask(std::uint32_t mask);

// One item of a batch as the rule decides it: refused with `code`, or (kNoError) sent as
// `address` (host order) with `prefixLength`.
struct PlannedAddress {
    std::uint32_t code = kNoError;
    std::uint32_t address = 0;
    std::uint8_t prefixLength = 0;
};

// One decision per item, in order:
//   kInvalidParameter (87): the address or the mask is no dotted quad (parseIpv4), the address
//     is 0.0.0.0, or the mask is not contiguous. This depends on the item alone: a backend that
//     finds no adapter (or can't read its host) answers its own code for every other item.
//   kAlreadyExists (17): `present` (the addresses of every adapter of the host) holds the
//     address, or an earlier item of the batch is sent with it. One address, one adapter.
//   kNoError: send it.
std::vector<PlannedAddress> planAddressBatch(const std::vector<AddressToAdd>& items,
                                             const std::vector<std::uint32_t>& present);

}  // namespace nicops::platform
