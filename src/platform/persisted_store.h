// The persisted TCP/IP settings: typed values under key paths that outlive a restart (the
// registry on Windows, a file store elsewhere). Key texts begin with a root name
// ("HKEY_LOCAL_MACHINE\SYSTEM\...\Interfaces\" + adapter name); texts are GBK.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nicops::platform {

// The registry roots, by their numbers.
inline constexpr std::uint32_t kHkeyClassesRoot = 0x80000000U;
inline constexpr std::uint32_t kHkeyCurrentUser = 0x80000001U;
inline constexpr std::uint32_t kHkeyLocalMachine = 0x80000002U;
inline constexpr std::uint32_t kHkeyUsers = 0x80000003U;
inline constexpr std::uint32_t kHkeyCurrentConfig = 0x80000005U;

// Multi-string values as the registry holds them. Writing: every CR LF of the text becomes one
// zero byte, and two zero bytes end it ("" -> two zero bytes). Reading: every zero byte of the
// data becomes CR LF ("a\0b\0\0" -> "a\r\nb\r\n\r\n").
std::string encodeMultiString(std::string_view text);
std::string decodeMultiString(std::string_view bytes);

class PersistedStore {
public:
    virtual ~PersistedStore() = default;

    // Stores `text` (items separated by CR LF) as the multi-string value `valueName` of the key,
    // creating the key when missing. False when it could not be stored; lastError() says why.
    virtual bool writeMultiString(const std::string& keyText, const std::string& valueName,
                                  const std::string& text) = 0;
    // The value as a read of its registry bytes gives it (decodeMultiString); "" when the key
    // or the value can't be read.
    virtual std::string readMultiString(const std::string& keyText,
                                        const std::string& valueName) = 0;
    // A string value: `root` is one of the kHkey numbers, `path` the key path below it whose
    // last element is the value name. "" when it can't be read.
    virtual std::string readTextValue(std::uint32_t root, const std::string& path) = 0;

    // Why the latest failed write or read failed, as one GBK log line naming the store; "" when
    // nothing failed. A store that can't be parsed says so here and is never overwritten.
    virtual std::string lastError() const = 0;
};

}  // namespace nicops::platform
