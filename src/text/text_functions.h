// The system's text functions on GBK byte strings. Positions are 1-based byte positions,
// "not found" is -1, and searches step over double-byte characters: a byte >= 0x80 is the lead
// byte of a two-byte unit, so a match never starts on the second byte of a character.
// A lead byte at the very end stands alone and no match starts on it. A search start below 1
// means 1.
// Spaces are ASCII 0x20 and the full-width space A1 A1; tab, CR and LF are not spaces.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nicops::text {

inline constexpr int kNotFound = -1;
inline constexpr int kAll = -1;  // "no limit" for replaceText's count and splitText's maxPieces

int textLength(std::string_view t);
std::string leftOf(std::string_view t, int n);
std::string rightOf(std::string_view t, int n);
std::string middleOf(std::string_view t, int start, int n);

int findText(std::string_view t, std::string_view needle, int start = 1, bool ignoreCase = false);
std::string replaceText(std::string_view t, std::string_view find,
                        std::string_view replacement = {}, int start = 1, int count = kAll,
                        bool caseSensitive = true);
// No empty last element when t ends with the separator. At most maxPieces elements: once that
// many are made the rest of the text is dropped; 0 gives none.
std::vector<std::string> splitText(std::string_view t, std::string_view separator = ",",
                                   int maxPieces = kAll);

std::string trimSpaces(std::string_view t);
std::string removeAllSpaces(std::string_view t);

// Full-width forms count as their ASCII forms; leading white space skipped, optional sign, the
// longest run of digits; 0 when no digit follows. Out of range the value sticks to INT32_MIN or
// INT32_MAX. textToNumber reads decimal notation only (no hexadecimal, "inf" or "nan"); out of
// range it gives an infinity or zero.
std::int32_t textToInteger(std::string_view t);
double textToNumber(std::string_view t);

std::string numberToText(std::int32_t v);
std::string numberToText(std::int64_t v);
std::string numberToText(std::uint32_t v);  // shown as the signed 32-bit value of the same bits
std::string numberToText(double v);         // "%.13g": 2 -> "2", 1.5 -> "1.5"
std::string numberToText(bool v);           // "真" / "假"
std::string hexText(std::uint32_t v);

int compareText(std::string_view a, std::string_view b);
std::string extractBetween(std::string_view t, std::string_view left, std::string_view right,
                           int start = 1, bool ignoreCase = false);

}  // namespace nicops::text
