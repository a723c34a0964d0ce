// The controls of one layout table as native Windows controls: each row becomes its control in
// the given window, where and as the row says, kept by its object name, so a window (the main
// window, a dialog) looks its controls up and hears of their events by name. The table's pixels
// are the layout at 96 DPI; they are scaled by the window's DPI (MulDiv(px, dpi, 96)). Texts are
// GBK and cross to UTF-16 through the code-page module; only W functions are called.
#pragma once

#include <windows.h>

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0  // older SDK headers lack it
#endif

#include <map>
#include <span>
#include <string>
#include <string_view>

#include "ui/layout_tables.h"

namespace nicops::ui::win32 {

class Win32Form {
public:
    static constexpr int kFirstControlId = 1000;
    // The windows' text height in pixels at 96 DPI.
    static constexpr int kTextPixels = 12;

    // Builds a control for each row of `controls` in `window`'s client area, with the ids
    // kFirstControlId, kFirstControlId + 1, … in the table's order. A row naming a group box
    // sits inside it (its geometry relative to the box), a hidden row stays hidden, check boxes
    // and radio buttons start as the row checks them, each run of radio buttons is one group.
    // `dpi` 0: the window's own DPI.
    Win32Form(HWND window, std::span<const ControlSpec> controls, int dpi = 0);
    ~Win32Form();
    Win32Form(const Win32Form&) = delete;
    Win32Form& operator=(const Win32Form&) = delete;

    // The DPI of `window` (GetDpiForWindow where the system has it), else 96.
    static int windowDpi(HWND window);
    int dpi() const { return dpi_; }
    // A length of the layout tables in this form's pixels.
    int scaled(int pixels) const { return MulDiv(pixels, dpi_, 96); }
    // The window moved to a monitor of another DPI (WM_DPICHANGED): every control placed and
    // given its font again at `dpi`.
    void rescale(int dpi);

    // The control of this name; nullptr for none.
    HWND control(std::string_view name) const;
    // The kind of the control of this name; false for none.
    bool kindOf(std::string_view name, ControlKind& kind) const;
    // The object name of the control with this id or window; "" for none.
    std::string_view nameOf(UINT id) const;
    std::string_view nameOf(HWND control) const;

    // The control's text as FormView means it: a box's content (a multi-line box's lines
    // separated by CR LF), an IPv4 address box's dotted text through ipops::ipv4BoxText ("" when
    // blank), a caption otherwise.
    void setText(std::string_view name, const std::string& gbk);
    std::string text(std::string_view name) const;
    void setChecked(std::string_view name, bool checked);
    bool checked(std::string_view name) const;

    // The font of `family` ("" for the windows' own) at `pixels` (96 DPI), kept by the form.
    HFONT font(std::string_view family, int pixels);

private:
    struct Control {
        ControlKind kind;
        HWND window;
        UINT id;
        const ControlSpec* entry;
        const ControlSpec* group;  // the group box the control sits in, or nullptr
    };

    void build(const ControlSpec& entry, const ControlSpec* group, bool startsGroup, UINT id);
    // Where the row's control goes in this form's pixels, and its font.
    RECT placeOf(const ControlSpec& entry, const ControlSpec* group) const;
    HFONT fontOf(const ControlSpec& entry);
    // The largest font of `family` in which `lines` lines fit `height` pixels.
    HFONT fittedFont(std::string_view family, int lines, int height);
    const Control* find(std::string_view name) const;

    HWND window_;
    int dpi_;
    std::map<std::string, Control, std::less<>> controls_;
    std::map<UINT, std::string> names_;
    std::map<std::string, HFONT, std::less<>> fonts_;
};

// GBK text as the W functions take it, and back.
std::wstring wide(std::string_view gbk);
std::string gbk(const std::wstring& text);
// A window's text in GBK.
std::string windowText(HWND window);

}  // namespace nicops::ui::win32
