// The settings file: a GBK INI file read and written one key at a time.
//
// Reading: section and key names match without regard to the case of ASCII letters (double-byte
// characters match exactly); names and values lose their surrounding spaces and tabs; a value
// enclosed in a pair of double or single quotes loses the quotes; a value longer than
// kMaxIniValueBytes is cut to that many bytes; a missing file, section or key gives the default.
// Lines end in CR LF or LF; lines whose first non-blank character is ';' are comments.
//
// Writing one key keeps every other byte of the file: the key's line is changed in place, a new
// key goes after the last key line of its section, a new section goes at the end, a missing
// file is created. Added lines take the file's own line ends (CR LF for a new file); a last line
// ending in a lone CR gets CR LF, so that its CR stays part of its text. The file is
// replaced as a whole through a temporary file, so a failed write leaves the old file as it was.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"

namespace nicops::platform {

// The longest value a read returns, in bytes.
inline constexpr std::size_t kMaxIniValueBytes = 10239;
// The largest settings file that is read at all (far above any real one).
inline constexpr std::size_t kMaxIniFileBytes = std::size_t{1} << 20;

// An INI text held in memory: parse once, read many keys, change keys, save.
class IniFile {
public:
    IniFile() = default;
    explicit IniFile(std::string_view content);

    // The file's content; an empty IniFile when the file is missing, can't be read, is not a
    // regular file or is larger than kMaxIniFileBytes. `status` and `reason` say which.
    static IniFile load(const std::string& path, FileReadStatus* status = nullptr,
                        std::string* reason = nullptr);

    std::string get(std::string_view section, std::string_view key,
                    std::string_view defaultValue = {}) const;
    bool has(std::string_view section, std::string_view key) const;

    // Sets one key in memory. False, and nothing changed, when a name is empty or the value or a
    // name could not be written back as one line that reads as itself (CR, LF, NUL; "=" in a
    // key, "]" in a section name, a key starting with "[" or ";").
    bool set(std::string_view section, std::string_view key, std::string_view value);

    // The whole text, byte for byte as parsed plus the changes made by set.
    std::string text() const;

private:
    enum class Kind { Blank, Comment, Section, Key };
    struct Line {
        std::string text;  // without its line end
        std::string eol;   // "\r\n", "\n" or "" (last line without a line end)
        Kind kind = Kind::Blank;
        std::string name;            // section or key name, trimmed
        std::size_t valueStart = 0;  // Key: offset just past '=' (npos when there is none)
    };
    struct SectionRange {
        std::size_t header;  // index of the section line
        std::size_t end;     // one past its last line
    };

    static Line parseLine(std::string text, std::string eol);
    bool findSection(std::string_view name, SectionRange& range) const;
    std::size_t findKey(const SectionRange& range, std::string_view key) const;
    void ensureLineEnd(std::size_t index);

    std::vector<Line> lines_;
    std::string newline_ = "\r\n";  // line end for the lines set adds
};

// One key of the file at path (GetPrivateProfileStringA with a 10,240-byte buffer).
std::string readIniString(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view defaultValue);

// Writes one key (WritePrivateProfileStringA). False when the value or a name can't be written,
// when an existing file can't be read (or is no regular file, or is too large), or when the file
// can't be replaced; the old file is then untouched and `error` (when given) says why, naming
// the file.
bool writeIniString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value, std::string* error = nullptr);

}  // namespace nicops::platform
