#include <gtest/gtest.h>

#include "platform/ipv4_text.h"

namespace nicops::platform {
namespace {

TEST(Ipv4TextTest, ParsesOnlyFourPlainDecimalParts) {
    EXPECT_EQ(parseIpv4("10.0.0.5"), 0x0A000005u);
    EXPECT_EQ(parseIpv4("0.0.0.0"), 0u);
    EXPECT_EQ(parseIpv4("255.255.255.255"), 0xFFFFFFFFu);
    for (const char* bad :
         {"", "10.0.0", "10.0.0.5.", "10.0.0.256", "10.0.0.5 ", " 10.0.0.5", "a.b.c.d",
          "1.2.3.1234", "1..2.3", "010.0.0.5", "10.0.0.05", "10.00.0.5", "+1.2.3.4", "1.2.3.4\n"}) {
        EXPECT_EQ(parseIpv4(bad), std::nullopt) << bad;
    }
    for (const std::uint32_t value : {0u, 0x0A000005u, 0xC0A80001u, 0x01020304u, 0xFFFFFFFFu}) {
        EXPECT_EQ(parseIpv4(formatIpv4(value)), value);
    }
    EXPECT_EQ(formatIpv4(0xC0A80001), "192.168.0.1");
}

}  // namespace
}  // namespace nicops::platform
