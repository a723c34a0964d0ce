#include "platform/address_batch.h"

#include <gtest/gtest.h>

namespace nicops::platform {
namespace {

std::vector<std::uint32_t> codesOf(const std::vector<PlannedAddress>& plan) {
    std::vector<std::uint32_t> codes;
    for (const auto& planned : plan) {
        codes.push_back(planned.code);
    }
    return codes;
}

TEST(AddressBatchTest, PrefixesOfContiguousMasksOnly) {
    EXPECT_EQ(prefixOfMask(0xFFFFFF00), 24);
    EXPECT_EQ(prefixOfMask(0xFFFFFFFF), 32);
    EXPECT_EQ(prefixOfMask(0xFFFF8000), 17);
    EXPECT_EQ(prefixOfMask(0), 0);
    EXPECT_EQ(prefixOfMask(0xFF00FF00), std::nullopt);
    EXPECT_EQ(prefixOfMask(0x00FFFFFF), std::nullopt);
    EXPECT_EQ(prefixOfMask(0xFFFFFFFE), 31);
    EXPECT_EQ(prefixOfMask(0x7FFFFFFF), std::nullopt);
}

TEST(AddressBatchTest, RefusesNoAddressZeroAndNoMaskWith87) {
    const std::vector<AddressToAdd> items = {
        {"0.0.0.0", "255.255.255.0"},     // the zero address
        {"10.0.0.256", "255.255.255.0"},  // no address
        {"10.0.0.01", "255.255.255.0"},   // a leading zero: not the platform's text
        {"10.0.0.1", "255.255.0.255"},    // a mask with a hole
        {"10.0.0.1", "0.255.255.255"},    // ones at the wrong end
        {"10.0.0.1", "255.255.255"},      // no dotted quad
        {"10.0.0.1", "255.255.255.255"},  // a host route: prefix 32
        {"10.0.0.2", "0.0.0.0"},          // prefix 0, as the kernel path always took it
    };
    const auto plan = planAddressBatch(items, {});
    EXPECT_EQ(codesOf(plan), (std::vector<std::uint32_t>{87, 87, 87, 87, 87, 87, 0, 0}));
    EXPECT_EQ(plan[6].address, 0x0A000001u);
    EXPECT_EQ(plan[6].prefixLength, 32);
    EXPECT_EQ(plan[7].address, 0x0A000002u);
    EXPECT_EQ(plan[7].prefixLength, 0);
}

TEST(AddressBatchTest, RefusesWhatTheHostCarriesAndRepeatsWith17) {
    const std::vector<std::uint32_t> present = {0x0A000005, 0x0A090001};  // on any adapter
    const std::vector<AddressToAdd> items = {
        {"10.0.0.6", "255.255.255.0"},   {"10.9.0.1", "255.255.0.0"},  // carried by another adapter
        {"10.0.0.6", "255.255.255.128"},  // the first item's address again
        {"10.0.0.7", "255.0.255.0"},      // refused as no mask: it takes no address ...
        {"10.0.0.7", "255.255.255.0"},    // ... so this one is sent
        {"10.0.0.5", "not a mask"},       // 87 comes before 17
    };
    const auto plan = planAddressBatch(items, present);
    EXPECT_EQ(codesOf(plan), (std::vector<std::uint32_t>{0, 17, 17, 87, 0, 87}));
    EXPECT_EQ(plan[0].prefixLength, 24);
    EXPECT_EQ(plan[4].address, 0x0A000007u);
}

}  // namespace
}  // namespace nicops::platform
