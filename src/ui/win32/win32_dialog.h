// A modal dialog with the native controls of Windows, built from its rows of the layout tables
// (a Win32Form), and the one Win32 implementation of ui::FormView, the twin of ui::qt::QtForm.
// A dialog's class derives from it and only forwards its buttons to its presenter.
//
// runModal() disables the owner, shows the dialog and runs its own message loop until the dialog
// closes, then gives the owner back. The loop dispatches every message of the thread, so what
// workers post to the main window meanwhile is carried out in order. The keyboard goes through
// IsDialogMessageW: Tab and Shift+Tab move the focus, Return presses the default button (when the
// dialog has one), Esc and the title bar's close button close the dialog as cancelled.
//
// Work that may take long (a switch waiting for its lease) runs aside on a thread of its own
// (runAside) while the loop goes on painting; the dialog can't be cancelled meanwhile. Its
// FormView calls made on that thread are carried out on the UI thread, which it waits for.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "ui/form_view.h"
#include "ui/layout_tables.h"
#include "ui/win32/win32_form.h"

namespace nicops::ui::win32 {

class Win32Dialog : public FormView {
public:
    ~Win32Dialog() override;
    Win32Dialog(const Win32Dialog&) = delete;
    Win32Dialog& operator=(const Win32Dialog&) = delete;

    HWND window() const { return window_; }
    const Win32Form& form() const { return *form_; }
    // The control of this name; nullptr for none.
    HWND control(std::string_view name) const { return form_->control(name); }

    // Runs the dialog until it closes; true when it was closed by closeDialog (its presenter
    // finished), false when cancelled (Esc, the title bar's close button) or the program quits
    // meanwhile (the quit is passed on to the outer loop).
    bool runModal();
    // One message as the modal loop handles it: the dialog's keyboard first, then dispatched.
    void handleMessage(MSG& message);
    bool closed() const { return window_ == nullptr || !IsWindowVisible(window_); }
    // Work started by runAside is still running.
    bool busy() const { return busy_; }

    // FormView
    void setControlText(std::string_view name, const std::string& text) final;
    std::string controlText(std::string_view name) const final;
    void setControlChecked(std::string_view name, bool checked) final;
    bool controlChecked(std::string_view name) const final;
    void setControlEnabled(std::string_view name, bool enabled) final;
    void setControlVisible(std::string_view name, bool visible) final;
    void focusControl(std::string_view name) final;
    void pasteIntoControl(std::string_view name) final;
    void closeDialog() final;

protected:
    // A dialog as `window` gives it (title, client size and position, scaled by the owner's DPI,
    // or by `dpi` when not 0) owned by `owner`, with a control for each row of `controls`. Return
    // presses `defaultButton` ("" for none: Return then does nothing outside a range box).
    Win32Dialog(const WindowSpec& window, std::span<const ControlSpec> controls, HWND owner,
                std::string_view defaultButton = {}, int dpi = 0);

    // `event` runs when the user clicks the button (push button, check box or radio button) of
    // this name.
    void onClicked(std::string_view name, std::function<void()> event);
    // Runs `task` on a thread of its own; nothing when one still runs. The dialog is not
    // cancelled until it has finished.
    void runAside(std::function<void()> task);
    // Lets the thread of runAside finish, handling what it sends meanwhile; a dialog's class
    // calls it before it destroys what the work uses.
    void finishAside();
    // A right-click (or the menu key) on one of the dialog's controls, at screen point `at`.
    virtual void contextMenu(std::string_view /*name*/, POINT /*at*/) {}
    // A menu command of the dialog's own pop-up menus.
    virtual void menuCommand(UINT /*id*/) {}

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void hide(bool finished);
    // `call` on the UI thread: at once there, else sent to it and waited for.
    void onUiThread(const std::function<void()>& call) const;

    HWND owner_;
    HWND window_ = nullptr;
    std::unique_ptr<Win32Form> form_;
    UINT defaultId_ = 0;
    bool finished_ = false;
    std::map<UINT, std::function<void()>> clicks_;
    DWORD uiThread_ = GetCurrentThreadId();
    std::atomic<bool> busy_ = false;
    std::thread aside_;
};

}  // namespace nicops::ui::win32
