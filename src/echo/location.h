// Location of an address out of the databases the operator has: the location database
// (country code, AS number and name) and an optional city-level .mmdb file (region, city, and
// the country when the location database has none).
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "echo/answer.h"
#include "echo/country_names.h"

struct loc_ctx;
struct loc_database;

namespace nicops::echo {

inline constexpr const char* kDefaultLocDb = "/usr/share/libloc-location/location.db";

// "zh_CN" → "zh-CN" (the form .mmdb name maps use), "en_GB" → "en-GB", "de" → "de".
std::string mmdbLanguageTag(const std::string& language);

class LocationSource {
public:
    LocationSource();
    ~LocationSource();
    LocationSource(const LocationSource&) = delete;
    LocationSource& operator=(const LocationSource&) = delete;

    // Each returns false with a reason in `error` when the file can't be used.
    bool openLocDb(const std::string& path, std::string& error);
    bool openMmdb(const std::string& path, std::string& error);
    void setCountryNames(CountryNames names, std::string language) {
        names_ = std::move(names);
        language_ = std::move(language);
    }

    // What the databases say about `ip` (an address in its usual text); empty values for what
    // they don't know. Safe to call from several threads at once.
    Location lookup(const std::string& ip) const;

private:
    struct Mmdb;
    void lookupLocDb(const std::string& ip, Location& location) const;
    void lookupMmdb(const std::string& ip, Location& location) const;

    CountryNames names_;
    std::string language_ = "en";
    loc_ctx* locContext_ = nullptr;
    loc_database* locDb_ = nullptr;
    std::FILE* locFile_ = nullptr;
    mutable std::mutex locMutex_;  // the location library's objects are not shared across threads
    std::unique_ptr<Mmdb> mmdb_;
};

}  // namespace nicops::echo
