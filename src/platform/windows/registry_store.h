// The persisted TCP/IP settings in the Windows registry itself. Key texts name their root
// ("HKEY_LOCAL_MACHINE\SYSTEM\...\Interfaces\{GUID}"); multi-strings are stored as REG_MULTI_SZ
// through the ANSI registry functions, so GBK texts are converted with the system's ANSI code
// page (936 on a Chinese Windows, and under the tests' Wine).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/persisted_store.h"

namespace nicops::platform::windows {

class RegistryStore final : public PersistedStore {
public:
    // RegCreateKeyA, then RegSetValueExA with REG_MULTI_SZ and the encoded bytes, RegCloseKey;
    // true exactly when RegSetValueExA answered 0. The key is not flushed.
    bool writeMultiString(const std::string& keyText, const std::string& valueName,
                          const std::string& text) override;
    // RegOpenKeyA, RegQueryValueExA for the size, then into a zero-filled buffer of that size,
    // RegCloseKey; the bytes it returned, decoded whatever the value's type.
    std::string readMultiString(const std::string& keyText, const std::string& valueName) override;
    // RegOpenKeyExA (read access), the same two queries; a REG_SZ up to its first zero byte, a
    // REG_EXPAND_SZ expanded by ExpandEnvironmentStringsA; "" for other types.
    std::string readTextValue(std::uint32_t root, const std::string& path) override;
    // A refusal with its decimal answer code. A key or value that does not exist is no error:
    // most adapters have no stored values.
    std::string lastError() const override;

private:
    void setError(std::string error);

    mutable std::mutex mutex_;
    std::string lastError_;
};

}  // namespace nicops::platform::windows
