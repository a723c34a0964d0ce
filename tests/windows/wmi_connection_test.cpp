// WQL string literals, and WMI itself (under Wine in the cross-build's tests).
#include "platform/windows/wmi_connection.h"

#include <gtest/gtest.h>

namespace nicops::platform::windows {
namespace {

TEST(WqlStringLiteral, EscapesBackslashesAndQuotesOfTheUtf16Text) {
    EXPECT_EQ(wqlStringLiteral(u"a'b\\c"), u"'a\\'b\\\\c'");
    EXPECT_EQ(wqlStringLiteral(u"\\'"), u"'\\\\\\''");
    // The GBK of 乗 ends in the byte 0x5C, which is no backslash.
    ASSERT_EQ(std::string("乗"), "\x81\x5C");
    EXPECT_EQ(connectionNameCondition("乗 '网卡'"), u"NetConnectionID='乗 \\'网卡\\''");
}

// Name is a column Wine's WMI has: the same text pasted in plainly selects every adapter.
TEST(WmiConnection, AQuoteInANameCannotWidenTheQuery) {
    const std::u16string name = u"no such adapter' OR Name<>'";
    ASSERT_TRUE(queryAdapterFacts(u"Name='" + name + u"'").has_value());
    EXPECT_FALSE(queryAdapterFacts(u"Name=" + wqlStringLiteral(name)).has_value());
    EXPECT_FALSE(
        queryConnectionFacts(std::string("no such adapter' OR NetConnectionID<>'")).has_value());
}

}  // namespace
}  // namespace nicops::platform::windows
