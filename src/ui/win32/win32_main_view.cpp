#include "ui/win32/win32_main_view.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
// clang-format on

#include <algorithm>
#include <array>
#include <set>
#include <utility>

#include "inventory/snapshot.h"
#include "text/codepage.h"
#include "ui/main_presenter.h"
#include "ui/win32/win32_call_queue.h"

namespace nicops::ui::win32 {

namespace {

using inventory::AddressKind;

constexpr wchar_t kWindowClass[] = L"NicopsMainWindow";
// Many selection changes (a whole range selected) become one report to the presenter.
constexpr UINT kReportSelectionMessage = WM_APP + 2;
constexpr int kFirstControlId = 1000;
constexpr UINT kFirstMenuId = 2000;
// The windows' text height in pixels; the details report's text is as large as lets its 17
// lines fit the box.
constexpr int kTextPixels = 12;
constexpr int kDetailsLines = 17;
constexpr int kSmallestTextPixels = 8;
constexpr COLORREF kLinkColour = RGB(0, 0, 255);
// The drop-down list's height below the box, for its items.
constexpr int kComboDropPixels = 200;

// The check boxes and the address kind each one shows.
constexpr std::pair<std::string_view, AddressKind> kKindBoxes[] = {
    {names::kCheckAddress, AddressKind::address},
    {names::kCheckGateway, AddressKind::gateway},
    {names::kCheckDhcp, AddressKind::dhcpServer},
    {names::kCheckPrimaryWins, AddressKind::primaryWins},
    {names::kCheckSecondaryWins, AddressKind::secondaryWins},
};

// GBK text as the W functions take it.
std::wstring wide(std::string_view gbk) {
    const std::u16string utf16 = text::gbkToUtf16(gbk);
    return {utf16.begin(), utf16.end()};
}

template <class WideRow>
std::vector<WideRow> wideRows(const std::vector<IpListRow>& rows) {
    std::vector<WideRow> converted(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < converted[r].size(); ++c) {
            converted[r][c] = wide(rows[r].cells[c]);
        }
    }
    return converted;
}

bool registerWindowClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

Win32MainView::Win32MainView(HINSTANCE instance) : instance_(instance) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    registerWindowClass(instance_, &Win32MainView::windowProc);
    constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, kMainWindow.width, kMainWindow.height};
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    window_ = CreateWindowExW(0, kWindowClass, wide(kMainWindow.title).c_str(), kStyle,
                              kMainWindow.left, kMainWindow.top, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, instance_, this);
    calls_ = std::make_unique<Win32CallQueue>(window_);
    int id = kFirstControlId;
    for (const ControlSpec& entry : kMainControls) {
        buildControl(entry, id++);
    }
    buildListMenu();
}

Win32MainView::~Win32MainView() {
    if (window_ != nullptr) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    DestroyMenu(listMenu_);
    for (const auto& [family, font] : fonts_) {
        DeleteObject(font);
    }
    DeleteObject(logBrush_);
}

HFONT Win32MainView::fontFor(std::string_view family, int pixels) {
    const std::string key = std::string(family) + "/" + std::to_string(pixels);
    auto found = fonts_.find(key);
    if (found != fonts_.end()) {
        return found->second;
    }
    // Controls without a font of their own take the Chinese desktop's interface font.
    const std::wstring face = wide(family.empty() ? std::string_view("宋体") : family);
    LOGFONTW logFont{};
    logFont.lfHeight = -pixels;
    logFont.lfWeight = FW_NORMAL;
    logFont.lfCharSet = GB2312_CHARSET;
    logFont.lfQuality = CLEARTYPE_QUALITY;
    face.copy(logFont.lfFaceName, LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectW(&logFont);
    fonts_.emplace(key, font);
    return font;
}

HFONT Win32MainView::fittedFont(std::string_view family, int lines, int height) {
    HDC dc = GetDC(window_);
    HFONT font = nullptr;
    for (int pixels = kTextPixels; pixels >= kSmallestTextPixels; --pixels) {
        font = fontFor(family, pixels);
        const HGDIOBJ old = SelectObject(dc, font);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, old);
        if (lines * (metrics.tmHeight + metrics.tmExternalLeading) <= height) {
            break;
        }
    }
    ReleaseDC(window_, dc);
    return font;
}

void Win32MainView::buildControl(const ControlSpec& entry, int id) {
    DWORD style = WS_CHILD | (entry.hidden ? 0 : WS_VISIBLE);
    DWORD extended = 0;
    const wchar_t* windowClass = nullptr;
    int height = entry.height;
    switch (entry.kind) {
        case ControlKind::listView:
            windowClass = WC_LISTVIEWW;
            style |= LVS_REPORT | LVS_SHOWSELALWAYS | WS_TABSTOP;
            extended = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::label:
            windowClass = L"STATIC";
            style |= SS_LEFT;
            break;
        case ControlKind::linkLabel:
            windowClass = L"STATIC";
            style |= SS_LEFT | SS_NOTIFY;
            break;
        case ControlKind::comboBox:
            windowClass = WC_COMBOBOXW;
            style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
            height += kComboDropPixels;
            break;
        case ControlKind::pushButton:
            windowClass = L"BUTTON";
            style |= BS_PUSHBUTTON | WS_TABSTOP;
            break;
        case ControlKind::checkBox:
            windowClass = L"BUTTON";
            style |= BS_AUTOCHECKBOX | WS_TABSTOP;
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
        case ControlKind::ipv4Box:
        case ControlKind::lineEdit:
        case ControlKind::numberBox:
        case ControlKind::radioButton:
        case ControlKind::groupBox:
            return;  // the dialogs' kinds
    }
    HWND control =
        CreateWindowExW(extended, windowClass, wide(entry.caption).c_str(), style, entry.left,
                        entry.top, entry.width, height, window_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    const HFONT font = entry.kind == ControlKind::detailsBox
                           ? fittedFont(entry.fontFamily, kDetailsLines, entry.height)
                           : fontFor(entry.fontFamily, kTextPixels);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    switch (entry.kind) {
        case ControlKind::listView:
            list_ = control;
            buildListView(control);
            break;
        case ControlKind::comboBox:
            combo_ = control;
            break;
        case ControlKind::checkBox:
            SendMessageW(control, BM_SETCHECK, entry.checked ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case ControlKind::logBox:
            log_ = control;
            if (entry.background != 0) {
                logColour_ = RGB((entry.background >> 16) & 0xFF, (entry.background >> 8) & 0xFF,
                                 entry.background & 0xFF);
                logBrush_ = CreateSolidBrush(logColour_);
            }
            SendMessageW(control, EM_SETLIMITTEXT, 0, 0);  // no cap on the log
            break;
        default:
            break;
    }
    controls_.emplace(std::string(entry.name), Control{entry.kind, control});
    controlNames_.emplace(id, std::string(entry.name));
}

void Win32MainView::buildListView(HWND list) {
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
    int index = 0;
    for (const ColumnSpec& column : kIpListColumns) {
        std::wstring caption = wide(column.caption);
        LVCOLUMNW header{};
        header.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        header.cx = column.width;  // 0 hides the column
        header.pszText = caption.data();
        header.iSubItem = index;
        SendMessageW(list, LVM_INSERTCOLUMNW, index++, reinterpret_cast<LPARAM>(&header));
    }
}

void Win32MainView::buildListMenu() {
    listMenu_ = CreatePopupMenu();
    UINT id = kFirstMenuId;
    for (const MenuItemSpec& item : kListMenu) {
        if (item.caption.empty()) {
            AppendMenuW(listMenu_, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        AppendMenuW(listMenu_, MF_STRING | (offers(item.caption) ? MF_ENABLED : MF_GRAYED), id,
                    wide(item.caption).c_str());
        menuItems_.emplace(std::string(item.caption), MenuItem{id});
        ++id;
    }
}

void Win32MainView::attach(MainPresenter& presenter) {
    presenter_ = &presenter;
}

void Win32MainView::setCloseHandler(std::function<void()> handler) {
    closeHandler_ = std::move(handler);
}

void Win32MainView::show(int showCommand) {
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
}

HWND Win32MainView::controlWindow(std::string_view name) const {
    const Control* found = control(name);
    return found != nullptr ? found->window : nullptr;
}

const Win32MainView::Control* Win32MainView::control(std::string_view name) const {
    auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : &it->second;
}

LRESULT CALLBACK Win32MainView::windowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* view = reinterpret_cast<Win32MainView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (view == nullptr || view->calls_ == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return view->handle(message, wParam, lParam);
}

LRESULT Win32MainView::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kRunPendingMessage:
            calls_->runPending();
            return 0;
        case kReportSelectionMessage:
            reportSelection();
            return 0;
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_NOTIFY:
            return onNotify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(wParam) == list_) {
                POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
                if (lParam == -1) {  // from the keyboard: at the list's corner
                    at = {0, 0};
                    ClientToScreen(list_, &at);
                }
                TrackPopupMenu(listMenu_, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
                return 0;
            }
            break;
        case WM_CTLCOLORSTATIC: {
            auto dc = reinterpret_cast<HDC>(wParam);
            auto child = reinterpret_cast<HWND>(lParam);
            if (child == log_ && logBrush_ != nullptr) {
                SetBkColor(dc, logColour_);
                return reinterpret_cast<LRESULT>(logBrush_);
            }
            const int id = GetDlgCtrlID(child);
            auto name = controlNames_.find(id);
            if (name != controlNames_.end() &&
                controls_.at(name->second).kind == ControlKind::linkLabel) {
                SetTextColor(dc, kLinkColour);
            }
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_SETCURSOR: {
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(wParam));
            auto name = controlNames_.find(id);
            if (name != controlNames_.end() &&
                controls_.at(name->second).kind == ControlKind::linkLabel) {
                SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
                return TRUE;
            }
            break;
        }
        case WM_CLOSE:
            if (closeHandler_) {
                closeHandler_();
                return 0;
            }
            DestroyWindow(window_);
            return 0;
        case WM_DESTROY:
            window_ = nullptr;
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void Win32MainView::onCommand(UINT id, UINT code) {
    if (presenter_ == nullptr) {
        return;
    }
    if (id >= kFirstMenuId) {
        for (const auto& [caption, item] : menuItems_) {
            if (item.id != id) {
                continue;
            }
            MainPresenter& p = *presenter_;
            if (caption == menu::kProperties) {
                p.propertiesChosen();
            } else if (caption == menu::kAdd) {
                p.addChosen();
            } else if (caption == menu::kDelete) {
                p.deleteChosen();
            } else if (caption == menu::kCopyAll) {
                p.copyAllChosen();
            } else if (caption == menu::kLookup) {
                p.lookupChosen();
            } else if (caption == menu::kSettings) {
                p.settingsChosen();
            } else if (caption == menu::kAbout) {
                p.showAbout();
            }
        }
        return;
    }
    auto name = controlNames_.find(static_cast<int>(id));
    if (name == controlNames_.end()) {
        return;
    }
    const Control& source = controls_.at(name->second);
    switch (source.kind) {
        case ControlKind::pushButton:
            if (code == BN_CLICKED && name->second == names::kRefreshButton) {
                presenter_->refreshClicked();
            }
            break;
        case ControlKind::checkBox:
            if (code == BN_CLICKED) {
                const bool checked = SendMessageW(source.window, BM_GETCHECK, 0, 0) == BST_CHECKED;
                for (const auto& [box, kind] : kKindBoxes) {
                    if (box == name->second) {
                        presenter_->setKindChecked(kind, checked);
                    }
                }
            }
            break;
        case ControlKind::comboBox:
            if (code == CBN_SELCHANGE) {
                presenter_->adapterActivated(
                    static_cast<int>(SendMessageW(source.window, CB_GETCURSEL, 0, 0)));
            }
            break;
        case ControlKind::linkLabel:
            if (code == STN_CLICKED) {
                presenter_->openLink(name->second);
            }
            break;
        default:
            break;
    }
}

LRESULT Win32MainView::onNotify(const NMHDR& header) {
    if (header.hwndFrom != list_ || presenter_ == nullptr) {
        return 0;
    }
    if (header.code == LVN_COLUMNCLICK) {
        presenter_->sortIpList(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
    } else if (header.code == LVN_ITEMCHANGED && !filling_) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if ((change.uChanged & LVIF_STATE) != 0 &&
            ((change.uNewState ^ change.uOldState) & LVIS_SELECTED) != 0) {
            MSG waiting{};
            if (!PeekMessageW(&waiting, window_, kReportSelectionMessage, kReportSelectionMessage,
                              PM_NOREMOVE)) {
                PostMessageW(window_, kReportSelectionMessage, 0, 0);
            }
        }
    }
    return 0;
}

void Win32MainView::reportSelection() {
    if (presenter_ == nullptr) {
        return;
    }
    std::vector<std::size_t> rows;
    for (LRESULT at = SendMessageW(list_, LVM_GETNEXTITEM, -1, LVNI_SELECTED); at != -1;
         at = SendMessageW(list_, LVM_GETNEXTITEM, at, LVNI_SELECTED)) {
        rows.push_back(static_cast<std::size_t>(at));
    }
    presenter_->listSelectionChanged(std::move(rows));
}

void Win32MainView::fillList(const std::vector<WideRow>& rows) {
    filling_ = true;
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
    SendMessageW(list_, LVM_SETITEMCOUNT, rows.size(), 0);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(r);
        item.pszText = const_cast<wchar_t*>(rows[r][0].c_str());
        const auto at = static_cast<WPARAM>(
            SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        for (std::size_t c = 1; c < rows[r].size(); ++c) {
            LVITEMW cell{};
            cell.iSubItem = static_cast<int>(c);
            cell.pszText = const_cast<wchar_t*>(rows[r][c].c_str());
            SendMessageW(list_, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&cell));
        }
    }
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
    filling_ = false;
}

void Win32MainView::setWindowCaption(const std::string& caption) {
    calls_->run([this, text = wide(caption)] { SetWindowTextW(window_, text.c_str()); });
}

void Win32MainView::setControlText(std::string_view name, const std::string& text) {
    const Control* target = control(name);
    if (target == nullptr) {
        return;
    }
    calls_->run([window = target->window, converted = wide(text)] {
        SetWindowTextW(window, converted.c_str());
    });
}

void Win32MainView::setControlEnabled(std::string_view name, bool enabled) {
    const Control* target = control(name);
    if (target != nullptr) {
        calls_->run([window = target->window, enabled] { EnableWindow(window, enabled); });
    }
}

void Win32MainView::setControlVisible(std::string_view name, bool visible) {
    const Control* target = control(name);
    if (target != nullptr) {
        calls_->run([window = target->window, visible] {
            ShowWindow(window, visible ? SW_SHOW : SW_HIDE);
        });
    }
}

void Win32MainView::setMenuItemEnabled(std::string_view caption, bool enabled) {
    auto it = menuItems_.find(caption);
    if (it == menuItems_.end()) {
        return;
    }
    calls_->run([this, id = it->second.id, enabled] {
        EnableMenuItem(listMenu_, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    });
}

bool Win32MainView::offers(std::string_view menuItem) const {
    // The dialogs and the clipboard are not part of this window yet; their items stay disabled
    // rather than do nothing.
    return menuItem != menu::kProperties && menuItem != menu::kAdd && menuItem != menu::kCopyAll &&
           menuItem != menu::kSettings;
}

void Win32MainView::setComboItems(const std::vector<ComboItem>& items, int selected) {
    std::vector<std::pair<std::wstring, std::uint32_t>> converted;
    converted.reserve(items.size());
    for (const ComboItem& item : items) {
        converted.emplace_back(wide(item.text), item.adapterIndex);
    }
    calls_->run([this, converted = std::move(converted), selected] {
        SendMessageW(combo_, CB_RESETCONTENT, 0, 0);
        for (const auto& [text, index] : converted) {
            const LRESULT at =
                SendMessageW(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
            SendMessageW(combo_, CB_SETITEMDATA, static_cast<WPARAM>(at), index);
        }
        SendMessageW(combo_, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    });
}

void Win32MainView::setComboSelection(int selected) {
    calls_->run(
        [this, selected] { SendMessageW(combo_, CB_SETCURSEL, static_cast<WPARAM>(selected), 0); });
}

void Win32MainView::setListRows(const std::vector<IpListRow>& rows) {
    calls_->run([this, converted = wideRows<WideRow>(rows)] {
        fillList(converted);
        reportSelection();  // a refill clears the selection
    });
}

void Win32MainView::reorderListRows(const std::vector<IpListRow>& rows,
                                    const std::vector<std::size_t>& from) {
    calls_->run([this, converted = wideRows<WideRow>(rows), from] {
        std::set<std::size_t> selected;
        for (LRESULT at = SendMessageW(list_, LVM_GETNEXTITEM, -1, LVNI_SELECTED); at != -1;
             at = SendMessageW(list_, LVM_GETNEXTITEM, at, LVNI_SELECTED)) {
            selected.insert(static_cast<std::size_t>(at));
        }
        fillList(converted);
        filling_ = true;
        for (std::size_t row = 0; row < from.size() && row < converted.size(); ++row) {
            if (selected.count(from[row]) != 0) {
                LVITEMW state{};
                state.stateMask = LVIS_SELECTED;
                state.state = LVIS_SELECTED;
                SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
            }
        }
        filling_ = false;
        reportSelection();  // the same rows selected at their new positions
    });
}

void Win32MainView::appendLogText(const std::string& lines) {
    calls_->run([this, text = wide(lines)] {
        // At the very end whatever the user selected, then on to the newest line.
        const int end = GetWindowTextLengthW(log_);
        SendMessageW(log_, EM_SETSEL, end, end);
        SendMessageW(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
        SendMessageW(log_, EM_SCROLLCARET, 0, 0);
    });
}

void Win32MainView::showMessage(const std::string& text, const std::string& title,
                                MessageIcon icon) {
    calls_->run([this, text = wide(text), title = wide(title), icon] {
        MessageBoxW(window_, text.c_str(), title.c_str(),
                    MB_OK | (icon == MessageIcon::error ? MB_ICONERROR : MB_ICONINFORMATION));
    });
}

void Win32MainView::openUrl(const std::string& address) {
    calls_->run([this, url = wide(address)] {
        ShellExecuteW(window_, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    });
}

void Win32MainView::post(std::function<void()> task) {
    calls_->run(std::move(task));
}

}  // namespace nicops::ui::win32
