#include "text/text_functions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace nicops::text {
namespace {

using Pieces = std::vector<std::string>;

// "ab中c": 中 is D6 D0, so c stands at byte 5.
constexpr std::string_view kMixed = "ab中c";
// 乤 is 81 61: its second byte is the ASCII letter a.
constexpr std::string_view kTrailA = "\x81\x61";

TEST(TextCut, CountsAndClampsInBytes) {
    EXPECT_EQ(textLength(kMixed), 5);
    EXPECT_EQ(leftOf(kMixed, 4), "ab中");
    EXPECT_EQ(leftOf(kMixed, 99), kMixed);
    EXPECT_EQ(leftOf(kMixed, 0), "");
    EXPECT_EQ(rightOf(kMixed, 3), "中c");
    EXPECT_EQ(rightOf(kMixed, 99), kMixed);
    EXPECT_EQ(rightOf(kMixed, -1), "");
    EXPECT_EQ(middleOf(kMixed, 3, 2), "中");
    EXPECT_EQ(middleOf(kMixed, 5, 9), "c");
    EXPECT_EQ(middleOf(kMixed, 0, 2), "");
    EXPECT_EQ(middleOf(kMixed, 6, 1), "");
    EXPECT_EQ(middleOf(kMixed, 1, 0), "");
}

TEST(FindText, MatchesOnlyAtCharacterStarts) {
    EXPECT_EQ(findText(kMixed, "c"), 5);
    EXPECT_EQ(findText(kMixed,
                       "\xD0"
                       "c"),
              kNotFound);
    EXPECT_EQ(findText(kMixed, "中"), 3);
    EXPECT_EQ(findText(std::string("x") + std::string(kTrailA), "a"), kNotFound);
    // A lead byte at the very end is not a character of its own.
    EXPECT_EQ(findText("ab\xB0", "\xB0"), kNotFound);
    EXPECT_EQ(findText("abc", "abcd"), kNotFound);
}

TEST(FindText, StartPosition) {
    EXPECT_EQ(findText("a,b,a", "a", 2), 5);
    EXPECT_EQ(findText("a,b,a", "a", 5), 5);
    EXPECT_EQ(findText("a,b,a", "a", 6), kNotFound);
    EXPECT_EQ(findText("a,b,a", "a", 0), 1);
    EXPECT_EQ(findText("a,b,a", "a", -7), 1);
}

TEST(FindText, EmptyNeedleIsFoundAtOneInsideTheText) {
    EXPECT_EQ(findText("abc", ""), 1);
    EXPECT_EQ(findText("abc", "", 3), 1);
    EXPECT_EQ(findText("abc", "", 4), kNotFound);
    EXPECT_EQ(findText("", ""), kNotFound);
}

TEST(FindText, IgnoreCaseFoldsAsciiLettersOnly) {
    EXPECT_EQ(findText("IP: 10.0.0.1", "ip:", 1, true), 1);
    EXPECT_EQ(findText("IP: 10.0.0.1", "ip:"), kNotFound);
    EXPECT_EQ(findText("中Ab", "中aB", 1, true), 1);
    // The second byte of 乤 is a, but it is not a letter: it never folds to A.
    EXPECT_EQ(findText(kTrailA, "\x81\x41", 1, true), kNotFound);
    EXPECT_EQ(findText(kTrailA, kTrailA, 1, true), 1);
}

TEST(ReplaceText, InsertedTextIsNotSearchedAgain) {
    EXPECT_EQ(replaceText("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(replaceText("a-b", "-", "--"), "a--b");
}

TEST(ReplaceText, RespectsCharacterUnits) {
    EXPECT_EQ(replaceText(kMixed,
                          "\xD0"
                          "c",
                          "X"),
              kMixed);
    EXPECT_EQ(replaceText("中文,中文", "文", "国"), "中国,中国");
    EXPECT_EQ(replaceText(std::string(kTrailA) + "a", "a", "b"), std::string(kTrailA) + "b");
}

TEST(ReplaceText, StartCountAndCase) {
    EXPECT_EQ(replaceText("1.2.3", "."), "123");
    EXPECT_EQ(replaceText("a-a-a", "a", "b", 2), "a-b-b");
    EXPECT_EQ(replaceText("a-a-a", "a", "b", 1, 2), "b-b-a");
    EXPECT_EQ(replaceText("a-a-a", "a", "b", 1, 0), "a-a-a");
    EXPECT_EQ(replaceText("a-a-a", "a", "b", 6), "a-a-a");
    EXPECT_EQ(replaceText("a-a-a", "", "b"), "a-a-a");
    EXPECT_EQ(replaceText("", "a", "b"), "");
    EXPECT_EQ(replaceText("Ab ab", "AB", "x", 1, kAll, false), "x x");
    EXPECT_EQ(replaceText("Ab ab", "AB", "x"), "Ab ab");
}

TEST(SplitText, KeepsInnerEmptyPiecesButNoEmptyLastPiece) {
    EXPECT_EQ(splitText("x,,y,"), (Pieces{"x", "", "y"}));
    EXPECT_EQ(splitText("a\r\n\r\nb\r\n", "\r\n"), (Pieces{"a", "", "b"}));
    EXPECT_EQ(splitText(",a"), (Pieces{"", "a"}));
    EXPECT_EQ(splitText(","), (Pieces{""}));
}

TEST(SplitText, DegenerateInputs) {
    EXPECT_EQ(splitText(""), Pieces{});
    EXPECT_EQ(splitText("a,b", ""), Pieces{"a,b"});
    EXPECT_EQ(splitText("a;b"), Pieces{"a;b"});
    // D0 is only the second byte of 中 here, never a separator.
    EXPECT_EQ(splitText("中x", "\xD0"), Pieces{"中x"});
}

TEST(SplitText, MaxPiecesCapsTheResult) {
    EXPECT_EQ(splitText("a,b,c", ",", 2), (Pieces{"a", "b"}));
    EXPECT_EQ(splitText("a,b,c", ",", 3), (Pieces{"a", "b", "c"}));
    EXPECT_EQ(splitText("a,b,c", ",", 9), (Pieces{"a", "b", "c"}));
    EXPECT_EQ(splitText("a,b,c", ",", 0), Pieces{});
}

TEST(Spaces, TrimDropsAsciiAndFullWidthSpacesAtTheEnds) {
    EXPECT_EQ(trimSpaces("\xA1\xA1 a b \xA1\xA1 "), "a b");
    EXPECT_EQ(trimSpaces("  \xA1\xA1"), "");
    EXPECT_EQ(trimSpaces(""), "");
    EXPECT_EQ(trimSpaces("\ta\r"), "\ta\r");
    EXPECT_EQ(trimSpaces(" \t "), "\t");
    EXPECT_EQ(trimSpaces("\n1 \n"), "\n1 \n");
    // 啊 is B0 A1: in 啊 A1 the last two bytes straddle a character and are no space, while
    // 啊 A1 A1 ends with a full-width space.
    EXPECT_EQ(trimSpaces(" 啊\xA1"), "啊\xA1");
    EXPECT_EQ(trimSpaces("啊\xA1\xA1"), "啊");
}

TEST(Spaces, RemoveAllDropsEverySpaceCharacter) {
    EXPECT_EQ(removeAllSpaces(" 192 .168\xA1\xA1.1 "), "192.168.1");
    EXPECT_EQ(removeAllSpaces("a\tb\r\n"), "a\tb\r\n");
    EXPECT_EQ(removeAllSpaces("x啊\xA1"), "x啊\xA1");
    EXPECT_EQ(removeAllSpaces("啊\xA1\xA1x"), "啊x");
    EXPECT_EQ(removeAllSpaces("plain"), "plain");
}

TEST(TextToInteger, ReadsLeadingDecimalNumber) {
    EXPECT_EQ(textToInteger(" 800 "), 800);
    EXPECT_EQ(textToInteger("abc"), 0);
    EXPECT_EQ(textToInteger("2500ms"), 2500);
    EXPECT_EQ(textToInteger("-5"), -5);
    EXPECT_EQ(textToInteger("+7"), 7);
    EXPECT_EQ(textToInteger("\t\r\n\v\f42"), 42);
    EXPECT_EQ(textToInteger("- 5"), 0);
    EXPECT_EQ(textToInteger("1.9"), 1);
    EXPECT_EQ(textToInteger(""), 0);
    EXPECT_EQ(textToInteger("0x1F"), 0);
}

TEST(TextToInteger, FullWidthFormsCountAsAscii) {
    EXPECT_EQ(textToInteger("\xA3\xB1\xA3\xB2"), 12);
    EXPECT_EQ(textToInteger("１２"), 12);
    EXPECT_EQ(textToInteger("\xA1\xA1－５"), -5);
    EXPECT_EQ(textToInteger("＋3０"), 30);
    EXPECT_EQ(textToInteger("中1"), 0);
}

TEST(TextToInteger, OutOfRangeSticksToTheLimits) {
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(textToInteger("2147483647"), kMax);
    EXPECT_EQ(textToInteger("2147483648"), kMax);
    EXPECT_EQ(textToInteger("-2147483648"), kMin);
    EXPECT_EQ(textToInteger("-2147483649"), kMin);
    EXPECT_EQ(textToInteger("99999999999999999999999999"), kMax);
}

TEST(TextToNumber, ReadsDecimalFloatingPoint) {
    EXPECT_DOUBLE_EQ(textToNumber("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(textToNumber(" -2.5e3x"), -2500.0);
    EXPECT_DOUBLE_EQ(textToNumber("1E-2"), 0.01);
    EXPECT_DOUBLE_EQ(textToNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(textToNumber("5."), 5.0);
    EXPECT_DOUBLE_EQ(textToNumber("7e"), 7.0);
    EXPECT_DOUBLE_EQ(textToNumber("7e+"), 7.0);
    EXPECT_DOUBLE_EQ(textToNumber("."), 0.0);
    EXPECT_DOUBLE_EQ(textToNumber("abc"), 0.0);
    EXPECT_DOUBLE_EQ(textToNumber("0x10"), 0.0);
    EXPECT_DOUBLE_EQ(textToNumber("inf"), 0.0);
    EXPECT_DOUBLE_EQ(textToNumber("３．５"), 3.5);
}

TEST(TextToNumber, OutOfRange) {
    EXPECT_EQ(textToNumber("1e400"), HUGE_VAL);
    EXPECT_EQ(textToNumber("-1e400"), -HUGE_VAL);
    EXPECT_EQ(textToNumber("1e-400"), 0.0);
    EXPECT_EQ(textToNumber("0.000000001e-400"), 0.0);
    EXPECT_EQ(textToNumber(std::string(400, '9')), HUGE_VAL);
    EXPECT_EQ(textToNumber("0e999999999999"), 0.0);
}

TEST(NumberToText, Integers) {
    EXPECT_EQ(numberToText(std::int32_t{-5}), "-5");
    EXPECT_EQ(numberToText(std::int32_t{0}), "0");
    EXPECT_EQ(numberToText(std::int64_t{-9'000'000'000}), "-9000000000");
    EXPECT_EQ(numberToText(std::uint32_t{0xFFFFFFFF}), "-1");
    EXPECT_EQ(numberToText(std::uint32_t{3'000'000'000}), "-1294967296");
}

TEST(NumberToText, DoublesUseThirteenSignificantDigits) {
    EXPECT_EQ(numberToText(2.0), "2");
    EXPECT_EQ(numberToText(1.5), "1.5");
    EXPECT_EQ(numberToText(0.1), "0.1");
    EXPECT_EQ(numberToText(-0.25), "-0.25");
    EXPECT_EQ(numberToText(1.0 / 3.0), "0.3333333333333");
    EXPECT_EQ(numberToText(1234567890123.0), "1234567890123");
    EXPECT_EQ(numberToText(12345678901234.0), "1.234567890123e+13");
    EXPECT_EQ(numberToText(0.0001), "0.0001");
    EXPECT_EQ(numberToText(0.00001), "1e-05");
}

TEST(NumberToText, BooleansAreChineseWords) {
    EXPECT_EQ(numberToText(true), "\xD5\xE6");
    EXPECT_EQ(numberToText(false), "\xBC\xD9");
}

TEST(HexText, UppercaseWithoutPadding) {
    EXPECT_EQ(hexText(0), "0");
    EXPECT_EQ(hexText(0xFF), "FF");
    EXPECT_EQ(hexText(0xDEADBEEF), "DEADBEEF");
    EXPECT_EQ(hexText(0x0A0B), "A0B");
}

TEST(CompareText, UnsignedBytewise) {
    EXPECT_EQ(compareText("", ""), 0);
    EXPECT_EQ(compareText("abc", "abc"), 0);
    EXPECT_LT(compareText("a", "b"), 0);
    EXPECT_GT(compareText("ab", "a"), 0);
    EXPECT_LT(compareText("", "a"), 0);
    EXPECT_LT(compareText("A", "a"), 0);
    EXPECT_GT(compareText("\x80", "a"), 0);
    EXPECT_GT(compareText("中", "z"), 0);
}

TEST(ExtractBetween, TextBetweenTheMarks) {
    EXPECT_EQ(extractBetween("\"ip\":\"1.2.3.4\",", "\"ip\":\"", "\""), "1.2.3.4");
    EXPECT_EQ(extractBetween("\"ip\":\"1.2.3.4\",", "#引号ip#引号:#引号", "#引号"), "1.2.3.4");
    EXPECT_EQ(extractBetween("[a][b]", "[", "]"), "a");
    EXPECT_EQ(extractBetween("[a][b]", "[", "]", 2), "b");
    EXPECT_EQ(extractBetween("[]", "[", "]"), "");
    EXPECT_EQ(extractBetween("<B>x</b>", "<b>", "</B>", 1, true), "x");
    EXPECT_EQ(extractBetween("<B>x</b>", "<b>", "</B>"), "");
    EXPECT_EQ(extractBetween("位置：北京|", "位置：", "|"), "北京");
}

TEST(ExtractBetween, MissingMarksGiveEmptyText) {
    EXPECT_EQ(extractBetween("[abc", "[", "]"), "");
    EXPECT_EQ(extractBetween("]a[", "[", "]"), "");
    EXPECT_EQ(extractBetween("abc", "x", "c"), "");
    EXPECT_EQ(extractBetween("", "[", "]"), "");
    EXPECT_EQ(extractBetween("[a]", "]", "["), "");
    // An empty right mark is found at 1, before the end of the left one.
    EXPECT_EQ(extractBetween("ab", "a", ""), "");
}

}  // namespace
}  // namespace nicops::text
