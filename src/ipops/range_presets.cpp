#include "ipops/range_presets.h"

#include <array>

#include "platform/ini_file.h"
#include "text/base64.h"

namespace nicops::ipops {

namespace {

constexpr std::array<std::string_view, kPresetCount> kCircledNumbers = {"①", "②", "③",
                                                                        "④", "⑤", "⑥"};

bool validPreset(int n) {
    return n >= 1 && n <= kPresetCount;
}

}  // namespace

std::string presetKey(int n) {
    return validPreset(n) ? "预设" + std::to_string(n) : std::string();
}

std::string presetNumberText(int n) {
    return validPreset(n) ? std::string(kCircledNumbers[static_cast<std::size_t>(n - 1)])
                          : std::string();
}

std::string loadPresetText(const std::string& iniPath, std::string_view section, int n) {
    if (!validPreset(n)) {
        return {};
    }
    std::string bytes =
        text::base64Decode(platform::readIniString(iniPath, section, presetKey(n), ""));
    if (const std::size_t zero = bytes.find('\0'); zero != std::string::npos) {
        bytes.resize(zero);
    }
    return bytes;
}

bool savePresetText(const std::string& iniPath, std::string_view section, const std::string& key,
                    const std::string& text, std::string* error) {
    return platform::writeIniString(iniPath, section, key, text::base64Encode(text), error);
}

}  // namespace nicops::ipops
