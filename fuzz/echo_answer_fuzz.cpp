// nicops-echo's answer and its country-name catalogue, on any values and bytes: the answer is
// one JSON object of valid UTF-8 with the five keys in order, each value the sanitized text,
// which no reader can misread (no quote, backslash or control character) and which sanitizing
// again leaves alone. A catalogue written as a message file, from pairs taken from the input,
// reads back as those pairs; any bytes read as a catalogue give entries within the bytes.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "echo/answer.h"
#include "echo/country_names.h"
#include "fuzz_check.h"

using namespace nicops::echo;

namespace {

using Names = std::map<std::string, std::string>;

void appendWord(std::string& out, std::uint32_t value, bool bigEndian) {
    for (int i = 0; i < 4; ++i) {
        const int shift = bigEndian ? 24 - 8 * i : 8 * i;
        out.push_back(static_cast<char>(value >> shift & 0xFF));
    }
}

// A message file holding the pairs, in either byte order.
std::string moFile(const std::vector<std::pair<std::string, std::string>>& pairs, bool bigEndian) {
    const auto count = static_cast<std::uint32_t>(pairs.size());
    const std::uint32_t originals = 28;
    const std::uint32_t translations = originals + 8 * count;
    std::string strings;
    std::string originalTable;
    std::string translationTable;
    std::uint32_t offset = translations + 8 * count;
    for (const auto& [original, translation] : pairs) {
        appendWord(originalTable, static_cast<std::uint32_t>(original.size()), bigEndian);
        appendWord(originalTable, offset, bigEndian);
        strings += original + '\0';
        offset += static_cast<std::uint32_t>(original.size()) + 1;
    }
    for (const auto& [original, translation] : pairs) {
        appendWord(translationTable, static_cast<std::uint32_t>(translation.size()), bigEndian);
        appendWord(translationTable, offset, bigEndian);
        strings += translation + '\0';
        offset += static_cast<std::uint32_t>(translation.size()) + 1;
    }
    std::string out;
    appendWord(out, 0x950412DEu, bigEndian);
    appendWord(out, 0, bigEndian);
    appendWord(out, count, bigEndian);
    appendWord(out, originals, bigEndian);
    appendWord(out, translations, bigEndian);
    appendWord(out, 0, bigEndian);
    appendWord(out, 0, bigEndian);
    return out + originalTable + translationTable + strings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = nicops::fuzz::inputText(data, size);
    const auto parts = nicops::fuzz::cutInput(input, 5);
    const Location location{std::string(parts[1]), std::string(parts[2]), std::string(parts[3]),
                            std::string(parts[4])};
    const std::string answer = buildAnswer(parts[0], location);
    const auto json = nlohmann::json::parse(answer, nullptr, false);
    FUZZ_CHECK(json.is_object() && json.size() == 5);
    const char* keys[] = {"ip", "country", "region", "city", "as"};
    std::string expected = "{";
    for (std::size_t i = 0; i < 5; ++i) {
        const std::string value = sanitizeValue(parts[i]);
        FUZZ_CHECK(json.contains(keys[i]) && json[keys[i]] == value);
        FUZZ_CHECK(sanitizeValue(value) == value);
        FUZZ_CHECK(value.find_first_of("\"\\") == std::string::npos);
        for (const char c : value) {
            FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
        }
        expected += std::string(i == 0 ? "" : ",") + "\"" + keys[i] + "\":\"" + value + "\"";
    }
    FUZZ_CHECK(answer == expected + "}");

    // The input as a message file.
    if (const auto catalogue = parseMo(input)) {
        for (const auto& [original, translation] : *catalogue) {
            FUZZ_CHECK(!original.empty() && !translation.empty());
            FUZZ_CHECK(original.size() + translation.size() <= input.size());
        }
    }
    // Pairs of the input's pieces written as one, in both byte orders.
    std::vector<std::pair<std::string, std::string>> pairs;
    Names wanted;
    for (std::size_t i = 0; i + 1 < 5; i += 2) {
        std::string original(parts[i].substr(0, parts[i].find('\0')));
        std::string translation(parts[i + 1].substr(0, parts[i + 1].find('\0')));
        if (!original.empty() && !translation.empty()) {
            wanted.emplace(original, translation);
        }
        pairs.emplace_back(std::move(original), std::move(translation));
    }
    for (const bool bigEndian : {false, true}) {
        const auto catalogue = parseMo(moFile(pairs, bigEndian));
        FUZZ_CHECK(catalogue.has_value());
        const Names read(catalogue->begin(), catalogue->end());
        FUZZ_CHECK(read == wanted);
    }
    return 0;
}
