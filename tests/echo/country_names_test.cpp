// Country names: the .mo reader on made catalogues, and the installed iso-codes files.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <utility>
#include <vector>

#include "echo/country_names.h"
#include "support/temp_dir.h"

namespace {

using nicops::echo::CountryNames;
using nicops::echo::parseMo;
using nicops::testing::TempDir;
using nicops::testing::utf8;

// A .mo file holding `pairs`, its words in little- or big-endian order.
std::string makeMo(const std::vector<std::pair<std::string, std::string>>& pairs, bool bigEndian) {
    std::string out;
    const auto put = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            const int shift = bigEndian ? 24 - 8 * i : 8 * i;
            out.push_back(static_cast<char>(v >> shift & 0xFF));
        }
    };
    const auto n = static_cast<std::uint32_t>(pairs.size());
    const std::uint32_t originals = 28;
    const std::uint32_t translations = originals + n * 8;
    std::uint32_t strings = translations + n * 8;
    put(0x950412DEu);
    put(0);
    put(n);
    put(originals);
    put(translations);
    put(0);
    put(0);
    std::string pool;
    std::vector<std::uint32_t> table;
    for (int side = 0; side < 2; ++side) {
        for (const auto& pair : pairs) {
            const std::string& s = side == 0 ? pair.first : pair.second;
            table.push_back(static_cast<std::uint32_t>(s.size()));
            table.push_back(strings + static_cast<std::uint32_t>(pool.size()));
            pool += s;
            pool.push_back('\0');
        }
    }
    for (auto v : table) {
        put(v);
    }
    return out + pool;
}

TEST(EchoCountryNames, ReadsCatalogueInEitherByteOrder) {
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"", "Content-Type: text/plain; charset=UTF-8\n"},
        {"China", utf8(u8"中国")},
        {"Germany", utf8(u8"德国")},
        {std::string("file\0files", 10), std::string("x\0y", 3)}};
    for (bool bigEndian : {false, true}) {
        const auto catalogue = parseMo(makeMo(pairs, bigEndian));
        ASSERT_TRUE(catalogue.has_value()) << bigEndian;
        EXPECT_EQ(catalogue->at("China"), utf8(u8"中国"));
        EXPECT_EQ(catalogue->at("Germany"), utf8(u8"德国"));
        EXPECT_EQ(catalogue->at("file"), "x");
        EXPECT_EQ(catalogue->count(""), 0u);
    }
}

TEST(EchoCountryNames, RefusesDamagedCatalogues) {
    const std::string good = makeMo({{"China", utf8(u8"中国")}}, false);
    EXPECT_FALSE(parseMo(good.substr(0, good.size() - 4)).has_value());  // string past the end
    EXPECT_FALSE(parseMo(good.substr(0, 20)).has_value());
    std::string badMagic = good;
    badMagic[0] = 'x';
    EXPECT_FALSE(parseMo(badMagic).has_value());
    std::string hugeCount = good;
    hugeCount[11] = '\x7f';
    EXPECT_FALSE(parseMo(hugeCount).has_value());
}

TEST(EchoCountryNames, MadeCatalogueTranslatesAndLeavesTheRestEnglish) {
    TempDir dir;
    const auto json = dir.write("iso.json", R"({"3166-1":[{"alpha_2":"CN","name":"China"},
        {"alpha_2":"US","name":"United States"}]})");
    std::filesystem::create_directories(dir.path() / "xx" / "LC_MESSAGES");
    dir.write("xx/LC_MESSAGES/iso_3166-1.mo", makeMo({{"China", utf8(u8"中国")}}, false));
    CountryNames names;
    ASSERT_TRUE(names.load(json, dir.path().string(), "xx"));
    EXPECT_TRUE(names.translated());
    EXPECT_EQ(names.name("cn"), utf8(u8"中国"));
    EXPECT_EQ(names.name("US"), "United States");
    EXPECT_EQ(names.name("A1"), "");
    ASSERT_TRUE(names.load(json, dir.path().string(), "yy"));  // no catalogue: English
    EXPECT_FALSE(names.translated());
    EXPECT_EQ(names.name("CN"), "China");
}

TEST(EchoCountryNames, InstalledIsoCodesInChineseAndEnglish) {
    if (!std::filesystem::exists(nicops::echo::kIsoCodesJson)) {
        GTEST_SKIP() << "iso-codes is not installed";
    }
    CountryNames zh;
    ASSERT_TRUE(zh.load(nicops::echo::kIsoCodesJson, nicops::echo::kLocaleDir, "zh_CN"));
    ASSERT_TRUE(zh.translated());
    EXPECT_EQ(zh.name("CN"), utf8(u8"中国"));
    EXPECT_EQ(zh.name("DE"), utf8(u8"德国"));
    CountryNames en;
    ASSERT_TRUE(en.load(nicops::echo::kIsoCodesJson, nicops::echo::kLocaleDir, "en"));
    EXPECT_EQ(en.name("CN"), "China");
    EXPECT_EQ(en.name("US"), "United States");
}

}  // namespace
