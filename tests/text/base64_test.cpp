#include "text/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace nicops::text {
namespace {

TEST(Base64, PaddingFollowsTheLength) {
    EXPECT_EQ(base64Encode(""), "");
    EXPECT_EQ(base64Encode("a"), "YQ==");
    EXPECT_EQ(base64Encode("ab"), "YWI=");
    EXPECT_EQ(base64Encode("abc"), "YWJj");
    EXPECT_EQ(base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64Encode("\xFF\xFE\xFD"), "//79");
}

TEST(Base64, EveryEncodingDecodesBack) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    for (std::size_t n = 0; n <= all.size(); n += 7) {
        const std::string bytes = all.substr(all.size() - n);
        EXPECT_EQ(base64Decode(base64Encode(bytes)), bytes) << n;
    }
}

TEST(Base64, RangeTextKeepsItsLineBreaksInOneLine) {
    const std::string range = "192.168.1.{10-20}\r\n10.0.0.1\r\n网段 2";
    const std::string stored = base64Encode(range);
    EXPECT_EQ(stored.find_first_of("\r\n "), std::string::npos);
    EXPECT_EQ(base64Decode(stored), range);
}

TEST(Base64, DecodeSkipsSpacesLineBreaksAndStrayCharacters) {
    EXPECT_EQ(base64Decode(""), "");
    EXPECT_EQ(base64Decode(" Zm9v\r\nYm Fy\xA1\xA1"), "foobar");
    EXPECT_EQ(base64Decode("Zm9v*YmFy\t"), "foobar");
    EXPECT_EQ(base64Decode("YWI"), "ab");  // padding missing
    EXPECT_EQ(base64Decode("YQ==YQ=="), "a");
    EXPECT_EQ(base64Decode("Y"), "");
}

}  // namespace
}  // namespace nicops::text
