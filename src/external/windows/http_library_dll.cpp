// The Windows build reaches the HTTP library through "Libcurl.dll" beside the program: loaded by
// its full path on first use, its functions looked up by name. The program carries the DLL's
// image (the resource "LIBCURL_DLL") and writes it at start-up when the file is missing.
#include <type_traits>

#include "external/http_library.h"
#include "platform/windows/program_files.h"

namespace nicops::external {

namespace {

// The table from the loaded DLL; null when a function is missing or the library won't start.
const HttpLibrary* loadTable() {
    void* dll = platform::windows::loadLibraryBesideProgram(kHttpLibraryFileName);
    if (dll == nullptr) {
        return nullptr;
    }
    static HttpLibrary table{};
    bool complete = true;
    const auto take = [&](auto& entry, const char* name) {
        void* function = platform::windows::libraryFunction(dll, name);
        entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(function);
        complete = complete && function != nullptr;
    };
    take(table.globalInit, "curl_global_init");
    take(table.easyInit, "curl_easy_init");
    take(table.easySetopt, "curl_easy_setopt");
    take(table.easyPerform, "curl_easy_perform");
    take(table.easyGetinfo, "curl_easy_getinfo");
    take(table.easyCleanup, "curl_easy_cleanup");
    take(table.multiInit, "curl_multi_init");
    take(table.multiAddHandle, "curl_multi_add_handle");
    take(table.multiRemoveHandle, "curl_multi_remove_handle");
    take(table.multiPerform, "curl_multi_perform");
    take(table.multiInfoRead, "curl_multi_info_read");
    take(table.multiPoll, "curl_multi_poll");
    take(table.multiCleanup, "curl_multi_cleanup");
    if (!complete || table.globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        return nullptr;
    }
    return &table;
}

}  // namespace

const HttpLibrary* httpLibrary() {
    static const HttpLibrary* const loaded = loadTable();
    return loaded;
}

bool ensureHttpLibrary(const std::string& folder) {
    return platform::windows::ensureHiddenFile(folder, kHttpLibraryFileName,
                                               platform::windows::programResource("LIBCURL_DLL"));
}

}  // namespace nicops::external
