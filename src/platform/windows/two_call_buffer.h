// The size-query convention of the IP helper functions: a first call without a buffer answers a
// given code with the size it needs, a second call with a zero-filled buffer of that size answers
// 0. There is no retry: a size that grew between the two calls makes the second call fail, and
// the caller gets nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace nicops::platform::windows {

// The answer codes of the first call.
inline constexpr std::uint32_t kBufferOverflow = 111;      // GetAdaptersInfo, GetPerAdapterInfo
inline constexpr std::uint32_t kInsufficientBuffer = 122;  // GetInterfaceInfo

// A buffer aligned for the platform's records.
using RecordBuffer = std::vector<std::uint64_t>;

// `call(buffer, size)` makes one call: a null buffer asks for the size, which it stores in
// `size` (bytes). The filled buffer, or nullopt when either call answers otherwise.
template <class Call>
std::optional<RecordBuffer> fetchWithSizeQuery(std::uint32_t sizeAnswer, Call call) {
    unsigned long size = 0;
    if (call(nullptr, &size) != sizeAnswer || size == 0) {
        return std::nullopt;
    }
    RecordBuffer buffer((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t), 0);
    if (call(buffer.data(), &size) != 0) {
        return std::nullopt;
    }
    return buffer;
}

}  // namespace nicops::platform::windows
