// Where the settings file lives: the folder the platform gives per-user configuration (beside
// the program on Windows, the XDG folder elsewhere) unless --config names one, and the one place
// that makes that folder before the first write of a key.
#pragma once

#include <string>

namespace nicops::platform {

// $XDG_CONFIG_HOME/nicops, else ~/.config/nicops. The bytes of the environment are taken as
// they are. Empty when no home directory can be found.
std::string defaultConfigDirectory();

// configDir + "/UserConfig.ini" (just "UserConfig.ini" for an empty configDir).
std::string settingsFilePath(const std::string& configDir);

// Creates configDir and any missing parents (0700, as per-user configuration folders are). True
// when the folder exists afterwards. Meant for the first write of a key: start-up reads only and
// creates nothing.
bool createConfigDirectory(const std::string& configDir);

// The folder part of a settings file's path: up to its last '/' ("" when the path names no
// folder, or only the root). settingsFilePath always joins with '/', on Windows too, so a GBK
// trail byte 0x5C in a folder name is never taken for a separator.
std::string settingsFolderOf(const std::string& iniPath);

// Makes the folder the settings file at iniPath lives in, if it is missing. Every write of a
// key calls this first; reading never creates anything. True when the folder is there.
bool prepareSettingsFolder(const std::string& iniPath);

}  // namespace nicops::platform
