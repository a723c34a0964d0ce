// The main window with the native controls of Windows. It is built from the layout tables (the
// same as the Qt window's), draws what the presenter tells it and forwards the user's actions to
// the presenter; it decides nothing itself. Every text crosses from GBK to UTF-16 through the
// code-page module, and only W functions are called. Calls from worker threads are posted to the
// UI thread in order and never make the worker wait.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clipboard.h"
#include "ui/layout_tables.h"
#include "ui/main_view.h"

namespace nicops::ui {
class MainPresenter;
}

namespace nicops::ui::win32 {

class Win32CallQueue;
class Win32Form;

class Win32MainView final : public MainView {
public:
    // Creates the window (not shown yet) on the calling thread, which becomes the UI thread.
    explicit Win32MainView(HINSTANCE instance);
    ~Win32MainView() override;
    Win32MainView(const Win32MainView&) = delete;
    Win32MainView& operator=(const Win32MainView&) = delete;

    // The presenter that receives the window's events; none reach a presenter before this.
    void attach(MainPresenter& presenter);
    // The desktop's clipboard, for the list menu's export and the settings window's
    // placeholders; without one the export does nothing.
    void setClipboard(std::unique_ptr<platform::Clipboard> clipboard);
    // What closing the window does (the program ends there).
    void setCloseHandler(std::function<void()> handler);
    void show(int showCommand);
    HWND window() const { return window_; }
    HMENU listMenu() const { return listMenu_; }
    // A control by its object name; nullptr for a name the window lacks.
    HWND controlWindow(std::string_view name) const;

    // MainView
    void setWindowCaption(const std::string& caption) override;
    void setControlText(std::string_view name, const std::string& text) override;
    void setControlEnabled(std::string_view name, bool enabled) override;
    void setControlVisible(std::string_view name, bool visible) override;
    void setMenuItemEnabled(std::string_view caption, bool enabled) override;
    void setComboItems(const std::vector<ComboItem>& items, int selected) override;
    void setComboSelection(int selected) override;
    void setListRows(const std::vector<IpListRow>& rows) override;
    void reorderListRows(const std::vector<IpListRow>& rows,
                         const std::vector<std::size_t>& from) override;
    void appendLogText(const std::string& lines) override;
    void showMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
    void openUrl(const std::string& address) override;
    void post(std::function<void()> task) override;
    // The dialogs run modal over the window, which is disabled meanwhile (Win32Dialog).
    void openAddDialog() override;
    void openSettingsDialog() override;
    void openTcpipDialog() override;
    platform::Clipboard* clipboard() override { return clipboard_.get(); }

private:
    struct MenuItem {
        UINT id;
    };
    // A list row as the list view takes it.
    using WideRow = std::array<std::wstring, std::tuple_size_v<decltype(IpListRow::cells)>>;

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void buildListView(HWND list);
    void buildListMenu();
    void onCommand(UINT id, UINT code);
    LRESULT onNotify(const NMHDR& header);
    bool isLink(HWND control) const;
    void fillList(const std::vector<WideRow>& rows);
    void reportSelection();

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HWND list_ = nullptr;
    HWND combo_ = nullptr;
    HWND log_ = nullptr;
    HMENU listMenu_ = nullptr;
    // The log box's background, from its layout table row; no brush: the platform's default.
    COLORREF logColour_ = 0;
    HBRUSH logBrush_ = nullptr;
    std::unique_ptr<Win32CallQueue> calls_;
    // Set up in the constructor and only read afterwards, so any thread may look them up.
    std::unique_ptr<Win32Form> form_;
    std::unique_ptr<platform::Clipboard> clipboard_;
    std::map<std::string, MenuItem, std::less<>> menuItems_;
    bool filling_ = false;                // the list is being refilled: no selection reports
    MainPresenter* presenter_ = nullptr;  // UI thread only
    std::function<void()> closeHandler_;
};

}  // namespace nicops::ui::win32
