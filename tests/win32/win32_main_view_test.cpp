// The Win32 main window (under Wine on a virtual display in the cross-build's tests): built from
// the layout tables, the list menu's items enabled as the presenter says, and view calls from a
// worker carried out on the UI thread in order.
#include "ui/win32/win32_main_view.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <gtest/gtest.h>

#include <thread>

#include "platform/sim/sim_host.h"
#include "support/joined_workers.h"
#include "support/temp_dir.h"
#include "text/codepage.h"
#include "ui/app_context.h"
#include "ui/main_presenter.h"
#include "win32/desktop_clipboard.h"

namespace nicops::ui::win32 {
namespace {

std::string textOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text::utf16ToGbk(std::u16string(text.begin(), text.end()));
}

void pumpMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
}

IpListRow row(const std::string& id, const std::string& address) {
    return {{id, address, "255.255.255.0", "1", "0", "13", "", "IP-地址"}};
}

std::string cell(HWND list, int row, int column) {
    wchar_t buffer[64] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 64;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text::wideToOem(reinterpret_cast<const char16_t*>(buffer));
}

class Win32MainViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (view_.window() == nullptr) {
            GTEST_SKIP() << "no display for Wine's windows";
        }
    }
    Win32MainView view_{GetModuleHandleW(nullptr)};
};

TEST_F(Win32MainViewTest, BuiltFromTheLayoutTables) {
    EXPECT_EQ(textOf(view_.window()), kMainWindow.title);
    RECT client{};
    GetClientRect(view_.window(), &client);
    EXPECT_EQ(client.right, kMainWindow.width);
    EXPECT_EQ(client.bottom, kMainWindow.height);
    for (const ControlSpec& entry : kMainControls) {
        SCOPED_TRACE(std::string(entry.name));
        HWND control = view_.controlWindow(entry.name);
        ASSERT_NE(control, nullptr);
        if (entry.kind != ControlKind::comboBox && entry.kind != ControlKind::listView) {
            EXPECT_EQ(textOf(control), entry.caption);
        }
        RECT at{};
        GetWindowRect(control, &at);
        MapWindowPoints(nullptr, view_.window(), reinterpret_cast<POINT*>(&at), 2);
        EXPECT_EQ(at.left, entry.left);
        EXPECT_EQ(at.top, entry.top);
        if (entry.kind == ControlKind::checkBox) {
            EXPECT_EQ(SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED, entry.checked);
        }
    }
    HWND list = view_.controlWindow(names::kIpList);
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    ASSERT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0),
              static_cast<LRESULT>(kIpListColumns.size()));
    for (std::size_t c = 0; c < kIpListColumns.size(); ++c) {
        EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, c, 0), kIpListColumns[c].width) << c;
    }
}

TEST_F(Win32MainViewTest, TheLogBoxIsPaintedInItsTableColour) {
    HWND log = view_.controlWindow(names::kLogBox);
    HDC dc = GetDC(log);
    ASSERT_NE(SendMessageW(view_.window(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(log)),
              0);
    const COLORREF painted = GetBkColor(dc);
    ReleaseDC(log, dc);
    for (const ControlSpec& entry : kMainControls) {
        if (entry.name == names::kLogBox) {
            EXPECT_EQ(painted, RGB(entry.background >> 16, (entry.background >> 8) & 0xFF,
                                   entry.background & 0xFF));
        }
    }
}

// Every list-menu item is enabled by the presenter's rules; the export reaches the desktop's
// clipboard; the menu's dialogs open modal over the disabled window.
TEST_F(Win32MainViewTest, TheListMenusItemsFollowThePresentersRules) {
    nicops::testing::TempDir dir;
    std::string error;
    auto host = platform::sim::SimHost::open(
        dir.write("host.json", nicops::testing::demoHostText()), error);
    ASSERT_TRUE(host) << error;
    AppContext context(*host);
    nicops::testing::JoinedWorkers workers;
    MainPresenter presenter(context, view_, workers.starter());
    view_.attach(presenter);
    view_.setClipboard(std::make_unique<DesktopClipboard>());
    ASSERT_TRUE(presenter.startUp((dir.path() / "UserConfig.ini").string()));
    workers.join();
    pumpMessages();
    const auto enabled = [&](std::string_view caption) {
        const std::wstring wanted = wide(caption);
        for (int i = 0; i < GetMenuItemCount(view_.listMenu()); ++i) {
            wchar_t text[64] = {};
            GetMenuStringW(view_.listMenu(), i, text, 64, MF_BYPOSITION);
            if (wanted == text) {
                return (GetMenuState(view_.listMenu(), i, MF_BYPOSITION) & MF_GRAYED) == 0;
            }
        }
        ADD_FAILURE() << "no item " << caption;
        return false;
    };
    for (const MenuItemSpec& item : kListMenu) {
        if (!item.caption.empty()) {
            EXPECT_TRUE(enabled(item.caption)) << item.caption;
        }
    }
    presenter.setBusy(true);
    pumpMessages();
    for (std::string_view caption : {menu::kAdd, menu::kDelete, menu::kCopyAll, menu::kLookup}) {
        EXPECT_FALSE(enabled(caption)) << caption;
    }
    for (std::string_view caption : {menu::kProperties, menu::kSettings, menu::kAbout}) {
        EXPECT_TRUE(enabled(caption)) << caption;
    }
    presenter.setBusy(false);
    pumpMessages();

    presenter.copyAllChosen();
    workers.join();
    pumpMessages();
    EXPECT_NE(DesktopClipboard::text().find(":1080|"), std::string::npos)
        << DesktopClipboard::text();

    // Opened from the menu, the add dialog runs modal with the window disabled; a timer in its
    // loop closes it by the title bar.
    static bool ownerDisabled = false;
    static HWND owner = nullptr;
    owner = view_.window();
    SetTimer(nullptr, 0, 0, [](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        ownerDisabled = !IsWindowEnabled(owner);
        HWND dialog = FindWindowW(L"NicopsDialog", wide(kAddDialog.title).c_str());
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    });
    presenter.addChosen();
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(view_.window()));

    // The about box: an information box titled "关于", owned by the window.
    static HWND aboutOwner = nullptr;
    SetTimer(nullptr, 0, 0, [](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        HWND box = FindWindowW(L"#32770", wide(menu::kAbout).c_str());
        aboutOwner = GetWindow(box, GW_OWNER);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    presenter.showAbout();
    EXPECT_EQ(aboutOwner, view_.window());
}

TEST_F(Win32MainViewTest, WorkerCallsArePostedAndRunInOrderOnTheUiThread) {
    HWND log = view_.controlWindow(names::kLogBox);
    HWND list = view_.controlWindow(names::kIpList);
    // The worker never waits for the UI thread, which pumps no message meanwhile.
    std::thread worker([this] {
        view_.appendLogText("一\r\n");
        view_.setListRows({row("1", "10.0.0.1"), row("2", "10.0.0.2")});
        view_.appendLogText("二\r\n");
        view_.setControlEnabled(names::kRefreshButton, false);
    });
    worker.join();
    EXPECT_EQ(textOf(log), "");
    // A call on the UI thread runs after what the worker queued before it.
    view_.appendLogText("三\r\n");
    EXPECT_EQ(textOf(log), "一\r\n二\r\n三\r\n");
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(cell(list, 1, 1), "10.0.0.2");
    EXPECT_EQ(cell(list, 0, 7), "IP-地址");
    EXPECT_FALSE(IsWindowEnabled(view_.controlWindow(names::kRefreshButton)));
    pumpMessages();
    EXPECT_EQ(textOf(log), "一\r\n二\r\n三\r\n");
}

TEST_F(Win32MainViewTest, AReorderKeepsTheSelectionOnTheSameRows) {
    HWND list = view_.controlWindow(names::kIpList);
    view_.setListRows({row("1", "10.0.0.1"), row("2", "10.0.0.2"), row("3", "10.0.0.3")});
    LVITEMW selected{};
    selected.stateMask = LVIS_SELECTED;
    selected.state = LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&selected));
    view_.reorderListRows({row("3", "10.0.0.3"), row("2", "10.0.0.2"), row("1", "10.0.0.1")},
                          {2, 1, 0});
    EXPECT_EQ(cell(list, 0, 1), "10.0.0.3");
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, -1, LVNI_SELECTED), 2);
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, 2, LVNI_SELECTED), -1);
}

}  // namespace
}  // namespace nicops::ui::win32
