#include "ipops/ipv4_box.h"

#include <gtest/gtest.h>

namespace nicops::ipops {
namespace {

TEST(Ipv4BoxTest, ShowsFourNumbersOrNothing) {
    const std::pair<const char*, const char*> cases[] = {
        {"255.255.255.0", "255.255.255.0"},
        {" \r\n010.1.1.1x\r\n", "10.1.1.1"},   // leading zeros and a tail go
        {"1. 2 .3.4", "1.2.3.4"},              // each part loses its white space
        {"a.b.c.d", "0.0.0.0"},                // no digits read as 0
        {"10.0.0.1\r\n10.0.0.2", "10.0.0.1"},  // several lines show the first
        {"10.0.0.256", ""},                    // a number above 255 blanks it
        {"10.0.0", ""},                        // fewer than three dots
        {"", ""},
        {"1.2.3.4.5", "1.2.3.4"},  // the fourth part "4.5" reads 4
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(ipv4BoxText(text), shown) << text;
    }
}

}  // namespace
}  // namespace nicops::ipops
