// The desktop's clipboard for the window tests, handing text over in the Unicode form as the
// program's own one does, and reading back what the clipboard holds.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

#include "platform/clipboard.h"
#include "ui/win32/win32_form.h"

namespace nicops::ui::win32 {

// The desktop's clipboard, as the program's own one hands text over (Unicode form).
class DesktopClipboard final : public platform::Clipboard {
public:
    bool setText(const std::string& gbkText) override {
        const std::wstring text = wide(gbkText);
        if (!OpenClipboard(nullptr)) {
            return false;
        }
        EmptyClipboard();
        const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
        std::memcpy(GlobalLock(memory), text.c_str(), bytes);
        GlobalUnlock(memory);
        const bool set = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        CloseClipboard();
        return set;
    }
    static std::string text() {
        std::string result;
        if (OpenClipboard(nullptr)) {
            if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
                result = gbk(static_cast<const wchar_t*>(GlobalLock(data)));
                GlobalUnlock(data);
            }
            CloseClipboard();
        }
        return result;
    }
};

}  // namespace nicops::ui::win32
