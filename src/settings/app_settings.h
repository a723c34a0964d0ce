// The user settings: the settings file's section and keys, their defaults, how they are read,
// and the process-wide copy that the settings window changes while worker threads read it.
// Where the file lives is the platform's business (platform/settings_folder.h).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

namespace nicops::settings {

// The one section of UserConfig.ini and its keys.
inline constexpr std::string_view kSettingsSection = "汐桉网卡操作";
inline constexpr std::string_view kLocationFormatKey = "IP地理位置查询格式";
inline constexpr std::string_view kCopyFormatKey = "网卡IP复制格式";
inline constexpr std::string_view kConnectTimeoutKey = "查询连接超时";
inline constexpr std::string_view kRequestTimeoutKey = "查询请求超时";
// Scheme, host and port of the external-address endpoint ("http://203.0.113.1:8080").
inline constexpr std::string_view kLookupServerKey = "查询服务器";
// How many lookups may be in flight at once (1: one after another).
inline constexpr std::string_view kLookupConcurrencyKey = "查询并发数";

inline constexpr std::string_view kDefaultLocationFormat = "{地区}{城市} {线路}";
inline constexpr std::string_view kDefaultCopyFormat = "{外网IP}:1080|mornlux|kvzt|{地理位置}";
inline constexpr std::string_view kDefaultTimeoutText = "1500";
inline constexpr std::string_view kDefaultLookupConcurrencyText = "1";

struct AppSettings {
    std::string iniPath;
    std::string iniSection{kSettingsSection};
    std::string locationFormat{kDefaultLocationFormat};
    std::string copyFormat{kDefaultCopyFormat};
    std::int32_t connectTimeoutMs = 1500;
    std::int32_t requestTimeoutMs = 1500;
    std::string lookupServer{};          // empty: no endpoint, lookups send nothing
    std::int32_t lookupConcurrency = 1;  // at least 1
};

// The endpoint the build was configured with (NICOPS_LOOKUP_SERVER; empty when not set): the
// default of the lookup-server key.
std::string_view defaultLookupServer();

// Reads the settings from the file (parsed once); every missing key, or a missing or
// unreadable file, gives its default. Nothing is created or written. A path that names no regular
// file (a folder, a FIFO, a device) or a file too large to be a settings file is not read, and
// `notice` (when given) is set to the log line that says so; otherwise it is left empty.
AppSettings loadSettings(const std::string& iniPath, std::string* notice = nullptr);

// The integer value of a settings text: surrounding spaces ignored, then the leading decimal
// number with an optional sign; 0 when no digit comes first ("2500ms" -> 2500, "abc" -> 0).
std::int32_t settingsInteger(std::string_view text);

// The settings as the running program sees them. Readers get a copy; a change installs a whole
// new value, so a worker never sees a half-changed settings record.
class SharedSettings {
public:
    SharedSettings() = default;
    explicit SharedSettings(AppSettings initial) : value_(std::move(initial)) {}

    AppSettings get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void set(AppSettings value) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }

private:
    mutable std::mutex mutex_;
    AppSettings value_;
};

}  // namespace nicops::settings
