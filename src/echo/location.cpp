#include "echo/location.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

extern "C" {
#include <libloc/as.h>
#include <libloc/database.h>
#include <libloc/libloc.h>
#include <libloc/network.h>
}
#include <maxminddb.h>

namespace nicops::echo {

struct LocationSource::Mmdb {
    MMDB_s db{};
    ~Mmdb() { MMDB_close(&db); }
};

std::string mmdbLanguageTag(const std::string& language) {
    std::string tag = language.substr(0, language.find_first_of(".@"));
    for (char& c : tag) {
        if (c == '_') {
            c = '-';
        }
    }
    return tag;
}

LocationSource::LocationSource() = default;

LocationSource::~LocationSource() {
    if (locDb_ != nullptr) {
        loc_database_unref(locDb_);
    }
    if (locContext_ != nullptr) {
        loc_unref(locContext_);
    }
    if (locFile_ != nullptr) {
        std::fclose(locFile_);
    }
}

bool LocationSource::openLocDb(const std::string& path, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    loc_ctx* context = nullptr;
    if (loc_new(&context) != 0 || context == nullptr) {
        std::fclose(file);
        error = "the location library could not start";
        return false;
    }
    loc_database* db = nullptr;
    if (loc_database_new(context, &db, file) != 0 || db == nullptr) {
        loc_unref(context);
        std::fclose(file);
        error = path + ": not a location database";
        return false;
    }
    locContext_ = context;
    locDb_ = db;
    locFile_ = file;
    return true;
}

bool LocationSource::openMmdb(const std::string& path, std::string& error) {
    MMDB_s db{};
    const int status = MMDB_open(path.c_str(), MMDB_MODE_MMAP, &db);
    if (status != MMDB_SUCCESS) {
        error = path + ": " + MMDB_strerror(status);
        if (status == MMDB_IO_ERROR) {
            error += std::string(" (") + std::strerror(errno) + ")";
        }
        return false;
    }
    mmdb_ = std::make_unique<Mmdb>();
    mmdb_->db = db;
    return true;
}

Location LocationSource::lookup(const std::string& ip) const {
    Location location;
    lookupLocDb(ip, location);
    lookupMmdb(ip, location);
    return location;
}

void LocationSource::lookupLocDb(const std::string& ip, Location& location) const {
    if (locDb_ == nullptr) {
        return;
    }
    std::lock_guard lock(locMutex_);
    loc_network* network = nullptr;
    if (loc_database_lookup_from_string(locDb_, ip.c_str(), &network) != 0 || network == nullptr) {
        return;
    }
    if (const char* code = loc_network_get_country_code(network); code != nullptr && *code) {
        location.country = names_.name(code);
    }
    if (const std::uint32_t asn = loc_network_get_asn(network); asn != 0) {
        location.as = "AS" + std::to_string(asn);
        loc_as* as = nullptr;
        if (loc_database_get_as(locDb_, &as, asn) == 0 && as != nullptr) {
            if (const char* name = loc_as_get_name(as); name != nullptr && *name) {
                location.as += " ";
                location.as += name;
            }
            loc_as_unref(as);
        }
    }
    loc_network_unref(network);
}

namespace {

// The UTF-8 string at `path` under `entry`, or "".
std::string mmdbString(MMDB_entry_s& entry, const std::vector<const char*>& path) {
    std::vector<const char*> terminated(path);
    terminated.push_back(nullptr);
    MMDB_entry_data_s data{};
    if (MMDB_aget_value(&entry, &data, terminated.data()) != MMDB_SUCCESS || !data.has_data ||
        data.type != MMDB_DATA_TYPE_UTF8_STRING) {
        return {};
    }
    return std::string(data.utf8_string, data.data_size);
}

// A name out of a "names" map: the language's tag, then its bare language, then English.
std::string mmdbName(MMDB_entry_s& entry, std::vector<const char*> path, const std::string& tag) {
    path.push_back("names");
    std::vector<std::string> tags = {tag};
    if (const auto dash = tag.find('-'); dash != std::string::npos) {
        tags.push_back(tag.substr(0, dash));
    }
    tags.emplace_back("en");
    for (const auto& t : tags) {
        path.push_back(t.c_str());
        auto value = mmdbString(entry, path);
        path.pop_back();
        if (!value.empty()) {
            return value;
        }
    }
    return {};
}

}  // namespace

void LocationSource::lookupMmdb(const std::string& ip, Location& location) const {
    if (!mmdb_) {
        return;
    }
    int gaiError = 0;
    int mmdbError = MMDB_SUCCESS;
    MMDB_lookup_result_s result = MMDB_lookup_string(&mmdb_->db, ip.c_str(), &gaiError, &mmdbError);
    if (gaiError != 0 || mmdbError != MMDB_SUCCESS || !result.found_entry) {
        return;
    }
    const std::string tag = mmdbLanguageTag(language_);
    location.region = mmdbName(result.entry, {"subdivisions", "0"}, tag);
    location.city = mmdbName(result.entry, {"city"}, tag);
    if (location.country.empty()) {
        location.country = mmdbName(result.entry, {"country"}, tag);
    }
}

}  // namespace nicops::echo
