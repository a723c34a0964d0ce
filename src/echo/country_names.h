// Country names by ISO 3166-1 alpha-2 code: English from the iso-codes list, other languages
// through the iso-codes gettext catalogue of that language (read directly from its .mo file).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace nicops::echo {

// The message catalogue of one .mo file: original text → translation. Plural entries keep
// their first forms. Returns nothing when the file is missing or malformed.
std::optional<std::unordered_map<std::string, std::string>> readMoFile(const std::string& path);
std::optional<std::unordered_map<std::string, std::string>> parseMo(std::string_view bytes);

class CountryNames {
public:
    // Reads `isoJsonPath` (iso_3166-1.json) and, unless `language` is "en" (or starts "en_"),
    // `<localeDir>/<language>/LC_MESSAGES/iso_3166-1.mo`. False when the English list can't be
    // read; a missing catalogue only leaves the names English.
    bool load(const std::string& isoJsonPath, const std::string& localeDir,
              const std::string& language);

    // The name of `code` (upper or lower case) in the language, else in English, else "".
    std::string name(std::string_view code) const;

    bool translated() const { return translated_; }

private:
    std::unordered_map<std::string, std::string> names_;
    bool translated_ = false;
};

inline constexpr const char* kIsoCodesJson = "/usr/share/iso-codes/json/iso_3166-1.json";
inline constexpr const char* kLocaleDir = "/usr/share/locale";

}  // namespace nicops::echo
