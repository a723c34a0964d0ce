// The settings file's reader and single-key writer on any file and any key: a file reads back
// byte for byte; a key that was written reads as the value given (trimmed, unquoted, cut as
// every value is), from memory and from the file; every other key keeps its value and only the
// key's own line changes (or one is added); what is refused is one of the names or values the
// writer can't write as one line.
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_check.h"
#include "platform/ini_file.h"

using nicops::platform::IniFile;

namespace {

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

// What a value reads as once it stands after "=".
std::string readsAs(std::string_view value) {
    value = trimBlanks(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, nicops::platform::kMaxIniValueBytes));
}

std::string folded(std::string_view s) {
    std::string out(trimBlanks(s));
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + 32);
        }
    }
    return out;
}

// The (section, key) names of the file, as a plain reading of its lines finds them.
std::vector<std::pair<std::string, std::string>> namesOf(std::string_view content) {
    std::vector<std::pair<std::string, std::string>> names;
    std::string section;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string_view::npos) {
            end = content.size();
        }
        std::string_view line = trimBlanks(content.substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            section = std::string(trimBlanks(line.substr(1, line.find(']') - 1)));
        } else {
            names.emplace_back(section, std::string(trimBlanks(line.substr(0, line.find('=')))));
        }
    }
    return names;
}

bool hasBreak(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The file, then the section, the key and the value, separated by 0x01 bytes.
    const auto parts = nicops::fuzz::cutInput(nicops::fuzz::inputText(data, size), 4);
    const std::string_view content = parts[0];
    const std::string_view section = parts[1];
    const std::string_view key = parts[2];
    const std::string_view value = parts[3];

    const IniFile before(content);
    FUZZ_CHECK(before.text() == content);
    IniFile after = before;
    if (!after.set(section, key, value)) {
        FUZZ_CHECK(after.text() == content);
        const std::string_view s = trimBlanks(section);
        const std::string_view k = trimBlanks(key);
        FUZZ_CHECK(s.empty() || k.empty() || hasBreak(s) || hasBreak(k) || hasBreak(value) ||
                   s.find(']') != std::string_view::npos ||
                   static_cast<unsigned char>(s.back()) >= 0x81 ||
                   k.find('=') != std::string_view::npos || k.front() == '[' || k.front() == ';');
        return 0;
    }
    const std::string written = after.text();
    FUZZ_CHECK(after.get(section, key, "\x02") == readsAs(value));
    FUZZ_CHECK(after.has(section, key));
    const IniFile reread(written);
    FUZZ_CHECK(reread.text() == written);
    FUZZ_CHECK(reread.get(section, key, "\x02") == readsAs(value));

    // Only one line of the file changed, or lines were added.
    std::size_t prefix = 0;
    while (prefix < content.size() && prefix < written.size() &&
           content[prefix] == written[prefix]) {
        ++prefix;
    }
    std::size_t suffix = 0;
    while (suffix < content.size() - prefix && suffix < written.size() - prefix &&
           content[content.size() - 1 - suffix] == written[written.size() - 1 - suffix]) {
        ++suffix;
    }
    FUZZ_CHECK(content.substr(prefix, content.size() - prefix - suffix).find('\n') ==
               std::string_view::npos);

    // Every other key reads as before.
    const std::string setSection = folded(section);
    const std::string setKey = folded(key);
    for (const auto& [s, k] : namesOf(content)) {
        if (folded(s) == setSection && folded(k) == setKey) {
            continue;
        }
        FUZZ_CHECK(reread.get(s, k, "\x02") == before.get(s, k, "\x02"));
    }

    // The same through the file.
    static const std::string path = nicops::fuzz::scratchFolder() + "/settings.ini";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    FUZZ_CHECK(nicops::platform::writeIniString(path, section, key, value));
    FUZZ_CHECK(IniFile::load(path).text() == written);
    FUZZ_CHECK(nicops::platform::readIniString(path, section, key, "\x02") == readsAs(value));
    return 0;
}
