#include "platform/windows/program_files.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "text/codepage.h"

namespace nicops::platform::windows {

namespace {

std::wstring wide(const std::string& gbk) {
    const std::u16string text = text::gbkToUtf16(gbk);
    return std::wstring(text.begin(), text.end());
}

std::wstring programFolder() {
    std::vector<wchar_t> path(32768);
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) {
        return {};
    }
    std::wstring program(path.data(), length);
    const std::size_t slash = program.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : program.substr(0, slash);
}

std::wstring pathIn(const std::string& folder, const std::string& fileName) {
    std::wstring base = folder.empty() ? programFolder() : wide(folder);
    if (base.empty()) {
        return {};
    }
    if (base.back() != L'\\' && base.back() != L'/') {
        base += L'\\';
    }
    return base + wide(fileName);
}

bool writeAll(const std::wstring& path, std::span<const unsigned char> image) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < image.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(image.size() - done, 1 << 20));
        DWORD written = 0;
        ok = WriteFile(file, image.data() + done, chunk, &written, nullptr) != 0 && written > 0;
        done += written;
    }
    ok = CloseHandle(file) != 0 && ok;
    if (!ok) {
        DeleteFileW(path.c_str());
    }
    return ok;
}

}  // namespace

void* loadLibraryBesideProgram(const std::string& fileName, const std::string& folder) {
    const std::wstring path = pathIn(folder, fileName);
    if (path.empty()) {
        return nullptr;
    }
    // A full path: only that file is loaded, the DLL search order is not consulted.
    return reinterpret_cast<void*>(LoadLibraryW(path.c_str()));
}

void* libraryFunction(void* library, const char* name) {
    return library == nullptr
               ? nullptr
               : reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

std::span<const unsigned char> programResource(const char* name) {
    HMODULE program = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceA(program, name, MAKEINTRESOURCEA(10));  // RT_RCDATA
    if (found == nullptr) {
        return {};
    }
    HGLOBAL loaded = LoadResource(program, found);
    const DWORD size = SizeofResource(program, found);
    const void* bytes = loaded == nullptr ? nullptr : LockResource(loaded);
    if (bytes == nullptr || size == 0) {
        return {};
    }
    return {static_cast<const unsigned char*>(bytes), size};
}

bool ensureHiddenFile(const std::string& folder, const std::string& fileName,
                      std::span<const unsigned char> image) {
    const std::wstring path = pathIn(folder, fileName);
    if (path.empty()) {
        return false;
    }
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (image.empty()) {
            return false;
        }
        const std::wstring temporary =
            path + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
        if (!writeAll(temporary, image)) {
            return false;
        }
        if (MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH) == 0) {
            DeleteFileW(temporary.c_str());
            if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
                return false;
            }
        }
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
    return true;
}

}  // namespace nicops::platform::windows
