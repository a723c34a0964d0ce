#include "ui/win32/win32_form.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <cstdio>

#include "ipops/ipv4_box.h"
#include "text/codepage.h"

namespace nicops::ui::win32 {

namespace {

// The details report's text is as large as lets its 17 lines fit the box.
constexpr int kDetailsLines = 17;
constexpr int kSmallestTextPixels = 8;
// The drop-down list's height below the box, for its items.
constexpr int kComboDropPixels = 200;

// A multi-line box takes every key in a dialog; the range box keeps Return (a new line) but
// leaves Tab to the dialog's navigation and Esc to its cancel.
LRESULT CALLBACK rangeBoxKeys(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                              DWORD_PTR /*data*/) {
    if (message == WM_GETDLGCODE) {
        LRESULT code = DefSubclassProc(box, message, wParam, lParam);
        const auto* key = reinterpret_cast<const MSG*>(lParam);
        if (key != nullptr && key->message == WM_KEYDOWN &&
            (key->wParam == VK_TAB || key->wParam == VK_ESCAPE)) {
            code &= ~(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE);
        } else if (key == nullptr) {
            code &= ~DLGC_WANTTAB;
        }
        return code;
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(box, &rangeBoxKeys, id);
    }
    return DefSubclassProc(box, message, wParam, lParam);
}

bool isCheckable(ControlKind kind) {
    return kind == ControlKind::checkBox || kind == ControlKind::radioButton;
}

}  // namespace

std::wstring wide(std::string_view gbk) {
    const std::u16string utf16 = text::gbkToUtf16(gbk);
    return {utf16.begin(), utf16.end()};
}

std::string gbk(const std::wstring& text) {
    return text::utf16ToGbk(std::u16string(text.begin(), text.end()));
}

std::string windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return gbk(text);
}

int Win32Form::windowDpi(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow =
        reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    const UINT dpi = getDpiForWindow != nullptr ? getDpiForWindow(window) : 0;
    return dpi != 0 ? static_cast<int>(dpi) : 96;
}

Win32Form::Win32Form(HWND window, std::span<const ControlSpec> controls, int dpi)
    : window_(window), dpi_(dpi != 0 ? dpi : windowDpi(window)) {
    INITCOMMONCONTROLSEX classes{
        sizeof classes, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_INTERNET_CLASSES};
    InitCommonControlsEx(&classes);
    UINT id = kFirstControlId;
    bool inRadioRun = false;
    for (const ControlSpec& entry : controls) {
        const ControlSpec* group = nullptr;
        for (const ControlSpec& other : controls) {
            if (!entry.parent.empty() && other.name == entry.parent) {
                group = &other;
            }
        }
        const bool radio = entry.kind == ControlKind::radioButton;
        // A run of radio buttons is one group; the control after it starts the next.
        build(entry, group, radio != inRadioRun || id == kFirstControlId, id);
        inRadioRun = radio;
        ++id;
    }
}

Win32Form::~Win32Form() {
    for (const auto& [name, control] : controls_) {
        if (IsWindow(control.window)) {
            SendMessageW(control.window, WM_SETFONT, 0, FALSE);
        }
    }
    for (const auto& [key, font] : fonts_) {
        DeleteObject(font);
    }
}

HFONT Win32Form::font(std::string_view family, int pixels) {
    const int height = scaled(pixels);
    const std::string key = std::string(family) + "/" + std::to_string(height);
    auto found = fonts_.find(key);
    if (found != fonts_.end()) {
        return found->second;
    }
    // Controls without a font of their own take the Chinese desktop's interface font.
    const std::wstring face = wide(family.empty() ? std::string_view("宋体") : family);
    LOGFONTW logFont{};
    logFont.lfHeight = -height;
    logFont.lfWeight = FW_NORMAL;
    logFont.lfCharSet = GB2312_CHARSET;
    logFont.lfQuality = CLEARTYPE_QUALITY;
    face.copy(logFont.lfFaceName, LF_FACESIZE - 1);
    HFONT made = CreateFontIndirectW(&logFont);
    fonts_.emplace(key, made);
    return made;
}

HFONT Win32Form::fittedFont(std::string_view family, int lines, int height) {
    HDC dc = GetDC(window_);
    HFONT fitted = nullptr;
    for (int pixels = kTextPixels; pixels >= kSmallestTextPixels; --pixels) {
        fitted = font(family, pixels);
        const HGDIOBJ old = SelectObject(dc, fitted);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, old);
        if (lines * (metrics.tmHeight + metrics.tmExternalLeading) <= scaled(height)) {
            break;
        }
    }
    ReleaseDC(window_, dc);
    return fitted;
}

void Win32Form::build(const ControlSpec& entry, const ControlSpec* group, bool startsGroup,
                      UINT id) {
    DWORD style = WS_CHILD | (entry.hidden ? 0 : WS_VISIBLE) | (startsGroup ? WS_GROUP : 0);
    DWORD extended = 0;
    const wchar_t* windowClass = L"STATIC";
    switch (entry.kind) {
        case ControlKind::listView:
            windowClass = WC_LISTVIEWW;
            style |= LVS_REPORT | LVS_SHOWSELALWAYS | WS_TABSTOP;
            extended = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::label:
            style |= SS_LEFT;
            break;
        case ControlKind::linkLabel:
            style |= SS_LEFT | SS_NOTIFY;
            break;
        case ControlKind::comboBox:
            windowClass = WC_COMBOBOXW;
            style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
            break;
        case ControlKind::pushButton:
            windowClass = L"BUTTON";
            style |= BS_PUSHBUTTON | WS_TABSTOP;
            break;
        case ControlKind::checkBox:
            windowClass = L"BUTTON";
            style |= BS_AUTOCHECKBOX | WS_TABSTOP;
            break;
        case ControlKind::radioButton:
            windowClass = L"BUTTON";
            // Only the group's first button is a tab stop; the arrow keys move inside the group.
            style |= BS_AUTORADIOBUTTON | (startsGroup ? WS_TABSTOP : 0);
            break;
        case ControlKind::groupBox:
            windowClass = L"BUTTON";
            style |= BS_GROUPBOX;
            break;
        case ControlKind::detailsBox:
            windowClass = L"EDIT";
            style |= ES_MULTILINE | ES_READONLY;
            break;
        case ControlKind::logBox:
            windowClass = L"EDIT";
            style |= ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER;
            break;
        case ControlKind::rangeBox:
            windowClass = L"EDIT";
            // Return starts a new line in the box instead of pressing the default button.
            style |= ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL |
                     WS_TABSTOP;
            extended = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::lineEdit:
            windowClass = L"EDIT";
            style |= ES_AUTOHSCROLL | WS_TABSTOP;
            extended = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::numberBox:
            windowClass = L"EDIT";
            style |= ES_CENTER | ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP;
            extended = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::ipv4Box:
            windowClass = WC_IPADDRESSW;
            style |= WS_TABSTOP;
            break;
    }
    const RECT place = placeOf(entry, group);
    const bool captioned = entry.kind != ControlKind::ipv4Box &&
                           entry.kind != ControlKind::comboBox &&
                           entry.kind != ControlKind::listView;
    HWND control = CreateWindowExW(
        extended, windowClass, captioned ? wide(entry.caption).c_str() : L"", style, place.left,
        place.top, place.right - place.left, place.bottom - place.top, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE)), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fontOf(entry)), FALSE);
    if (isCheckable(entry.kind)) {
        SendMessageW(control, BM_SETCHECK, entry.checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    if (entry.kind == ControlKind::rangeBox) {
        SetWindowSubclass(control, &rangeBoxKeys, 1, 0);
    }
    if (entry.kind == ControlKind::logBox) {
        SendMessageW(control, EM_SETLIMITTEXT, 0, 0);  // no cap on the log
    }
    controls_.emplace(std::string(entry.name), Control{entry.kind, control, id, &entry, group});
    names_.emplace(id, std::string(entry.name));
}

const Win32Form::Control* Win32Form::find(std::string_view name) const {
    auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : &it->second;
}

HWND Win32Form::control(std::string_view name) const {
    const Control* found = find(name);
    return found != nullptr ? found->window : nullptr;
}

bool Win32Form::kindOf(std::string_view name, ControlKind& kind) const {
    const Control* found = find(name);
    if (found != nullptr) {
        kind = found->kind;
    }
    return found != nullptr;
}

std::string_view Win32Form::nameOf(UINT id) const {
    auto it = names_.find(id);
    return it == names_.end() ? std::string_view() : std::string_view(it->second);
}

std::string_view Win32Form::nameOf(HWND control) const {
    return nameOf(static_cast<UINT>(GetDlgCtrlID(control)));
}

void Win32Form::setText(std::string_view name, const std::string& gbkText) {
    const Control* target = find(name);
    if (target == nullptr) {
        return;
    }
    if (target->kind == ControlKind::ipv4Box) {
        const std::string dotted = ipops::ipv4BoxText(gbkText);
        unsigned parts[4] = {};
        if (dotted.empty() || std::sscanf(dotted.c_str(), "%u.%u.%u.%u", &parts[0], &parts[1],
                                          &parts[2], &parts[3]) != 4) {
            SendMessageW(target->window, IPM_CLEARADDRESS, 0, 0);
        } else {
            SendMessageW(target->window, IPM_SETADDRESS, 0,
                         MAKEIPADDRESS(parts[0], parts[1], parts[2], parts[3]));
        }
        return;
    }
    SetWindowTextW(target->window, wide(gbkText).c_str());
}

std::string Win32Form::text(std::string_view name) const {
    const Control* target = find(name);
    if (target == nullptr) {
        return {};
    }
    if (target->kind == ControlKind::ipv4Box) {
        if (SendMessageW(target->window, IPM_ISBLANK, 0, 0) != 0) {
            return {};
        }
        return ipops::ipv4BoxText(windowText(target->window));
    }
    // A multi-line edit control's lines already end in CR LF.
    return windowText(target->window);
}

void Win32Form::setChecked(std::string_view name, bool checkedNow) {
    const Control* target = find(name);
    if (target != nullptr && isCheckable(target->kind)) {
        SendMessageW(target->window, BM_SETCHECK, checkedNow ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

bool Win32Form::checked(std::string_view name) const {
    const Control* target = find(name);
    return target != nullptr && isCheckable(target->kind) &&
           SendMessageW(target->window, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

RECT Win32Form::placeOf(const ControlSpec& entry, const ControlSpec* group) const {
    const int left = group != nullptr ? group->left + entry.left : entry.left;
    const int top = group != nullptr ? group->top + entry.top : entry.top;
    // A drop-down list's height includes its open list.
    const int height = entry.height + (entry.kind == ControlKind::comboBox ? kComboDropPixels : 0);
    return {scaled(left), scaled(top), scaled(left) + scaled(entry.width),
            scaled(top) + scaled(height)};
}

HFONT Win32Form::fontOf(const ControlSpec& entry) {
    return entry.kind == ControlKind::detailsBox
               ? fittedFont(entry.fontFamily, kDetailsLines, entry.height)
               : font(entry.fontFamily, kTextPixels);
}

void Win32Form::rescale(int dpi) {
    if (dpi <= 0 || dpi == dpi_) {
        return;
    }
    dpi_ = dpi;
    // The fonts of the old scale go once every control holds one of the new.
    std::map<std::string, HFONT, std::less<>> old;
    old.swap(fonts_);
    for (const auto& [name, control] : controls_) {
        const RECT place = placeOf(*control.entry, control.group);
        SetWindowPos(control.window, nullptr, place.left, place.top, place.right - place.left,
                     place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(control.window, WM_SETFONT, reinterpret_cast<WPARAM>(fontOf(*control.entry)),
                     TRUE);
    }
    for (const auto& [key, font] : old) {
        DeleteObject(font);
    }
}

}  // namespace nicops::ui::win32
