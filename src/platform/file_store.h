// The persisted settings as one human-readable JSON file, for platforms without a registry.
// Keys are stored by their full key text, each value with its type; every write takes an
// exclusive lock on a file beside the store, re-reads it, changes one value and replaces the
// file atomically, so concurrent writers (threads or processes) never lose each other's values.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/persisted_store.h"

namespace nicops::platform {

inline constexpr const char* kDefaultStorePath = "/var/lib/nicops/store.json";

class FileStore final : public PersistedStore {
public:
    explicit FileStore(std::string path);

    bool writeMultiString(const std::string& keyText, const std::string& valueName,
                          const std::string& text) override;
    std::string readMultiString(const std::string& keyText, const std::string& valueName) override;
    std::string readTextValue(std::uint32_t root, const std::string& path) override;
    std::string lastError() const override;

    const std::string& path() const { return path_; }

private:
    enum class ValueType { MultiString, Text };
    // The stored value of that type, nullopt when it is missing, of another type, or the file
    // can't be read (lastError says why then).
    std::optional<std::string> readValue(const std::string& keyText, const std::string& valueName,
                                         ValueType type);
    void setError(std::string error);

    std::string path_;
    mutable std::mutex mutex_;
    std::string lastError_;
};

}  // namespace nicops::platform
