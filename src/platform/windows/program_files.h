// Files beside the running program: a library loaded by its full path, the program's own
// resources, and a hidden file written from an image when it is missing.
#pragma once

#include <span>
#include <string>

namespace nicops::platform::windows {

// The library folder\fileName (GBK), loaded by that full path; an empty folder means the
// program's own folder. Null when it can't be loaded. Never unloaded.
void* loadLibraryBesideProgram(const std::string& fileName, const std::string& folder = {});

// The exported function `name` of a loaded library; null when it has none.
void* libraryFunction(void* library, const char* name);

// The bytes of the running program's RCDATA resource `name`; empty when it has none.
std::span<const unsigned char> programResource(const char* name);

// When no file is at folder\fileName (GBK): writes `image` there (to a temporary file first,
// then moved into place, so no half-written file is ever seen; a file another process put there
// meanwhile is kept). Then the file's attributes become exactly hidden; that step may fail
// silently. False only when the missing file could not be written (an empty image counts as a
// failed write).
bool ensureHiddenFile(const std::string& folder, const std::string& fileName,
                      std::span<const unsigned char> image);

}  // namespace nicops::platform::windows
