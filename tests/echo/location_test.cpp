// Location lookups: region and city out of an .mmdb file, names in the chosen language.
#include <gtest/gtest.h>

#include "echo/location.h"
#include "mmdb_file.h"
#include "support/temp_dir.h"

namespace {

using nicops::echo::Location;
using nicops::echo::LocationSource;
using nicops::testing::MmdbFile;
using nicops::testing::TempDir;
using nicops::testing::utf8;

Location lookUp(const std::string& mmdb, const std::string& language, const std::string& ip) {
    LocationSource source;
    std::string error;
    EXPECT_TRUE(source.openMmdb(mmdb, error)) << error;
    source.setCountryNames({}, language);
    return source.lookup(ip);
}

TEST(EchoLocation, RegionAndCityInTheLanguageElseEnglish) {
    TempDir dir;
    const auto mmdb = dir.write("city.mmdb", MmdbFile::cityDatabase());
    const Location zh = lookUp(mmdb, "zh_CN", "198.51.100.7");
    EXPECT_EQ(zh.city, utf8(u8"深圳"));
    EXPECT_EQ(zh.region, "Guangdong");      // the file has no Chinese name for it
    EXPECT_EQ(zh.country, utf8(u8"中国"));  // no location database: the file's country
    EXPECT_EQ(zh.as, "");
    const Location en = lookUp(mmdb, "en", "198.51.100.7");
    EXPECT_EQ(en.city, "Shenzhen");
    EXPECT_EQ(en.country, "China");
    const Location zh2 = lookUp(mmdb, "zh", "198.51.100.7");  // bare language: no match, English
    EXPECT_EQ(zh2.city, "Shenzhen");
}

TEST(EchoLocation, AddressOutsideTheFileStaysEmpty) {
    TempDir dir;
    const auto mmdb = dir.write("city.mmdb", MmdbFile::cityDatabase());
    const Location none = lookUp(mmdb, "zh_CN", "198.51.101.7");
    EXPECT_EQ(none.city, "");
    EXPECT_EQ(none.region, "");
    EXPECT_EQ(none.country, "");
}

TEST(EchoLocation, UnusableFilesAreReported) {
    TempDir dir;
    LocationSource source;
    std::string error;
    EXPECT_FALSE(source.openMmdb(dir.write("bad.mmdb", "not a database"), error));
    EXPECT_NE(error.find("bad.mmdb"), std::string::npos);
    EXPECT_FALSE(source.openLocDb((dir.path() / "missing.db").string(), error));
    EXPECT_FALSE(source.openLocDb(dir.write("bad.db", std::string(4096, 'x')), error));
    EXPECT_EQ(source.lookup("198.51.100.7").country, "");
}

}  // namespace
