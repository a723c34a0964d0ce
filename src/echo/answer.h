// The answer of nicops-echo: one UTF-8 JSON object with the caller's address and location.
#pragma once

#include <string>
#include <string_view>

namespace nicops::echo {

// What is known about one address; an unknown value stays empty.
struct Location {
    std::string country;
    std::string region;
    std::string city;
    std::string as;  // "AS<number> <name>", or "AS<number>" when the name is unknown
};

// `value` made safe to stand between two double quotes for any reader, including one that
// takes a value as the text up to the next double quote without decoding escapes: double
// quotes, backslashes, control characters and bytes that are not valid UTF-8 are dropped.
std::string sanitizeValue(std::string_view value);

// {"ip":…,"country":…,"region":…,"city":…,"as":…} — these keys in this order, every value
// passed through sanitizeValue.
std::string buildAnswer(std::string_view ip, const Location& location);

}  // namespace nicops::echo
