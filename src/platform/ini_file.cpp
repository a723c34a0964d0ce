#include "platform/ini_file.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdlib>
#include <memory>

#include "platform/atomic_file.h"

namespace nicops::platform {

namespace {

// GBK units: a lead byte 81..FE followed by a trail byte 40..FE (not 7F) is one double-byte
// character; every other byte stands alone. '[' and ']' and the ASCII letters are valid trail
// bytes, so names and brackets are looked for unit by unit, never byte by byte.
bool isLeadByte(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}
bool isTrailByte(unsigned char b) {
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

std::size_t unitLength(std::string_view s, std::size_t i) {
    if (isLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() &&
        isTrailByte(static_cast<unsigned char>(s[i + 1]))) {
        return 2;
    }
    return 1;
}

// Position of the first single-byte unit c at or after `from`; npos when there is none.
std::size_t findUnit(std::string_view s, char c, std::size_t from = 0) {
    for (std::size_t i = from; i < s.size(); i += unitLength(s, i)) {
        if (s[i] == c) {
            return i;
        }
    }
    return std::string_view::npos;
}

// True when the text's last unit is a lone lead byte, which would pair with the byte written
// after it (']' after a section name is a valid trail byte).
bool endsInLoneLeadByte(std::string_view s) {
    std::size_t last = std::string_view::npos;
    for (std::size_t i = 0; i < s.size(); i += unitLength(s, i)) {
        last = i;
    }
    return last != std::string_view::npos && last + 1 == s.size() &&
           isLeadByte(static_cast<unsigned char>(s[last]));
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view s) {
    // Space and tab are never trail bytes, so trimming byte by byte is safe.
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

char foldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Section and key names: ASCII letters without regard to case, double-byte characters exactly.
bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    std::size_t i = 0;
    while (i < a.size()) {
        const std::size_t n = unitLength(a, i);
        if (n != unitLength(b, i)) {
            return false;
        }
        if (n == 2) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) {
                return false;
            }
        } else if (foldAscii(a[i]) != foldAscii(b[i])) {
            return false;
        }
        i += n;
    }
    return true;
}

bool hasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool validSectionName(std::string_view name) {
    return !name.empty() && !hasLineBreakOrNul(name) &&
           findUnit(name, ']') == std::string_view::npos && !endsInLoneLeadByte(name);
}

bool validKeyName(std::string_view name) {
    return !name.empty() && !hasLineBreakOrNul(name) && name.front() != '[' &&
           name.front() != ';' && findUnit(name, '=') == std::string_view::npos;
}

// The file a write must replace: the target of a symbolic link rather than the link itself.
std::string resolveTarget(const std::string& path) {
#ifdef _WIN32
    return path;  // the settings file is an ordinary file beside the program
#else
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        return path;
    }
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : path;
#endif
}

}  // namespace

IniFile::IniFile(std::string_view content) {
    bool styleKnown = false;
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t lf = content.find('\n', start);
        std::string_view line;
        std::string_view eol;
        if (lf == std::string_view::npos) {
            line = content.substr(start);
            start = content.size();
        } else {
            line = content.substr(start, lf - start);
            eol = "\n";
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
                eol = "\r\n";
            }
            start = lf + 1;
            if (!styleKnown) {
                newline_ = std::string(eol);
                styleKnown = true;
            }
        }
        lines_.push_back(parseLine(std::string(line), std::string(eol)));
    }
}

IniFile::Line IniFile::parseLine(std::string text, std::string eol) {
    Line line;
    line.text = std::move(text);
    line.eol = std::move(eol);
    const std::string_view t = line.text;
    std::size_t p = 0;
    while (p < t.size() && isBlank(t[p])) {
        ++p;
    }
    if (p == t.size()) {
        line.kind = Kind::Blank;
    } else if (t[p] == ';') {
        line.kind = Kind::Comment;
    } else if (t[p] == '[') {
        // A missing ']' takes the rest of the line as the name; text after ']' is ignored.
        line.kind = Kind::Section;
        const std::size_t close = findUnit(t, ']', p + 1);
        const std::size_t end = close == std::string_view::npos ? t.size() : close;
        line.name = std::string(trimBlanks(t.substr(p + 1, end - p - 1)));
    } else {
        // A line without '=' is a key with an empty value.
        line.kind = Kind::Key;
        const std::size_t eq = findUnit(t, '=', p);
        if (eq == std::string_view::npos) {
            line.name = std::string(trimBlanks(t.substr(p)));
            line.valueStart = std::string::npos;
        } else {
            line.name = std::string(trimBlanks(t.substr(p, eq - p)));
            line.valueStart = eq + 1;
        }
    }
    return line;
}

IniFile IniFile::load(const std::string& path, FileReadStatus* status, std::string* reason) {
    std::string content;
    const FileReadStatus read = readRegularFile(path, kMaxIniFileBytes, content, reason);
    if (status != nullptr) {
        *status = read;
    }
    return read == FileReadStatus::Ok ? IniFile(content) : IniFile();
}

bool IniFile::findSection(std::string_view name, SectionRange& range) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == Kind::Section && sameName(lines_[i].name, name)) {
            std::size_t end = i + 1;
            while (end < lines_.size() && lines_[end].kind != Kind::Section) {
                ++end;
            }
            range = {i, end};
            return true;
        }
    }
    return false;
}

std::size_t IniFile::findKey(const SectionRange& range, std::string_view key) const {
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        if (lines_[i].kind == Kind::Key && sameName(lines_[i].name, key)) {
            return i;
        }
    }
    return std::string::npos;
}

bool IniFile::has(std::string_view section, std::string_view key) const {
    SectionRange range{};
    return findSection(trimBlanks(section), range) &&
           findKey(range, trimBlanks(key)) != std::string::npos;
}

std::string IniFile::get(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const {
    SectionRange range{};
    key = trimBlanks(key);
    if (key.empty() || !findSection(trimBlanks(section), range)) {
        return std::string(defaultValue);
    }
    const std::size_t index = findKey(range, key);
    if (index == std::string::npos) {
        return std::string(defaultValue);
    }
    const Line& line = lines_[index];
    if (line.valueStart == std::string::npos) {
        return {};
    }
    std::string_view value = trimBlanks(std::string_view(line.text).substr(line.valueStart));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, kMaxIniValueBytes));
}

void IniFile::ensureLineEnd(std::size_t index) {
    Line& line = lines_[index];
    if (line.eol.empty()) {
        // A last line that ends in a lone CR keeps it as part of its text: a bare LF after it
        // would make the pair a CR LF line end and change what the line reads as.
        line.eol = !line.text.empty() && line.text.back() == '\r' ? "\r\n" : newline_;
    }
}

bool IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    section = trimBlanks(section);
    key = trimBlanks(key);
    if (!validSectionName(section) || !validKeyName(key) || hasLineBreakOrNul(value)) {
        return false;
    }
    SectionRange range{};
    if (!findSection(section, range)) {
        if (!lines_.empty()) {
            ensureLineEnd(lines_.size() - 1);
        }
        std::string header(1, '[');
        header.append(section).push_back(']');
        lines_.push_back(parseLine(std::move(header), newline_));
        lines_.push_back(parseLine(std::string(key) + "=" + std::string(value), newline_));
        return true;
    }
    const std::size_t index = findKey(range, key);
    if (index != std::string::npos) {
        // Only the value changes: the name as the file spells it, and the blanks around the
        // '=', stay as they are.
        Line& line = lines_[index];
        std::string text;
        if (line.valueStart == std::string::npos) {
            text = line.text + "=";
        } else {
            std::size_t keep = line.valueStart;
            while (keep < line.text.size() && isBlank(line.text[keep])) {
                ++keep;
            }
            text = line.text.substr(0, keep);
        }
        text += value;
        line = parseLine(std::move(text), std::move(line.eol));
        return true;
    }
    // A new key goes after the section's last key line (or its header), so that the blank lines
    // and comments that end the section stay between it and the next one.
    std::size_t after = range.header;
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        if (lines_[i].kind == Kind::Key) {
            after = i;
        }
    }
    ensureLineEnd(after);
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(after + 1),
                  parseLine(std::string(key) + "=" + std::string(value), newline_));
    return true;
}

std::string IniFile::text() const {
    std::string out;
    for (const Line& line : lines_) {
        out += line.text;
        out += line.eol;
    }
    return out;
}

std::string readIniString(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view defaultValue) {
    return IniFile::load(path).get(section, key, defaultValue);
}

bool writeIniString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value, std::string* error) {
    const std::string target = resolveTarget(path);
    std::string content;
    std::string reason;
    const FileReadStatus read = readRegularFile(target, kMaxIniFileBytes, content, &reason);
    if (read != FileReadStatus::Ok && read != FileReadStatus::Missing) {
        // An existing file we can't read must not be replaced by a partial one.
        if (error != nullptr) {
            *error = target + " " + reason;
        }
        return false;
    }
    IniFile ini(content);
    if (!ini.set(section, key, value)) {
        if (error != nullptr) {
            *error = "a name or value can't be written to " + target + " as one line";
        }
        return false;
    }
    return replaceFileAtomically(target, ini.text(), error);
}

}  // namespace nicops::platform
