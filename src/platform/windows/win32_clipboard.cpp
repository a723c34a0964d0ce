#include "platform/windows/win32_clipboard.h"

#include <windows.h>

#include <cstring>

#include "text/codepage.h"

namespace nicops::platform::windows {

namespace {

// Movable, zero-filled global memory holding `bytes` bytes of `data` and a terminating zero of
// `zeroBytes` bytes; nullptr when it can't be had (nothing is left allocated then).
HGLOBAL globalCopy(const void* data, std::size_t bytes, std::size_t zeroBytes) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes + zeroBytes);
    if (memory == nullptr) {
        return nullptr;
    }
    void* target = GlobalLock(memory);
    if (target == nullptr) {
        GlobalFree(memory);
        return nullptr;
    }
    if (bytes != 0) {
        std::memcpy(target, data, bytes);
    }
    GlobalUnlock(memory);
    return memory;
}

// Hands `memory` over as `format`; on a failure the memory is still ours and freed here.
bool handOver(UINT format, HGLOBAL memory) {
    if (SetClipboardData(format, memory) != nullptr) {
        return true;  // the clipboard owns it now
    }
    GlobalFree(memory);
    return false;
}

}  // namespace

bool Win32Clipboard::setText(const std::string& gbk) {
    const std::u16string utf16 = text::gbkToUtf16(gbk);  // before the clipboard is held
    // No owner window: EmptyClipboard then leaves the clipboard without an owner, which
    // SetClipboardData accepts for data handed over at once (nothing is rendered later).
    if (OpenClipboard(nullptr) == FALSE) {
        return false;
    }
    bool ok = EmptyClipboard() != FALSE;
    HGLOBAL ansi = ok ? globalCopy(gbk.data(), gbk.size(), 1) : nullptr;
    HGLOBAL wide = ansi != nullptr
                       ? globalCopy(utf16.data(), utf16.size() * sizeof(char16_t), sizeof(char16_t))
                       : nullptr;
    if (wide == nullptr) {
        if (ansi != nullptr) {
            GlobalFree(ansi);
        }
        ok = false;
    } else if (!handOver(CF_TEXT, ansi)) {
        GlobalFree(wide);
        ok = false;
    } else {
        ok = handOver(CF_UNICODETEXT, wide);
    }
    CloseClipboard();
    return ok;
}

std::unique_ptr<Clipboard> makeSystemClipboard() {
    return std::make_unique<Win32Clipboard>();
}

}  // namespace nicops::platform::windows
