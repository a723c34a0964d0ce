// The HTTP library the lookup works through: the few curl functions it calls, as one table. The
// Linux build fills it from the linked libcurl; the Windows build from "Libcurl.dll" beside the
// program, loaded by its full path the first time the table is asked for.
#pragma once

#include <curl/curl.h>

#include <string>

namespace nicops::external {

struct HttpLibrary {
    decltype(&curl_global_init) globalInit;
    decltype(&curl_easy_init) easyInit;
    decltype(&curl_easy_setopt) easySetopt;
    decltype(&curl_easy_perform) easyPerform;
    decltype(&curl_easy_getinfo) easyGetinfo;
    decltype(&curl_easy_cleanup) easyCleanup;
    decltype(&curl_multi_init) multiInit;
    decltype(&curl_multi_add_handle) multiAddHandle;
    decltype(&curl_multi_remove_handle) multiRemoveHandle;
    decltype(&curl_multi_perform) multiPerform;
    decltype(&curl_multi_info_read) multiInfoRead;
    decltype(&curl_multi_poll) multiPoll;
    decltype(&curl_multi_cleanup) multiCleanup;
};

// The table, every entry set, with curl_global_init already called once; null when the library
// can't be loaded or lacks one of the functions (every lookup then fails). Thread-safe.
const HttpLibrary* httpLibrary();

#ifdef _WIN32
// The library's file in the program's folder.
inline constexpr const char* kHttpLibraryFileName = "Libcurl.dll";

// Start-up on Windows: writes the image the program carries to folder + "\Libcurl.dll" (an
// empty folder: the program's own) when no file is there, then sets that file's attributes to
// exactly hidden (a file already there, a read-only one too, stays as it is but for that). False
// only when the missing file could not be written; the program then shows "缺少 Libcurl.dll" and
// ends.
bool ensureHttpLibrary(const std::string& folder);
#endif

}  // namespace nicops::external
