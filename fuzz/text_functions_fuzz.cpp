// The GBK text functions against what their rules say, on any bytes: searches land on a unit
// start and match there (the first such place), replacing and splitting undo each other, trims
// leave no space at either end, the number readers agree with the C library on ASCII text and
// every result lies within its input.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "text/text_functions.h"

using namespace nicops::text;

namespace {

unsigned char fold(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

// The byte offsets where the units of t start when it is read from `from` on (a byte >= 0x80
// leads a two-byte unit unless it is the last byte): a search reads the text from its start.
std::vector<bool> unitStarts(std::string_view t, std::size_t from = 0) {
    std::vector<bool> starts(t.size() + 1, false);
    std::size_t i = from;
    while (i < t.size()) {
        starts[i] = true;
        i += static_cast<unsigned char>(t[i]) >= 0x80 && i + 1 < t.size() ? 2 : 1;
    }
    starts[t.size()] = true;
    return starts;
}

// Whether needle matches t at i, ASCII letters folded when asked, never the second byte of a
// character of t.
bool matchesAt(std::string_view t, std::size_t i, std::string_view needle, bool ignoreCase) {
    if (needle.size() > t.size() - i) {
        return false;
    }
    bool second = false;
    for (std::size_t j = 0; j < needle.size(); ++j) {
        const auto a = static_cast<unsigned char>(t[i + j]);
        const auto b = static_cast<unsigned char>(needle[j]);
        if (a != b && (!ignoreCase || second || fold(a) != fold(b))) {
            return false;
        }
        second = !second && a >= 0x80;
    }
    return true;
}

// The first match at a unit start at or after `from`; a lead byte at the very end is no start.
int referenceFind(std::string_view t, std::string_view needle, std::size_t from, bool ignoreCase,
                  const std::vector<bool>& starts) {
    for (std::size_t i = from; i < t.size(); ++i) {
        if (!starts[i]) {
            continue;
        }
        if (i + 1 == t.size() && static_cast<unsigned char>(t[i]) >= 0x80) {
            break;
        }
        if (matchesAt(t, i, needle, ignoreCase)) {
            return static_cast<int>(i) + 1;
        }
    }
    return kNotFound;
}

bool isSpaceAt(std::string_view t, std::size_t i) {
    return t[i] == ' ' || (t[i] == '\xA1' && i + 1 < t.size() && t[i + 1] == '\xA1');
}

bool asciiOnly(std::string_view t) {
    for (const char c : t) {
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\0') {
            return false;
        }
    }
    return true;
}

void checkSearches(std::string_view t, std::string_view needle, int start, bool ignoreCase) {
    const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start) - 1;
    const auto starts = unitStarts(t, from);
    const int found = findText(t, needle, start, ignoreCase);
    int expected = kNotFound;
    if (from < t.size()) {
        expected = needle.empty() ? 1 : referenceFind(t, needle, from, ignoreCase, starts);
    }
    FUZZ_CHECK(found == expected);

    if (needle.empty()) {
        return;
    }
    // Replacing every match by itself changes nothing; by nothing removes exactly the matches.
    if (!ignoreCase) {
        FUZZ_CHECK(replaceText(t, needle, needle, start) == t);
    }
    int matches = 0;
    for (int at = findText(t, needle, start, ignoreCase); at != kNotFound;
         at = findText(t, needle, at + static_cast<int>(needle.size()), ignoreCase)) {
        ++matches;
    }
    const std::string removed = replaceText(t, needle, {}, start, kAll, !ignoreCase);
    FUZZ_CHECK(removed.size() == t.size() - static_cast<std::size_t>(matches) * needle.size());
    const std::string once = replaceText(t, needle, {}, start, 1, !ignoreCase);
    FUZZ_CHECK(once.size() == t.size() - (matches > 0 ? needle.size() : 0));

    // The pieces joined by the separator give the text back (without a separator at its end).
    const auto pieces = splitText(t, needle);
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i != 0) {
            joined += needle;
        }
        joined += pieces[i];
    }
    FUZZ_CHECK(joined == t || joined + std::string(needle) == t);
    const auto limited = splitText(t, needle, 2);
    FUZZ_CHECK(limited.size() <= 2 && limited.size() <= pieces.size());
    for (std::size_t i = 0; i < limited.size(); ++i) {
        FUZZ_CHECK(limited[i] == pieces[i]);
    }

    const std::string between = extractBetween(t, needle, needle, start, ignoreCase);
    FUZZ_CHECK(between.size() <= t.size());
    FUZZ_CHECK(t.find(between) != std::string_view::npos);
}

void checkTrims(std::string_view t) {
    const std::string trimmed = trimSpaces(t);
    FUZZ_CHECK(trimmed.size() <= t.size());
    FUZZ_CHECK(t.find(trimmed) != std::string_view::npos);
    FUZZ_CHECK(trimSpaces(trimmed) == trimmed);
    if (!trimmed.empty()) {
        const auto starts = unitStarts(trimmed);
        FUZZ_CHECK(!isSpaceAt(trimmed, 0));
        const std::size_t n = trimmed.size();
        FUZZ_CHECK(!(trimmed[n - 1] == ' ' && starts[n - 1]));
        FUZZ_CHECK(!(n >= 2 && starts[n - 2] && trimmed.substr(n - 2) == "\xA1\xA1"));
    }
    const std::string removed = removeAllSpaces(t);
    FUZZ_CHECK(removed.size() <= t.size());
    FUZZ_CHECK(removeAllSpaces(removed) == removed);
    FUZZ_CHECK(removeAllSpaces(trimmed) == removed);
}

void checkPieces(std::string_view t, int n) {
    const auto size = static_cast<int>(t.size());
    FUZZ_CHECK(textLength(t) == size);
    const int k = n < 0 ? 0 : (n > size ? size : n);
    FUZZ_CHECK(leftOf(t, k) + rightOf(t, size - k) == t);
    FUZZ_CHECK(leftOf(t, n).size() <= t.size() && rightOf(t, n).size() <= t.size());
    const std::string middle = middleOf(t, n, 3);
    if (n >= 1 && n <= size) {
        FUZZ_CHECK(middle == t.substr(static_cast<std::size_t>(n) - 1, 3));
    } else {
        FUZZ_CHECK(middle.empty());
    }
    const int order = compareText(t, leftOf(t, k));
    FUZZ_CHECK(order == (k == size ? 0 : 1));
    FUZZ_CHECK(compareText(leftOf(t, k), t) == -order);
}

void checkNumbers(std::string_view t) {
    const std::int32_t value = textToInteger(t);
    FUZZ_CHECK(textToInteger(numberToText(value)) == value);
    FUZZ_CHECK(std::strtoul(hexText(static_cast<std::uint32_t>(value)).c_str(), nullptr, 16) ==
               static_cast<std::uint32_t>(value));
    const double number = textToNumber(t);
    FUZZ_CHECK(!std::isnan(number));
    const std::string shown = numberToText(number);
    FUZZ_CHECK(numberToText(textToNumber(shown)) == shown || std::isinf(number));
    if (!asciiOnly(t)) {
        return;
    }
    // On ASCII text the readers are the C library's, less hexadecimal, "inf" and "nan".
    const std::string text(t);
    errno = 0;
    const long long wide = std::strtoll(text.c_str(), nullptr, 10);
    const long long clamped = wide < std::numeric_limits<std::int32_t>::min()
                                  ? std::numeric_limits<std::int32_t>::min()
                                  : (wide > std::numeric_limits<std::int32_t>::max()
                                         ? std::numeric_limits<std::int32_t>::max()
                                         : wide);
    FUZZ_CHECK(value == clamped);
    if (text.find_first_of("xXiInN") == std::string::npos) {
        const double c = std::strtod(text.c_str(), nullptr);
        if (c == 0.0 || std::isinf(c) || std::isnormal(c)) {
            FUZZ_CHECK(number == c);
        }
    }
}

// A heap copy of exactly the text's size.
class ExactCopy {
public:
    explicit ExactCopy(std::string_view s) : bytes_(s.begin(), s.end()) {}
    std::string_view view() const { return {bytes_.data(), bytes_.size()}; }

private:
    std::vector<char> bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = nicops::fuzz::inputText(data, size);
    const std::uint8_t flags = nicops::fuzz::takeByte(input);
    const int start = static_cast<int>(nicops::fuzz::takeByte(input)) - 8;
    // The text, then after a zero byte the needle, each in a buffer of exactly its size so
    // that a read past either is caught.
    const std::size_t cut = input.find('\0');
    const ExactCopy text(input.substr(0, cut));
    const ExactCopy needleText(cut == std::string_view::npos ? std::string_view()
                                                             : input.substr(cut + 1));
    const std::string_view t = text.view();
    const std::string_view needle = needleText.view();
    checkSearches(t, needle, start, (flags & 1) != 0);
    checkTrims(t);
    checkPieces(t, start);
    checkNumbers(t);
    return 0;
}
