// The add dialog's six range presets: Base64 of the GBK range text under "预设1" … "预设6" in the
// settings file's section.
#pragma once

#include <string>
#include <string_view>

namespace nicops::ipops {

inline constexpr int kPresetCount = 6;

// "预设N" and the circled number "①" … "⑥" of preset n (1 … 6).
std::string presetKey(int n);
std::string presetNumberText(int n);

// The range text stored under preset n (up to its first zero byte); "" for a missing preset.
std::string loadPresetText(const std::string& iniPath, std::string_view section, int n);
// Stores `text` under `key`; false when the settings file could not be written (`error`, when
// given, says why, naming the file). The settings folder must exist (the caller creates it
// before the first write).
bool savePresetText(const std::string& iniPath, std::string_view section, const std::string& key,
                    const std::string& text, std::string* error = nullptr);

}  // namespace nicops::ipops
