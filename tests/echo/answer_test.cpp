// The answer body: key order, and values that no reader can take for more than they are.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "echo/answer.h"
#include "support/temp_dir.h"

namespace {

using nicops::echo::buildAnswer;
using nicops::echo::Location;
using nicops::echo::sanitizeValue;
using nicops::testing::utf8;

// How nicops reads a value: the text after `"key":"` up to the next double quote.
std::string valueAfter(const std::string& body, const std::string& key) {
    const std::string mark = "\"" + key + "\":\"";
    const auto start = body.find(mark);
    if (start == std::string::npos) {
        return "<missing>";
    }
    const auto from = start + mark.size();
    return body.substr(from, body.find('"', from) - from);
}

TEST(EchoAnswer, KeysInOrderWithAsClosingTheObject) {
    const Location location{utf8(u8"中国"), utf8(u8"广东"), utf8(u8"深圳"), "AS4134 Chinanet"};
    const std::string body = buildAnswer("203.0.113.7", location);
    EXPECT_EQ(body, utf8(u8"{\"ip\":\"203.0.113.7\",\"country\":\"中国\",\"region\":\"广东\","
                         u8"\"city\":\"深圳\",\"as\":\"AS4134 Chinanet\"}"));
    EXPECT_EQ(body.substr(body.size() - 2), "\"}");
}

TEST(EchoAnswer, UnknownValuesStayEmpty) {
    EXPECT_EQ(buildAnswer("127.0.0.1", {}),
              "{\"ip\":\"127.0.0.1\",\"country\":\"\",\"region\":\"\",\"city\":\"\",\"as\":\"\"}");
}

TEST(EchoAnswer, HostileValuesCannotEndAValueEarlyOrBreakTheObject) {
    const Location location{"Ivory \"Coast\"", std::string("a\\\"b\x01\n\tc\x7f", 9),
                            "ok\xff\xc0\xafname", std::string("AS1 \xc2\x85x\"}", 9)};
    const std::string body = buildAnswer("198.51.100.1", location);
    EXPECT_EQ(valueAfter(body, "country"), "Ivory Coast");
    EXPECT_EQ(valueAfter(body, "region"), "abc");
    EXPECT_EQ(valueAfter(body, "city"), "okname");
    EXPECT_EQ(valueAfter(body, "as"), "AS1 x}");
    const auto parsed = nlohmann::json::parse(body, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded()) << body;
    EXPECT_EQ(parsed["as"], "AS1 x}");
}

TEST(EchoAnswer, SanitizingKeepsValidMultiByteText) {
    EXPECT_EQ(sanitizeValue(utf8(u8"Côte d’Ivoire 科特迪瓦 😀")),
              utf8(u8"Côte d’Ivoire 科特迪瓦 😀"));
    EXPECT_EQ(sanitizeValue("\xe4\xb8"), "");            // cut-off sequence
    EXPECT_EQ(sanitizeValue("\xed\xa0\x80x"), "x");      // a surrogate
    EXPECT_EQ(sanitizeValue("\xf4\x90\x80\x80y"), "y");  // above U+10FFFF
}

}  // namespace
