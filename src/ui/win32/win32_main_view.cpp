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
#include "ui/win32/win32_dialogs.h"
#include "ui/win32/win32_form.h"

namespace nicops::ui::win32 {

namespace {

using inventory::AddressKind;

constexpr wchar_t kWindowClass[] = L"NicopsMainWindow";
// Many selection changes (a whole range selected) become one report to the presenter.
constexpr UINT kReportSelectionMessage = WM_APP + 2;
constexpr UINT kFirstMenuId = 2000;
constexpr COLORREF kLinkColour = RGB(0, 0, 255);

// The check boxes and the address kind each one shows.
constexpr std::pair<std::string_view, AddressKind> kKindBoxes[] = {
    {names::kCheckAddress, AddressKind::address},
    {names::kCheckGateway, AddressKind::gateway},
    {names::kCheckDhcp, AddressKind::dhcpServer},
    {names::kCheckPrimaryWins, AddressKind::primaryWins},
    {names::kCheckSecondaryWins, AddressKind::secondaryWins},
};

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
    registerWindowClass(instance_, &Win32MainView::windowProc);
    constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, kMainWindow.width, kMainWindow.height};
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    window_ = CreateWindowExW(0, kWindowClass, wide(kMainWindow.title).c_str(), kStyle,
                              kMainWindow.left, kMainWindow.top, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, instance_, this);
    calls_ = std::make_unique<Win32CallQueue>(window_);
    form_ = std::make_unique<Win32Form>(window_, kMainControls);
    if (form_->dpi() != 96) {
        RECT scaled{0, 0, form_->scaled(kMainWindow.width), form_->scaled(kMainWindow.height)};
        AdjustWindowRectEx(&scaled, kStyle, FALSE, 0);
        SetWindowPos(window_, nullptr, 0, 0, scaled.right - scaled.left, scaled.bottom - scaled.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    list_ = form_->control(names::kIpList);
    combo_ = form_->control(names::kAdapterCombo);
    log_ = form_->control(names::kLogBox);
    buildListView(list_);
    for (const ControlSpec& entry : kMainControls) {
        if (entry.name == names::kLogBox && entry.background != 0) {
            logColour_ = RGB((entry.background >> 16) & 0xFF, (entry.background >> 8) & 0xFF,
                             entry.background & 0xFF);
            logBrush_ = CreateSolidBrush(logColour_);
        }
    }
    buildListMenu();
}

Win32MainView::~Win32MainView() {
    if (window_ != nullptr) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    DestroyMenu(listMenu_);
    form_.reset();
    DeleteObject(logBrush_);
}

void Win32MainView::buildListView(HWND list) {
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
    int index = 0;
    for (const ColumnSpec& column : kIpListColumns) {
        std::wstring caption = wide(column.caption);
        LVCOLUMNW header{};
        header.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        header.cx = form_->scaled(column.width);  // 0 hides the column
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
        AppendMenuW(listMenu_, MF_STRING, id, wide(item.caption).c_str());
        menuItems_.emplace(std::string(item.caption), MenuItem{id});
        ++id;
    }
}

void Win32MainView::attach(MainPresenter& presenter) {
    presenter_ = &presenter;
}

void Win32MainView::setClipboard(std::unique_ptr<platform::Clipboard> clipboard) {
    clipboard_ = std::move(clipboard);
}

void Win32MainView::openAddDialog() {
    calls_->run([this] {
        if (presenter_ != nullptr) {
            Win32AddRangeDialog(*presenter_, window_).runModal();
        }
    });
}

void Win32MainView::openSettingsDialog() {
    calls_->run([this] {
        if (presenter_ != nullptr && clipboard_ != nullptr) {
            Win32SettingsDialog(*presenter_, *clipboard_, window_).runModal();
        }
    });
}

void Win32MainView::openTcpipDialog() {
    calls_->run([this] {
        if (presenter_ != nullptr) {
            Win32TcpipDialog(*presenter_, window_).runModal();
        }
    });
}

void Win32MainView::setCloseHandler(std::function<void()> handler) {
    closeHandler_ = std::move(handler);
}

void Win32MainView::show(int showCommand) {
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
}

HWND Win32MainView::controlWindow(std::string_view name) const {
    return form_->control(name);
}

bool Win32MainView::isLink(HWND control) const {
    ControlKind kind{};
    return form_ != nullptr && form_->kindOf(form_->nameOf(control), kind) &&
           kind == ControlKind::linkLabel;
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
        case WM_DPICHANGED: {
            // Moved to a monitor of another DPI: the layout again at the new scale, in the
            // frame the system proposes.
            form_->rescale(HIWORD(wParam));
            for (std::size_t c = 0; c < kIpListColumns.size(); ++c) {
                SendMessageW(list_, LVM_SETCOLUMNWIDTH, c, form_->scaled(kIpListColumns[c].width));
            }
            const auto* frame = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, frame->left, frame->top, frame->right - frame->left,
                         frame->bottom - frame->top, SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
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
            if (isLink(child)) {
                SetTextColor(dc, kLinkColour);
            }
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_SETCURSOR: {
            if (isLink(reinterpret_cast<HWND>(wParam))) {
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
    if (presenter_ == nullptr || form_ == nullptr) {
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
    const std::string_view name = form_->nameOf(id);
    HWND source = form_->control(name);
    ControlKind kind{};
    if (!form_->kindOf(name, kind)) {
        return;
    }
    switch (kind) {
        case ControlKind::pushButton:
            if (code == BN_CLICKED && name == names::kRefreshButton) {
                presenter_->refreshClicked();
            }
            break;
        case ControlKind::checkBox:
            if (code == BN_CLICKED) {
                const bool checked = SendMessageW(source, BM_GETCHECK, 0, 0) == BST_CHECKED;
                for (const auto& [box, kind] : kKindBoxes) {
                    if (box == name) {
                        presenter_->setKindChecked(kind, checked);
                    }
                }
            }
            break;
        case ControlKind::comboBox:
            if (code == CBN_SELCHANGE) {
                presenter_->adapterActivated(
                    static_cast<int>(SendMessageW(source, CB_GETCURSEL, 0, 0)));
            }
            break;
        case ControlKind::linkLabel:
            if (code == STN_CLICKED) {
                presenter_->openLink(name);
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
    HWND target = form_->control(name);
    if (target == nullptr) {
        return;
    }
    calls_->run(
        [window = target, converted = wide(text)] { SetWindowTextW(window, converted.c_str()); });
}

void Win32MainView::setControlEnabled(std::string_view name, bool enabled) {
    HWND target = form_->control(name);
    if (target != nullptr) {
        calls_->run([window = target, enabled] { EnableWindow(window, enabled); });
    }
}

void Win32MainView::setControlVisible(std::string_view name, bool visible) {
    HWND target = form_->control(name);
    if (target != nullptr) {
        calls_->run(
            [window = target, visible] { ShowWindow(window, visible ? SW_SHOW : SW_HIDE); });
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
