#include "settings/app_settings.h"

#include <algorithm>

#include "platform/ini_file.h"
#include "text/codepage.h"
#include "text/text_functions.h"

namespace nicops::settings {

std::string_view defaultLookupServer() {
#ifdef NICOPS_LOOKUP_SERVER
    return NICOPS_LOOKUP_SERVER;
#else
    return {};
#endif
}

std::int32_t settingsInteger(std::string_view text) {
    return text::textToInteger(text::trimSpaces(text));
}

AppSettings loadSettings(const std::string& iniPath, std::string* notice) {
    platform::FileReadStatus status = platform::FileReadStatus::Ok;
    const platform::IniFile ini = platform::IniFile::load(iniPath, &status);
    const char* reason = nullptr;
    switch (status) {
        case platform::FileReadStatus::IsDirectory:
            reason = "是文件夹";
            break;
        case platform::FileReadStatus::NotRegular:
            reason = "不是普通文件";
            break;
        case platform::FileReadStatus::TooLarge:
            reason = "大于 1 MiB";
            break;
        default:
            break;  // a missing or unreadable file quietly gives the defaults
    }
    if (notice != nullptr) {
        notice->clear();
        if (reason != nullptr) {
            *notice =
                "设置文件 " + text::utf8ToGbk(iniPath) + " " + reason + "，未读取，使用默认设置.";
        }
    }
    AppSettings s;
    s.iniPath = iniPath;
    s.iniSection = std::string(kSettingsSection);
    s.locationFormat = ini.get(kSettingsSection, kLocationFormatKey, kDefaultLocationFormat);
    s.copyFormat = ini.get(kSettingsSection, kCopyFormatKey, kDefaultCopyFormat);
    s.connectTimeoutMs =
        settingsInteger(ini.get(kSettingsSection, kConnectTimeoutKey, kDefaultTimeoutText));
    s.requestTimeoutMs =
        settingsInteger(ini.get(kSettingsSection, kRequestTimeoutKey, kDefaultTimeoutText));
    s.lookupServer = ini.get(kSettingsSection, kLookupServerKey, defaultLookupServer());
    s.lookupConcurrency =
        std::max<std::int32_t>(1, settingsInteger(ini.get(kSettingsSection, kLookupConcurrencyKey,
                                                          kDefaultLookupConcurrencyText)));
    return s;
}

}  // namespace nicops::settings
