#include "text/codepage.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace nicops::text {
namespace {

// 网卡 in UTF-8 and in GBK.
constexpr std::string_view kNetCardUtf8 = "\xE7\xBD\x91\xE5\x8D\xA1";
constexpr std::string_view kNetCardGbk = "\xCD\xF8\xBF\xA8";

TEST(GbkBuild, NarrowLiteralsAreGbk) {
    EXPECT_EQ(std::string_view("："), "\xA3\xBA");
    EXPECT_EQ(std::string_view("网卡"), kNetCardGbk);
    EXPECT_EQ(gbkToUtf8("网卡"), kNetCardUtf8);
    EXPECT_EQ(utf8ToGbk(kNetCardUtf8), "网卡");
}

TEST(Codepage, AsciiPassesThrough) {
    EXPECT_EQ(utf8ToGbk("192.168.1.10/24"), "192.168.1.10/24");
    EXPECT_EQ(gbkToUtf8("192.168.1.10/24"), "192.168.1.10/24");
    EXPECT_EQ(gbkToUtf16("eth0"), u"eth0");
    EXPECT_EQ(utf16ToGbk(u"eth0"), "eth0");
    EXPECT_EQ(utf8ToGbk(""), "");
    EXPECT_EQ(gbkToUtf16(""), u"");
}

TEST(Codepage, MixedTextBothWays) {
    const std::string gbk = "IP 地址：10.0.0.1（本地连接）";
    const std::string utf8 = gbkToUtf8(gbk);
    EXPECT_EQ(utf8.substr(0, 3), "IP ");
    EXPECT_EQ(utf8ToGbk(utf8), gbk);
    EXPECT_EQ(utf16ToGbk(gbkToUtf16(gbk)), gbk);
    EXPECT_EQ(gbkToUtf16("a网"), u"a\u7F51");
    EXPECT_EQ(utf16ToGbk(u"\u672C\u5730 1"), "本地 1");
}

TEST(Codepage, CharactersGbkCannotHoldBecomeOneQuestionMark) {
    EXPECT_EQ(utf8ToGbk("a\xF0\x9F\x98\x80"
                        "b"),
              "a?b");                                                           // emoji, four bytes
    EXPECT_EQ(utf8ToGbk("\xE0\xB8\x81" + std::string(kNetCardUtf8)), "?网卡");  // Thai letter
    EXPECT_EQ(utf16ToGbk(u"a\U0001F600b"), "a?b");                              // surrogate pair
    EXPECT_EQ(utf16ToGbk(u"\u0E01\u0E01"), "??");
}

TEST(Codepage, MalformedInputBecomesQuestionMarks) {
    EXPECT_EQ(utf8ToGbk("a\xFF"
                        "b"),
              "a?b");
    EXPECT_EQ(utf8ToGbk("a\xE4\xB8"), "a?");  // cut off at the end
    EXPECT_EQ(utf8ToGbk("\xE4\xB8"
                        "1"),
              "?1");
    const char16_t loneSurrogate[] = {u'a', char16_t{0xD800}, u'b', 0};
    EXPECT_EQ(utf16ToGbk(loneSurrogate), "a?b");
    EXPECT_EQ(gbkToUtf8("a\xAA\xA1"
                        "b"),
              "a?b");  // unassigned double-byte code
    EXPECT_EQ(gbkToUtf8("\xB0"
                        "1"),
              "?1");  // stray lead byte keeps the digit
    EXPECT_EQ(gbkToUtf8("a\xB0"), "a?");
    EXPECT_EQ(gbkToUtf16("a\xFF"), u"a?");
}

TEST(Codepage, LongTextGrowsTheOutput) {
    std::string gbk(5000, 'x');
    std::string utf8 = gbk;
    for (int i = 0; i < 5000; ++i) {
        gbk += "网卡";
        utf8 += kNetCardUtf8;
    }
    EXPECT_EQ(gbkToUtf8(gbk), utf8);
    EXPECT_EQ(utf8ToGbk(utf8), gbk);
    EXPECT_EQ(utf16ToGbk(gbkToUtf16(gbk)), gbk);
}

TEST(Codepage, ThreadsConvertIndependently) {
    std::vector<std::thread> threads;
    threads.reserve(4);
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 500; ++i) {
                if (gbkToUtf8("网卡" + std::to_string(i)) !=
                        std::string(kNetCardUtf8) + std::to_string(i) ||
                    utf8ToGbk(kNetCardUtf8) != kNetCardGbk) {
                    ++failures[static_cast<std::size_t>(t)];
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

// Every double-byte code of GBK, converted by this platform's converter, must give the same
// characters on every platform (the fingerprint was taken from glibc's GBK on Linux): 21791 codes
// convert both ways, the 2149 unassigned ones become "?".
TEST(Codepage, EveryDoubleByteCodeMapsAsOnLinux) {
    std::uint64_t fingerprint = 14695981039346656037ULL;  // FNV-1a over the UTF-16 units
    int unassigned = 0;
    int roundTrips = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) {
                continue;
            }
            const std::string gbk{static_cast<char>(lead), static_cast<char>(trail)};
            const std::u16string wide = gbkToUtf16(gbk);
            for (const char16_t unit : wide) {
                fingerprint = (fingerprint ^ unit) * 1099511628211ULL;
            }
            if (wide == u"?") {
                ++unassigned;
            } else if (utf16ToGbk(wide) == gbk && utf8ToGbk(gbkToUtf8(gbk)) == gbk) {
                ++roundTrips;
            }
        }
    }
    EXPECT_EQ(fingerprint, 0x084bac9859113952ULL);
    EXPECT_EQ(unassigned, 2149);
    EXPECT_EQ(roundTrips, 21791);
}

TEST(WideToOem, StopsAtTheFirstNul) {
    EXPECT_EQ(wideToOem(std::u16string_view(u"eth0\0junk", 9)), "eth0");
    EXPECT_EQ(wideToOem(u"\u672C\u5730"), "本地");
    EXPECT_EQ(wideToOem(u""), "");
}

TEST(GbkToEncoding, NamedCodesets) {
    EXPECT_EQ(gbkToEncoding("网卡", ""), kNetCardUtf8);
    EXPECT_EQ(gbkToEncoding("网卡", "ANSI_X3.4-1968"), kNetCardUtf8);
    EXPECT_EQ(gbkToEncoding("网卡", "UTF-8"), kNetCardUtf8);
    EXPECT_EQ(gbkToEncoding("网卡", "GB18030"), kNetCardGbk);
    EXPECT_EQ(gbkToEncoding("a网b", "ISO-8859-1"), "a?b");
    EXPECT_EQ(gbkToEncoding("网卡", "NO-SUCH-CODESET"), kNetCardUtf8);
    // Switching back and forth reopens the right converter.
    EXPECT_EQ(gbkToEncoding("网", "GB18030"), "\xCD\xF8");
}

#ifndef _WIN32  // the C library's locale; Windows names the console's code page
TEST(TerminalEncoding, CLocaleMeansUtf8) {
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
    EXPECT_EQ(terminalEncoding(), "UTF-8");
    if (std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr) {
        EXPECT_EQ(terminalEncoding(), "UTF-8");
    }
    std::setlocale(LC_CTYPE, saved.c_str());
}
#endif

}  // namespace
}  // namespace nicops::text

TEST(TerminalText, ArgumentsInTheTerminalsCodesetComeBackAsGbk) {
    using nicops::text::encodingToGbk;
    using nicops::text::gbkToEncoding;
    const std::string name = "以太网 2";  // GBK
    EXPECT_EQ(encodingToGbk(gbkToEncoding(name, "UTF-8"), "UTF-8"), name);
    EXPECT_EQ(encodingToGbk(gbkToEncoding(name, "GB18030"), "GB18030"), name);
    EXPECT_EQ(encodingToGbk("plain", "ANSI_X3.4-1968"), "plain");
}
