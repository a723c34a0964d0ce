// What the fuzz targets share: a property check that stops the run with the failed condition,
// in every build (assert would vanish under NDEBUG), the input as text, and the ways the
// targets cut an input into the parameters they need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(condition)                                                                     \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (false)

namespace nicops::fuzz {

inline std::string_view inputText(const std::uint8_t* data, std::size_t size) {
    return size == 0 ? std::string_view()
                     : std::string_view(reinterpret_cast<const char*>(data), size);
}

// Takes the first byte off the input (0 when there is none), for targets that let the input
// choose a parameter as well as the text.
inline std::uint8_t takeByte(std::string_view& input) {
    if (input.empty()) {
        return 0;
    }
    const auto byte = static_cast<std::uint8_t>(input.front());
    input.remove_prefix(1);
    return byte;
}

// The input cut at each \x01 into exactly `pieces` parts: the last takes the rest, missing
// parts are empty.
inline std::vector<std::string_view> cutInput(std::string_view input, std::size_t pieces) {
    std::vector<std::string_view> out;
    while (out.size() + 1 < pieces) {
        const std::size_t at = input.find('\x01');
        if (at == std::string_view::npos) {
            break;
        }
        out.push_back(input.substr(0, at));
        input.remove_prefix(at + 1);
    }
    out.push_back(input);
    out.resize(pieces);
    return out;
}

// The four bytes at `at` as a big-endian number; bytes past the end count as 0.
inline std::uint32_t u32At(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value =
            value << 8 | (at + i < bytes.size() ? static_cast<unsigned char>(bytes[at + i]) : 0);
    }
    return value;
}

}  // namespace nicops::fuzz

namespace nicops::fuzz {

// A folder of this process's own for the files a target writes, removed at exit: in memory
// (/dev/shm) where there is one, since every write of the settings file and the stores is
// synced to disk.
std::string scratchFolder();

}  // namespace nicops::fuzz
