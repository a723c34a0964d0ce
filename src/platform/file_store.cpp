#include "platform/file_store.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/atomic_file.h"
#include "platform/json_text.h"
#include "text/codepage.h"

namespace nicops::platform {

using nlohmann::json;

namespace {

// The store holds a few keys of a few values; anything bigger is not ours.
constexpr std::size_t kMaxStoreBytes = 64 * 1024 * 1024;
// key -> value -> {type, items|text}: three levels and an item list. A deeper file is refused
// before it is parsed, so a hostile one can't exhaust the stack.
constexpr int kMaxNesting = 16;

constexpr const char* kTypeField = "type";
constexpr const char* kMultiStringType = "multi-string";
constexpr const char* kStringType = "string";
constexpr const char* kItemsField = "items";
constexpr const char* kTextField = "text";

constexpr std::array<std::pair<std::uint32_t, const char*>, 5> kRoots = {{
    {kHkeyClassesRoot, "HKEY_CLASSES_ROOT"},
    {kHkeyCurrentUser, "HKEY_CURRENT_USER"},
    {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE"},
    {kHkeyUsers, "HKEY_USERS"},
    {kHkeyCurrentConfig, "HKEY_CURRENT_CONFIG"},
}};

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Key and value names compare as the registry compares them: ASCII letters without case. The
// names are UTF-8 here, where no byte of a multi-byte character is an ASCII letter.
bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

// The member of `object` with that name (exact spelling first); end() when there is none.
json::iterator findName(json& object, const std::string& name) {
    auto exact = object.find(name);
    if (exact != object.end()) {
        return exact;
    }
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (sameName(it.key(), name)) {
            return it;
        }
    }
    return object.end();
}

// The key text with its root spelled as kRoots spells it; empty when it names no root.
std::string canonicalKey(const std::string& keyText) {
    const std::size_t cut = keyText.find('\\');
    const std::string_view root = std::string_view(keyText).substr(0, cut);
    for (const auto& [number, name] : kRoots) {
        if (sameName(root, name)) {
            return cut == std::string::npos ? std::string(name) : name + keyText.substr(cut);
        }
    }
    return {};
}

std::vector<std::string> splitItems(const std::string& text) {
    std::vector<std::string> items;
    if (text.empty()) {
        return items;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find("\r\n", start);
        items.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            return items;
        }
        start = end + 2;
    }
}

#ifdef _WIN32
// Creates the folders above `path` that are missing.
bool makeParentFolders(const std::string& path, std::string& reason) {
    std::error_code error;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty() && !std::filesystem::create_directories(parent, error) && error) {
        reason = "cannot create " + parent.string() + ": " + error.message();
        return false;
    }
    return true;
}

// An exclusive lock on the file beside the store, held while it lives.
class WriterLock {
public:
    explicit WriterLock(const std::string& path) {
        file_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        OVERLAPPED whole{};
        if (file_ == INVALID_HANDLE_VALUE) {
            reason_ = "cannot open " + path + ": error " + std::to_string(GetLastError());
        } else if (LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) == 0) {
            reason_ = "cannot lock " + path + ": error " + std::to_string(GetLastError());
            CloseHandle(file_);
            file_ = INVALID_HANDLE_VALUE;
        }
    }
    ~WriterLock() {
        if (file_ != INVALID_HANDLE_VALUE) {
            CloseHandle(file_);  // releases the lock
        }
    }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

    bool held() const { return file_ != INVALID_HANDLE_VALUE; }
    const std::string& reason() const { return reason_; }

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::string reason_;
};
#else
// Creates the folders above `path` that are missing, each 0755.
bool makeParentFolders(const std::string& path, std::string& reason) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0755) == 0) {
            (void)::chmod(folder.c_str(), 0755);  // whatever the umask took away
        } else if (errno != EEXIST) {
            reason = "cannot create " + folder + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

// An exclusive lock on the file beside the store, held while it lives.
class WriterLock {
public:
    explicit WriterLock(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
        if (fd_ < 0) {
            const int openError = errno;
            struct stat st {};
            const bool exists = ::stat(path.c_str(), &st) == 0;
            reason_ = (exists ? "cannot open " : "cannot create ") + path + ": " +
                      std::strerror(openError);
            return;
        }
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                reason_ = "cannot lock " + path + ": " + std::strerror(errno);
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~WriterLock() {
        if (fd_ >= 0) {
            ::close(fd_);  // releases the lock
        }
    }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

    bool held() const { return fd_ >= 0; }
    const std::string& reason() const { return reason_; }

private:
    int fd_ = -1;
    std::string reason_;
};
#endif

// The whole store; nullopt (with `error` set) when the file can't be read or parsed. A missing
// file is an empty store.
std::optional<json> loadStore(const std::string& path, std::string& error) {
    std::string content;
    std::string reason;
    const std::string shown = "设置储存 " + text::utf8ToGbk(path);
    switch (readRegularFile(path, kMaxStoreBytes, content, &reason)) {
        case FileReadStatus::Ok:
            break;
        case FileReadStatus::Missing:
            return json::object();
        default:
            error = shown + " 无法读取：" + text::utf8ToGbk(reason);
            return std::nullopt;
    }
    if (jsonNestsDeeperThan(content, kMaxNesting)) {
        error = shown + " 无法解析：nests deeper than " + std::to_string(kMaxNesting) + " levels";
        return std::nullopt;
    }
    json store;
    try {
        store = json::parse(content);
    } catch (const json::exception& failure) {
        error = shown + " 无法解析：" + text::utf8ToGbk(failure.what());
        return std::nullopt;
    }
    if (!store.is_object()) {
        error = shown + " 无法解析：the top level is not an object";
        return std::nullopt;
    }
    return store;
}

}  // namespace

FileStore::FileStore(std::string path) : path_(std::move(path)) {}

std::string FileStore::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

void FileStore::setError(std::string error) {
    std::lock_guard lock(mutex_);
    lastError_ = std::move(error);
}

bool FileStore::writeMultiString(const std::string& keyText, const std::string& valueName,
                                 const std::string& text) {
    const std::string shown = "设置储存 " + text::utf8ToGbk(path_);
    const std::string key = canonicalKey(keyText);
    if (key.empty()) {
        setError(shown + " 无法写入：" + keyText + " does not begin with a root key");
        return false;
    }
    std::string reason;
    if (!makeParentFolders(path_, reason)) {
        setError(shown + " 无法写入：" + text::utf8ToGbk(reason));
        return false;
    }
    // Writers take turns and each re-reads the file under the lock, so none loses another's
    // value.
    const WriterLock lock(path_ + ".lock");
    if (!lock.held()) {
        setError(shown + " 无法写入：" + text::utf8ToGbk(lock.reason()));
        return false;
    }
    std::string error;
    auto store = loadStore(path_, error);
    if (!store) {
        setError(std::move(error));
        return false;  // a file we can't read is never replaced
    }
    json items = json::array();
    for (const std::string& item : splitItems(text)) {
        items.push_back(text::gbkToUtf8(item));
    }
    const std::string keyUtf8 = text::gbkToUtf8(key);
    const std::string nameUtf8 = text::gbkToUtf8(valueName);
    auto keyIt = findName(*store, keyUtf8);
    json& values = keyIt != store->end() && keyIt->is_object() ? *keyIt : (*store)[keyUtf8];
    if (!values.is_object()) {
        values = json::object();
    }
    auto valueIt = findName(values, nameUtf8);
    json& value = valueIt != values.end() ? *valueIt : values[nameUtf8];
    value = json{{kTypeField, kMultiStringType}, {kItemsField, std::move(items)}};
    const std::string content = store->dump(2, ' ', false, json::error_handler_t::replace) + "\n";
    if (!replaceFileAtomically(path_, content, &reason)) {
        setError(shown + " 无法写入：" + text::utf8ToGbk(reason));
        return false;
    }
    setError({});
    return true;
}

std::optional<std::string> FileStore::readValue(const std::string& keyText,
                                                const std::string& valueName, ValueType type) {
    std::string error;
    auto store = loadStore(path_, error);
    if (!store) {
        setError(std::move(error));
        return std::nullopt;
    }
    setError({});
    auto keyIt = findName(*store, text::gbkToUtf8(keyText));
    if (keyIt == store->end() || !keyIt->is_object()) {
        return std::nullopt;
    }
    auto valueIt = findName(*keyIt, text::gbkToUtf8(valueName));
    if (valueIt == keyIt->end() || !valueIt->is_object()) {
        return std::nullopt;
    }
    const json& value = *valueIt;
    const auto typeIt = value.find(kTypeField);
    const char* wanted = type == ValueType::MultiString ? kMultiStringType : kStringType;
    if (typeIt == value.end() || *typeIt != wanted) {
        return std::nullopt;
    }
    if (type == ValueType::Text) {
        const auto textIt = value.find(kTextField);
        if (textIt == value.end() || !textIt->is_string()) {
            return std::nullopt;
        }
        return text::utf8ToGbk(textIt->get<std::string>());
    }
    const auto itemsIt = value.find(kItemsField);
    if (itemsIt == value.end() || !itemsIt->is_array()) {
        return std::nullopt;
    }
    std::string joined;
    bool first = true;
    for (const json& item : *itemsIt) {
        if (!item.is_string()) {
            return std::nullopt;
        }
        if (!first) {
            joined += "\r\n";
        }
        first = false;
        joined += text::utf8ToGbk(item.get<std::string>());
    }
    return joined;
}

std::string FileStore::readMultiString(const std::string& keyText, const std::string& valueName) {
    const std::string key = canonicalKey(keyText);
    if (key.empty()) {
        setError({});
        return {};
    }
    const auto stored = readValue(key, valueName, ValueType::MultiString);
    // What a read of the registry's bytes gives: every item followed by CR LF, and one more.
    return stored ? decodeMultiString(encodeMultiString(*stored)) : std::string();
}

std::string FileStore::readTextValue(std::uint32_t root, const std::string& path) {
    const char* rootName = nullptr;
    for (const auto& [number, name] : kRoots) {
        if (number == root) {
            rootName = name;
        }
    }
    if (rootName == nullptr) {
        setError({});
        return {};
    }
    const std::size_t cut = path.rfind('\\');
    std::string key(rootName);
    if (cut != std::string::npos) {
        key.append(1, '\\').append(path, 0, cut);
    }
    const std::string valueName = cut == std::string::npos ? path : path.substr(cut + 1);
    return readValue(key, valueName, ValueType::Text).value_or(std::string());
}

}  // namespace nicops::platform
