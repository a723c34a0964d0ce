#include "echo/country_names.h"

#include <cstdint>
#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>

namespace nicops::echo {

namespace {

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::optional<std::unordered_map<std::string, std::string>> parseMo(std::string_view bytes) {
    if (bytes.size() < 28) {
        return std::nullopt;
    }
    const auto raw = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
    };
    bool swapped = false;
    if (raw(0) == 0xDE120495u) {
        swapped = true;  // written on a machine of the other byte order
    } else if (raw(0) != 0x950412DEu) {
        return std::nullopt;
    }
    const auto word = [&](std::size_t at) -> std::uint32_t {
        const std::uint32_t v = raw(at);
        return swapped ? ((v & 0xFF) << 24 | (v & 0xFF00) << 8 | (v >> 8 & 0xFF00) | v >> 24) : v;
    };
    const std::uint64_t count = word(8);
    const std::uint64_t originals = word(12);
    const std::uint64_t translations = word(16);
    if (originals + count * 8 > bytes.size() || translations + count * 8 > bytes.size()) {
        return std::nullopt;
    }
    // One string of a table: its bytes up to the first NUL (the plural forms that follow are
    // not needed for names).
    const auto text = [&](std::uint64_t table, std::uint64_t i) -> std::optional<std::string> {
        const std::uint64_t length = word(table + i * 8);
        const std::uint64_t offset = word(table + i * 8 + 4);
        if (offset + length > bytes.size()) {
            return std::nullopt;
        }
        const auto full = bytes.substr(offset, length);
        return std::string(full.substr(0, full.find('\0')));
    };
    std::unordered_map<std::string, std::string> catalogue;
    for (std::uint64_t i = 0; i < count; ++i) {
        auto original = text(originals, i);
        auto translation = text(translations, i);
        if (!original || !translation) {
            return std::nullopt;
        }
        if (!original->empty() && !translation->empty()) {
            catalogue.emplace(std::move(*original), std::move(*translation));
        }
    }
    return catalogue;
}

std::optional<std::unordered_map<std::string, std::string>> readMoFile(const std::string& path) {
    const auto bytes = readWholeFile(path);
    if (!bytes) {
        return std::nullopt;
    }
    return parseMo(*bytes);
}

bool CountryNames::load(const std::string& isoJsonPath, const std::string& localeDir,
                        const std::string& language) {
    names_.clear();
    translated_ = false;
    const auto json = readWholeFile(isoJsonPath);
    if (!json) {
        return false;
    }
    const auto document = nlohmann::json::parse(*json, nullptr, false);
    if (document.is_discarded() || !document.contains("3166-1") || !document["3166-1"].is_array()) {
        return false;
    }
    std::optional<std::unordered_map<std::string, std::string>> catalogue;
    const bool english = language == "en" || language.rfind("en_", 0) == 0;
    if (!english && !language.empty() && language.find('/') == std::string::npos) {
        catalogue = readMoFile(localeDir + "/" + language + "/LC_MESSAGES/iso_3166-1.mo");
        translated_ = catalogue.has_value();
    }
    for (const auto& country : document["3166-1"]) {
        if (!country.is_object() || !country.contains("alpha_2") || !country.contains("name") ||
            !country["alpha_2"].is_string() || !country["name"].is_string()) {
            continue;
        }
        std::string name = country["name"].get<std::string>();
        if (catalogue) {
            if (const auto found = catalogue->find(name); found != catalogue->end()) {
                name = found->second;
            }
        }
        names_[country["alpha_2"].get<std::string>()] = std::move(name);
    }
    return !names_.empty();
}

std::string CountryNames::name(std::string_view code) const {
    std::string key(code);
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    const auto found = names_.find(key);
    return found == names_.end() ? std::string() : found->second;
}

}  // namespace nicops::echo
