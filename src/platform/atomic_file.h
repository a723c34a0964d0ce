// Whole files. Replacing one: the new content goes to a temporary file in the same folder, is
// flushed to disk and renamed over the old file, so a reader (or a crash, or a kill) sees either
// the old file or the new one, never half of either. A writer ended between creating its
// temporary file ("NAME.tmp-…") and the rename leaves that file behind; the next replacement of
// the same file removes it (a live writer's temporary file is never taken for one). Reading one:
// only a regular file is read, up to a size cap, so a FIFO, a device or a directory named by
// mistake never blocks or floods the program.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nicops::platform {

// True on success; on failure the old file is untouched and `error` (when given) says why.
bool replaceFileAtomically(const std::string& path, std::string_view content,
                           std::string* error = nullptr);

enum class FileReadStatus {
    Ok,
    Missing,      // no such file
    Unreadable,   // it exists but can't be opened or read (permissions, I/O error)
    IsDirectory,  // a folder
    NotRegular,   // a FIFO, a device, a socket
    TooLarge,     // more than the cap allows
};

// The whole regular file at path (symbolic links followed) when it holds at most maxBytes;
// `content` is empty unless the status is Ok. Never blocks on a FIFO. `reason` (when given) says
// what went wrong, without the path.
FileReadStatus readRegularFile(const std::string& path, std::size_t maxBytes, std::string& content,
                               std::string* reason = nullptr);

// The whole file (a regular file of at most 256 MiB), or false with `error` saying why.
bool readWholeFile(const std::string& path, std::string& content, std::string* error = nullptr);

}  // namespace nicops::platform
