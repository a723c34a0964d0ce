#include "platform/windows/registry_store.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace nicops::platform::windows {

namespace {

constexpr std::array<std::pair<std::string_view, std::uint32_t>, 5> kRoots = {{
    {"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
    {"HKEY_CURRENT_USER", kHkeyCurrentUser},
    {"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
    {"HKEY_USERS", kHkeyUsers},
    {"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
}};

bool sameAsciiName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

HKEY rootKey(std::uint32_t number) {
    // The predefined keys are these numbers, sign-extended into a handle.
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(number)));
}

// The root of a key text and the sub-key path after its first backslash; nullopt when the
// text begins with no root name.
std::optional<std::pair<HKEY, std::string>> splitKey(const std::string& keyText) {
    const std::size_t cut = keyText.find('\\');
    const std::string_view rootName = std::string_view(keyText).substr(0, cut);
    for (const auto& [name, number] : kRoots) {
        if (sameAsciiName(rootName, name)) {
            return std::pair{rootKey(number),
                             cut == std::string::npos ? std::string() : keyText.substr(cut + 1)};
        }
    }
    return std::nullopt;
}

bool isMissing(LONG answer) {
    return answer == ERROR_FILE_NOT_FOUND || answer == ERROR_PATH_NOT_FOUND;
}

// The value's bytes as RegQueryValueExA returns them: a size query, then a zero-filled buffer
// of that size. nullopt (with the answer) when either call fails.
std::optional<std::string> queryValue(HKEY key, const std::string& valueName, DWORD& type,
                                      LONG& answer) {
    DWORD size = 0;
    answer = RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size);
    if (answer != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::vector<BYTE> buffer(size, 0);
    answer = RegQueryValueExA(key, valueName.c_str(), nullptr, &type,
                              size == 0 ? nullptr : buffer.data(), &size);
    if (answer != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(buffer.data()),
                       std::min<std::size_t>(size, buffer.size()));
}

std::string upToFirstZero(const std::string& bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

std::string failureLine(const std::string& where, const char* what, LONG answer) {
    return "注册表 " + where + " " + what + "：返回代码" + std::to_string(answer);
}

// The value of a key whose open answered `opened` (the key is then closed here), read by the two
// queries; nullopt when the key or the value can't be read. A refusal (not a missing key or
// value) sets `failure`, naming keyShown or valueShown.
std::optional<std::string> readOpenedValue(LONG opened, HKEY key, const std::string& valueName,
                                           const std::string& keyShown,
                                           const std::string& valueShown, DWORD& type,
                                           std::string& failure) {
    if (opened != ERROR_SUCCESS) {
        if (!isMissing(opened)) {
            failure = failureLine(keyShown, "无法打开", opened);
        }
        return std::nullopt;
    }
    LONG answer = ERROR_SUCCESS;
    auto bytes = queryValue(key, valueName, type, answer);
    RegCloseKey(key);
    if (!bytes && !isMissing(answer)) {
        failure = failureLine(valueShown, "无法读取", answer);
    }
    return bytes;
}

}  // namespace

std::string RegistryStore::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

void RegistryStore::setError(std::string error) {
    std::lock_guard lock(mutex_);
    lastError_ = std::move(error);
}

bool RegistryStore::writeMultiString(const std::string& keyText, const std::string& valueName,
                                     const std::string& text) {
    const auto split = splitKey(keyText);
    if (!split) {
        setError("注册表 " + keyText + " 无法写入：没有这个根键");
        return false;
    }
    HKEY key = nullptr;
    LONG answer = RegCreateKeyA(split->first, split->second.c_str(), &key);
    if (answer != ERROR_SUCCESS) {
        setError(failureLine(keyText, "无法打开", answer));
        return false;
    }
    const std::string bytes = encodeMultiString(text);
    answer = RegSetValueExA(key, valueName.c_str(), 0, REG_MULTI_SZ,
                            reinterpret_cast<const BYTE*>(bytes.data()),
                            static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    if (answer != ERROR_SUCCESS) {
        setError(failureLine(keyText + "\\" + valueName, "无法写入", answer));
        return false;
    }
    setError({});
    return true;
}

std::string RegistryStore::readMultiString(const std::string& keyText,
                                           const std::string& valueName) {
    setError({});
    const auto split = splitKey(keyText);
    if (!split) {
        return {};
    }
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyA(split->first, split->second.c_str(), &key);
    DWORD type = 0;
    std::string failure;
    const auto bytes =
        readOpenedValue(opened, key, valueName, keyText, keyText + "\\" + valueName, type, failure);
    setError(failure);
    return bytes ? decodeMultiString(*bytes) : std::string();
}

std::string RegistryStore::readTextValue(std::uint32_t root, const std::string& path) {
    setError({});
    bool known = false;
    for (const auto& entry : kRoots) {
        known = known || entry.second == root;
    }
    if (!known) {
        return {};
    }
    const std::size_t cut = path.rfind('\\');
    const std::string subKey = cut == std::string::npos ? std::string() : path.substr(0, cut);
    const std::string valueName = cut == std::string::npos ? path : path.substr(cut + 1);
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExA(rootKey(root), subKey.c_str(), 0, KEY_READ, &key);
    DWORD type = 0;
    std::string failure;
    const auto bytes = readOpenedValue(opened, key, valueName, path, path, type, failure);
    setError(failure);
    if (!bytes) {
        return {};
    }
    if (type == REG_SZ) {
        return upToFirstZero(*bytes);
    }
    if (type != REG_EXPAND_SZ) {
        return {};
    }
    const std::string unexpanded = upToFirstZero(*bytes);
    const DWORD needed = ExpandEnvironmentStringsA(unexpanded.c_str(), nullptr, 0);
    if (needed == 0) {
        return {};
    }
    // The size asked for may count characters where a double-byte one takes two bytes: room
    // for two bytes each.
    const DWORD room = needed * 2;
    std::vector<char> expanded(room, '\0');
    const DWORD written = ExpandEnvironmentStringsA(unexpanded.c_str(), expanded.data(), room);
    if (written == 0 || written > room) {
        return {};
    }
    return upToFirstZero(std::string(expanded.data(), expanded.size()));
}

}  // namespace nicops::platform::windows
