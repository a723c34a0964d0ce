// What the fuzz targets share: a property check that stops the run with the failed condition,
// in every build (assert would vanish under NDEBUG), and the input as text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

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

}  // namespace nicops::fuzz

namespace nicops::fuzz {

// A folder of this process's own for the files a target writes, removed at exit: in memory
// (/dev/shm) where there is one, since every write of the settings file and the stores is
// synced to disk.
std::string scratchFolder();

}  // namespace nicops::fuzz
