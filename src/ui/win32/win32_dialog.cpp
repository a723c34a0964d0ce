#include "ui/win32/win32_dialog.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <utility>

namespace nicops::ui::win32 {

namespace {

constexpr wchar_t kDialogClass[] = L"NicopsDialog";
// A FormView call from the thread of runAside; lParam: the std::function to run.
constexpr UINT kRunCallMessage = WM_APP + 10;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

bool registerDialogClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kDialogClass;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool isButton(ControlKind kind) {
    return kind == ControlKind::pushButton || kind == ControlKind::checkBox ||
           kind == ControlKind::radioButton;
}

bool isBox(ControlKind kind) {
    return kind == ControlKind::rangeBox || kind == ControlKind::lineEdit ||
           kind == ControlKind::numberBox;
}

}  // namespace

Win32Dialog::Win32Dialog(const WindowSpec& windowRow, std::span<const ControlSpec> controls,
                         HWND owner, std::string_view defaultButton, int dpi)
    : owner_(owner) {
    const auto instance = GetModuleHandleW(nullptr);
    registerDialogClass(instance, &Win32Dialog::windowProc);
    const int scale = dpi != 0 ? dpi : (owner != nullptr ? Win32Form::windowDpi(owner) : 96);
    RECT frame{0, 0, MulDiv(windowRow.width, scale, 96), MulDiv(windowRow.height, scale, 96)};
    AdjustWindowRectEx(&frame, kStyle, FALSE, WS_EX_DLGMODALFRAME);
    POINT at{MulDiv(windowRow.left, scale, 96), MulDiv(windowRow.top, scale, 96)};
    if (owner != nullptr) {
        ClientToScreen(owner, &at);  // the table places it over its owner
    }
    window_ =
        CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kDialogClass,
                        wide(windowRow.title).c_str(), kStyle, at.x, at.y, frame.right - frame.left,
                        frame.bottom - frame.top, owner, nullptr, instance, this);
    if (window_ == nullptr) {
        return;
    }
    form_ = std::make_unique<Win32Form>(window_, controls, scale);
    if (HWND button = form_->control(defaultButton)) {
        defaultId_ = static_cast<UINT>(GetDlgCtrlID(button));
        SendMessageW(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, FALSE);
    }
}

Win32Dialog::~Win32Dialog() {
    finishAside();
    if (window_ != nullptr) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        hide(false);
        HWND window = std::exchange(window_, nullptr);
        form_.reset();
        DestroyWindow(window);
    }
}

LRESULT CALLBACK Win32Dialog::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || self->form_ == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

LRESULT Win32Dialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kRunCallMessage:
            (*reinterpret_cast<const std::function<void()>*>(lParam))();
            return 0;
        case DM_GETDEFID:
            return defaultId_ != 0 ? MAKELRESULT(defaultId_, DC_HASDEFID) : 0;
        case WM_COMMAND: {
            const UINT id = LOWORD(wParam);
            if (id == IDCANCEL) {
                hide(false);
                return 0;
            }
            if (lParam == 0 && HIWORD(wParam) == 0 && form_->nameOf(id).empty()) {
                menuCommand(id);
                return 0;
            }
            auto click = clicks_.find(id);
            if (click != clicks_.end() && HIWORD(wParam) == BN_CLICKED) {
                const auto event = click->second;  // the event may close the dialog
                event();
            }
            return 0;
        }
        case WM_CONTEXTMENU: {
            const std::string_view name = form_->nameOf(reinterpret_cast<HWND>(wParam));
            if (!name.empty()) {
                POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
                if (lParam == -1) {  // from the keyboard: at the control's corner
                    at = {0, 0};
                    ClientToScreen(reinterpret_cast<HWND>(wParam), &at);
                }
                contextMenu(name, at);
                return 0;
            }
            break;
        }
        case WM_CTLCOLORSTATIC:
            // Labels are transparent over the dialog's face.
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        case WM_DPICHANGED: {
            // Moved to a monitor of another DPI: the layout again at the new scale.
            form_->rescale(HIWORD(wParam));
            const auto* frame = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, frame->left, frame->top, frame->right - frame->left,
                         frame->bottom - frame->top, SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_CLOSE:
            hide(false);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void Win32Dialog::hide(bool finished) {
    if (!finished && busy_) {
        return;  // not cancelled while its work runs
    }
    if (window_ == nullptr || !IsWindowVisible(window_)) {
        if (finished) {
            finished_ = true;
        }
        return;
    }
    finished_ = finished;
    // The owner first, so the activation goes back to it and not to another program.
    if (owner_ != nullptr) {
        EnableWindow(owner_, TRUE);
    }
    ShowWindow(window_, SW_HIDE);
    if (owner_ != nullptr) {
        SetActiveWindow(owner_);
    }
}

bool Win32Dialog::runModal() {
    if (window_ == nullptr) {
        return false;
    }
    if (owner_ != nullptr) {
        EnableWindow(owner_, FALSE);
    }
    ShowWindow(window_, SW_SHOW);
    if (GetFocus() == nullptr || !IsChild(window_, GetFocus())) {
        SetFocus(GetNextDlgTabItem(window_, nullptr, FALSE));
    }
    MSG message{};
    bool quit = false;
    int quitCode = 0;
    while (!closed()) {
        if (GetMessageW(&message, nullptr, 0, 0) <= 0) {
            quit = true;
            quitCode = static_cast<int>(message.wParam);
            hide(false);
            continue;  // still open while its work runs: the loop goes on for it
        }
        handleMessage(message);
    }
    finishAside();
    if (quit) {
        PostQuitMessage(quitCode);  // for the outer loop
        finished_ = false;
    }
    return finished_;
}

void Win32Dialog::runAside(std::function<void()> task) {
    if (busy_) {
        return;
    }
    finishAside();  // the previous one's thread
    busy_ = true;
    aside_ = std::thread([this, task = std::move(task)] {
        task();
        busy_ = false;
        PostMessageW(window_, WM_NULL, 0, 0);  // wakes the loop
    });
}

void Win32Dialog::finishAside() {
    while (busy_) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));
                break;
            }
            DispatchMessageW(&message);
        }
    }
    if (aside_.joinable()) {
        aside_.join();
    }
}

void Win32Dialog::onUiThread(const std::function<void()>& call) const {
    if (GetCurrentThreadId() == uiThread_) {
        call();
    } else {
        SendMessageW(window_, kRunCallMessage, 0, reinterpret_cast<LPARAM>(&call));
    }
}

void Win32Dialog::handleMessage(MSG& message) {
    if (!IsDialogMessageW(window_, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Win32Dialog::onClicked(std::string_view name, std::function<void()> event) {
    ControlKind kind{};
    if (form_ != nullptr && form_->kindOf(name, kind) && isButton(kind)) {
        clicks_[static_cast<UINT>(GetDlgCtrlID(form_->control(name)))] = std::move(event);
    }
}

void Win32Dialog::setControlText(std::string_view name, const std::string& text) {
    onUiThread([&] { form_->setText(name, text); });
}

std::string Win32Dialog::controlText(std::string_view name) const {
    std::string text;
    onUiThread([&] { text = form_->text(name); });
    return text;
}

void Win32Dialog::setControlChecked(std::string_view name, bool checked) {
    onUiThread([&] { form_->setChecked(name, checked); });
}

bool Win32Dialog::controlChecked(std::string_view name) const {
    bool checked = false;
    onUiThread([&] { checked = form_->checked(name); });
    return checked;
}

void Win32Dialog::setControlEnabled(std::string_view name, bool enabled) {
    if (HWND target = form_->control(name)) {
        onUiThread([&] { EnableWindow(target, enabled); });
    }
}

void Win32Dialog::setControlVisible(std::string_view name, bool visible) {
    if (HWND target = form_->control(name)) {
        onUiThread([&] { ShowWindow(target, visible ? SW_SHOW : SW_HIDE); });
    }
}

void Win32Dialog::focusControl(std::string_view name) {
    if (HWND target = form_->control(name)) {
        onUiThread([&] { SetFocus(target); });
    }
}

void Win32Dialog::pasteIntoControl(std::string_view name) {
    // The box's own paste, as its Ctrl+V runs it: the clipboard's text at the caret over the
    // selection. Sent to the box itself rather than as synthesized keys, which go to whichever
    // window has the keyboard when they arrive.
    ControlKind kind{};
    if (form_->kindOf(name, kind) && isBox(kind)) {
        SendMessageW(form_->control(name), WM_PASTE, 0, 0);
    }
}

void Win32Dialog::closeDialog() {
    onUiThread([this] { hide(true); });
}

}  // namespace nicops::ui::win32
