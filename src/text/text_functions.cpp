#include "text/text_functions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace nicops::text {
namespace {

constexpr std::size_t kNoPos = std::string_view::npos;

inline unsigned char byteAt(std::string_view t, std::size_t i) {
    return static_cast<unsigned char>(t[i]);
}

inline bool isLeadByte(unsigned char c) {
    return c >= 0x80;
}

// Bytes of the unit that starts at i; a lead byte at the very end stands alone.
inline std::size_t unitLength(std::string_view t, std::size_t i) {
    return isLeadByte(byteAt(t, i)) && i + 1 < t.size() ? 2 : 1;
}

inline unsigned char foldAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Whether the non-empty `needle` matches `t` at the unit start i (the caller checked that enough
// bytes remain). Without case only ASCII letters fold, never the second byte of a character.
inline bool matchesAt(std::string_view t, std::size_t i, std::string_view needle, bool ignoreCase) {
    const char* p = t.data() + i;
    if (!ignoreCase) {
        return p[0] == needle[0] && std::memcmp(p, needle.data(), needle.size()) == 0;
    }
    bool secondByte = false;
    for (std::size_t j = 0; j < needle.size(); ++j) {
        const auto a = static_cast<unsigned char>(p[j]);
        const auto b = static_cast<unsigned char>(needle[j]);
        if (a != b && (secondByte || foldAscii(a) != foldAscii(b)))
            return false;
        secondByte = !secondByte && isLeadByte(a);
    }
    return true;
}

// Byte offset of the first match of the non-empty `needle` at a unit start, walking from `from`,
// or kNoPos. A lead byte at the very end of `t` ends the walk.
std::size_t findFrom(std::string_view t, std::size_t from, std::string_view needle,
                     bool ignoreCase) {
    const std::size_t n = needle.size();
    const std::size_t size = t.size();
    std::size_t i = from;
    while (i < size && n <= size - i) {
        const unsigned char c = byteAt(t, i);
        if (isLeadByte(c)) {
            if (i + 1 == size)
                break;
            if (matchesAt(t, i, needle, ignoreCase))
                return i;
            i += 2;
        } else {
            if (matchesAt(t, i, needle, ignoreCase))
                return i;
            ++i;
        }
    }
    return kNoPos;
}

// Length of the space character at i (1 for 0x20, 2 for A1 A1), or 0.
inline std::size_t spaceLength(std::string_view t, std::size_t i) {
    const unsigned char c = byteAt(t, i);
    if (c == 0x20)
        return 1;
    if (c == 0xA1 && i + 1 < t.size() && byteAt(t, i + 1) == 0xA1)
        return 2;
    return 0;
}

inline bool isCSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool isDigit(int c) {
    return c >= '0' && c <= '9';
}

// Reads a text character by character with GBK full-width ASCII forms (A3 A1 .. A3 FE and the
// full-width space A1 A1) turned into their ASCII forms. Any other double-byte character, and a
// lead byte at the end, reads as 0x80; the end reads as -1.
class AsciiReader {
public:
    explicit AsciiReader(std::string_view t) : t_(t) {}

    int peek() {
        if (i_ >= t_.size()) {
            step_ = 0;
            return -1;
        }
        const unsigned char c = byteAt(t_, i_);
        if (!isLeadByte(c)) {
            step_ = 1;
            return c;
        }
        if (i_ + 1 >= t_.size()) {
            step_ = 1;
            return 0x80;
        }
        const unsigned char d = byteAt(t_, i_ + 1);
        step_ = 2;
        if (c == 0xA3 && d >= 0xA1 && d <= 0xFE)
            return d - 0x80;
        if (c == 0xA1 && d == 0xA1)
            return ' ';
        return 0x80;
    }

    // Moves past the character the last peek() returned.
    void next() { i_ += step_; }

    // Skips leading white space and an optional sign, as the C library's conversions do; true
    // for a minus sign. Returns with the first character after them peeked.
    bool skipSpaceAndSign() {
        int c = peek();
        while (isCSpace(c)) {
            next();
            c = peek();
        }
        if (c == '+' || c == '-') {
            next();
            return c == '-';
        }
        return false;
    }

private:
    std::string_view t_;
    std::size_t i_ = 0;
    std::size_t step_ = 0;
};

// The value of a decimal number that std::from_chars found out of range: infinity when its
// magnitude is large, zero when it is tiny. `number` is digits[.digits][e[sign]digits] and holds
// a non-zero digit.
double outOfRangeValue(std::string_view number) {
    const std::size_t e = number.find('e');
    const std::string_view mantissa = number.substr(0, e);
    const std::size_t dot = mantissa.find('.');
    const std::string_view whole = mantissa.substr(0, dot);
    const std::string_view fraction = dot == kNoPos ? std::string_view{} : mantissa.substr(dot + 1);

    long long magnitude = 0;  // decimal exponent of the first non-zero digit, plus one
    const std::size_t firstWhole = whole.find_first_not_of('0');
    if (firstWhole != kNoPos) {
        magnitude = static_cast<long long>(whole.size() - firstWhole);
    } else {
        const std::size_t firstFraction = fraction.find_first_not_of('0');
        magnitude = -static_cast<long long>(firstFraction == kNoPos ? 0 : firstFraction);
    }
    if (e != kNoPos) {
        std::string_view exponent = number.substr(e + 1);
        bool negative = false;
        if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) {
            negative = exponent[0] == '-';
            exponent.remove_prefix(1);
        }
        long long value = 0;
        for (const char c : exponent)
            value = std::min(value * 10 + (c - '0'), 1'000'000'000LL);
        magnitude += negative ? -value : value;
    }
    return magnitude > 0 ? HUGE_VAL : 0.0;
}

}  // namespace

int textLength(std::string_view t) {
    return static_cast<int>(t.size());
}

std::string leftOf(std::string_view t, int n) {
    if (n <= 0)
        return {};
    return std::string(t.substr(0, static_cast<std::size_t>(n)));
}

std::string rightOf(std::string_view t, int n) {
    if (n <= 0)
        return {};
    const std::size_t count = std::min(static_cast<std::size_t>(n), t.size());
    return std::string(t.substr(t.size() - count));
}

std::string middleOf(std::string_view t, int start, int n) {
    if (start < 1 || static_cast<std::size_t>(start) > t.size() || n <= 0)
        return {};
    return std::string(t.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(n)));
}

int findText(std::string_view t, std::string_view needle, int start, bool ignoreCase) {
    const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start) - 1;
    if (from >= t.size())
        return kNotFound;
    if (needle.empty())
        return 1;
    const std::size_t at = findFrom(t, from, needle, ignoreCase);
    return at == kNoPos ? kNotFound : static_cast<int>(at) + 1;
}

std::string replaceText(std::string_view t, std::string_view find, std::string_view replacement,
                        int start, int count, bool caseSensitive) {
    const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start) - 1;
    if (t.empty() || find.empty() || from >= t.size() || count == 0)
        return std::string(t);

    std::size_t at = findFrom(t, from, find, !caseSensitive);
    if (at == kNoPos)
        return std::string(t);

    std::string result;
    result.reserve(t.size() + replacement.size());
    std::size_t copied = 0;
    int made = 0;
    while (at != kNoPos) {
        result.append(t.data() + copied, at - copied);
        result.append(replacement);
        copied = at + find.size();
        if (++made == count)
            break;  // a negative count never matches: no limit
        at = findFrom(t, copied, find, !caseSensitive);
    }
    result.append(t.substr(copied));
    return result;
}

std::vector<std::string> splitText(std::string_view t, std::string_view separator, int maxPieces) {
    std::vector<std::string> pieces;
    if (t.empty() || maxPieces == 0)
        return pieces;
    if (separator.empty()) {
        pieces.emplace_back(t);
        return pieces;
    }
    const auto limit = maxPieces < 0 ? std::numeric_limits<std::size_t>::max()
                                     : static_cast<std::size_t>(maxPieces);
    std::size_t cut = 0;
    while (pieces.size() < limit) {
        const std::size_t at = findFrom(t, cut, separator, false);
        if (at == kNoPos) {
            if (cut < t.size())
                pieces.emplace_back(t.substr(cut));
            break;
        }
        pieces.emplace_back(t.substr(cut, at - cut));
        cut = at + separator.size();
    }
    return pieces;
}

std::string trimSpaces(std::string_view t) {
    if (t.empty())
        return {};
    const auto first = byteAt(t, 0);
    const auto last = byteAt(t, t.size() - 1);
    if (first != 0x20 && first != 0xA1 && last != 0x20 && last != 0xA1)
        return std::string(t);

    std::size_t i = 0;
    while (i < t.size()) {
        const std::size_t space = spaceLength(t, i);
        if (space == 0)
            break;
        i += space;
    }
    const std::size_t begin = i;
    std::size_t end = i;
    while (i < t.size()) {
        const std::size_t space = spaceLength(t, i);
        if (space != 0) {
            i += space;
        } else {
            i += unitLength(t, i);
            end = i;
        }
    }
    return std::string(t.substr(begin, end - begin));
}

std::string removeAllSpaces(std::string_view t) {
    if (t.find(' ') == kNoPos && t.find('\xA1') == kNoPos)
        return std::string(t);
    std::string result;
    result.reserve(t.size());
    std::size_t i = 0;
    while (i < t.size()) {
        const std::size_t space = spaceLength(t, i);
        if (space != 0) {
            i += space;
            continue;
        }
        const std::size_t unit = unitLength(t, i);
        result.append(t.data() + i, unit);
        i += unit;
    }
    return result;
}

std::int32_t textToInteger(std::string_view t) {
    AsciiReader reader(t);
    const bool negative = reader.skipSpaceAndSign();
    int c = reader.peek();
    // Out of range the value sticks to the nearest 32-bit limit, as the C library's conversion
    // to a 32-bit long does.
    constexpr std::int64_t kCap = std::int64_t{1} << 40;
    std::int64_t value = 0;
    while (isDigit(c)) {
        value = std::min(value * 10 + (c - '0'), kCap);
        reader.next();
        c = reader.peek();
    }
    if (negative)
        value = -value;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

double textToNumber(std::string_view t) {
    AsciiReader reader(t);
    const bool negative = reader.skipSpaceAndSign();
    int c = reader.peek();

    std::string number;  // the ASCII form of the number, without its sign
    std::size_t digits = 0;
    while (isDigit(c)) {
        number.push_back(static_cast<char>(c));
        ++digits;
        reader.next();
        c = reader.peek();
    }
    if (c == '.') {
        number.push_back('.');
        reader.next();
        c = reader.peek();
        while (isDigit(c)) {
            number.push_back(static_cast<char>(c));
            ++digits;
            reader.next();
            c = reader.peek();
        }
    }
    if (digits == 0)
        return 0.0;

    if (c == 'e' || c == 'E') {
        // The exponent counts only when a digit follows the letter and its sign.
        AsciiReader afterLetter = reader;
        afterLetter.next();
        int e = afterLetter.peek();
        std::string exponent = "e";
        if (e == '+' || e == '-') {
            exponent.push_back(static_cast<char>(e));
            afterLetter.next();
            e = afterLetter.peek();
        }
        if (isDigit(e)) {
            while (isDigit(e)) {
                exponent.push_back(static_cast<char>(e));
                afterLetter.next();
                e = afterLetter.peek();
            }
            number += exponent;
        }
    }

    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range)
        value = outOfRangeValue(number);
    return negative ? -value : value;
}

std::string numberToText(std::int32_t v) {
    return numberToText(static_cast<std::int64_t>(v));
}

std::string numberToText(std::int64_t v) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, result.ptr);
}

std::string numberToText(std::uint32_t v) {
    return numberToText(static_cast<std::int64_t>(static_cast<std::int32_t>(v)));
}

std::string numberToText(double v) {
    // to_chars keeps the C locale's decimal point whatever the process locale is.
    char buffer[40];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 13);
    return std::string(buffer, result.ptr);
}

std::string numberToText(bool v) {
    return v ? "真" : "假";
}

std::string hexText(std::uint32_t v) {
    char buffer[8];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, 16);
    std::string text(buffer, result.ptr);
    for (char& c : text) {
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - ('a' - 'A'));
    }
    return text;
}

int compareText(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    if (common != 0) {
        const int order = std::memcmp(a.data(), b.data(), common);
        if (order != 0)
            return order < 0 ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string extractBetween(std::string_view t, std::string_view left, std::string_view right,
                           int start, bool ignoreCase) {
    // Marks may spell a double quote as "#引号".
    constexpr std::string_view kQuoteName = "#引号";
    std::string leftMark;
    std::string rightMark;
    if (left.find('#') != kNoPos) {
        leftMark = replaceText(left, kQuoteName, "\"");
        left = leftMark;
    }
    if (right.find('#') != kNoPos) {
        rightMark = replaceText(right, kQuoteName, "\"");
        right = rightMark;
    }

    const int leftAt = findText(t, left, start, ignoreCase);
    if (leftAt == kNotFound)
        return {};
    const int from = leftAt + textLength(left);
    const int rightAt = findText(t, right, from, ignoreCase);
    // An empty right mark is "found" at 1, which can lie before `from`.
    if (rightAt == kNotFound || rightAt < from)
        return {};
    return std::string(
        t.substr(static_cast<std::size_t>(from) - 1, static_cast<std::size_t>(rightAt - from)));
}

}  // namespace nicops::text
