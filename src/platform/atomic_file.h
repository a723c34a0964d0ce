// Replacing a file as a whole: the new content goes to a temporary file in the same folder, is
// flushed to disk and renamed over the old file, so a reader (or a crash) sees either the old
// file or the new one, never half of either.
#pragma once

#include <string>
#include <string_view>

namespace nicops::platform {

// True on success; on failure the old file is untouched and `error` (when given) says why.
bool replaceFileAtomically(const std::string& path, std::string_view content,
                           std::string* error = nullptr);

// The whole file, or false when it can't be read.
bool readWholeFile(const std::string& path, std::string& content, std::string* error = nullptr);

}  // namespace nicops::platform
