// The three dialogs with the native controls (under Wine on a virtual display), each over its
// presenter and the main window's presenter as its host: built from its table, a preset saved
// and loaded, the mode switch greying the static fields, a placeholder pasted at the caret and
// left on the clipboard, only changed keys written, and the modal loop's keyboard.
#include "ui/win32/win32_dialogs.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <gtest/gtest.h>

#include <thread>

#include "platform/ini_file.h"
#include "platform/sim/sim_host.h"
#include "settings/app_settings.h"
#include "support/joined_workers.h"
#include "support/temp_dir.h"
#include "text/codepage.h"
#include "ui/app_context.h"
#include "ui/main_presenter.h"
#include "ui/win32/win32_main_view.h"
#include "win32/desktop_clipboard.h"

namespace nicops::ui::win32 {
namespace {

void pumpMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
}

// A key pressed on the focused control, as the modal loop receives it.
void press(Win32Dialog& dialog, WPARAM key) {
    MSG message{GetFocus(), WM_KEYDOWN, key, 1, 0, {}};
    dialog.handleMessage(message);
    pumpMessages();
}

class Win32DialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (view_.window() == nullptr) {
            GTEST_SKIP() << "no display for Wine's windows";
        }
        std::string error;
        host_ = platform::sim::SimHost::open(
            dir_.write("host.json", nicops::testing::demoHostText()), error);
        ASSERT_TRUE(host_) << error;
        context_ = std::make_unique<AppContext>(*host_);
        context_->configuration = host_.get();
        presenter_ = std::make_unique<MainPresenter>(*context_, view_, workers_.starter());
        view_.attach(*presenter_);
        view_.show(SW_SHOWNORMAL);
        iniPath_ = (dir_.path() / "UserConfig.ini").string();
        ASSERT_TRUE(presenter_->startUp(iniPath_));
        workers_.join();
        pumpMessages();  // the first display reaches the window
    }
    void TearDown() override {
        workers_.join();
        pumpMessages();
    }

    std::string logText() const { return windowText(view_.controlWindow(names::kLogBox)); }
    bool enabled(const Win32Dialog& dialog, std::string_view name) const {
        return IsWindowEnabled(dialog.control(name)) != FALSE;
    }
    static void click(const Win32Dialog& dialog, std::string_view name) {
        SendMessageW(dialog.control(name), BM_CLICK, 0, 0);
    }

    nicops::testing::TempDir dir_;
    Win32MainView view_{GetModuleHandleW(nullptr)};
    std::unique_ptr<platform::sim::SimHost> host_;
    std::unique_ptr<AppContext> context_;
    nicops::testing::JoinedWorkers workers_;
    std::unique_ptr<MainPresenter> presenter_;
    std::string iniPath_;
};

TEST_F(Win32DialogsTest, EachDialogIsItsTableOwnedByTheMainWindow) {
    DesktopClipboard clipboard;
    Win32AddRangeDialog add(*presenter_, view_.window());
    Win32TcpipDialog tcpip(*presenter_, view_.window());
    Win32SettingsDialog settings(*presenter_, clipboard, view_.window());
    const auto expectTable = [&](const Win32Dialog& dialog, const WindowSpec& entry,
                                 std::span<const ControlSpec> table) {
        SCOPED_TRACE(std::string(entry.title));
        EXPECT_EQ(windowText(dialog.window()), entry.title);
        EXPECT_EQ(GetWindow(dialog.window(), GW_OWNER), view_.window());
        RECT client{};
        GetClientRect(dialog.window(), &client);
        EXPECT_EQ(client.right, entry.width);
        EXPECT_EQ(client.bottom, entry.height);
        for (const ControlSpec& row : table) {
            EXPECT_EQ(dialog.form().nameOf(dialog.control(row.name)), row.name);
        }
    };
    expectTable(add, kAddDialog, kAddDialogControls);
    expectTable(tcpip, kTcpipDialog, kTcpipDialogControls);
    expectTable(settings, kSettingsWindow, kSettingsControls);
    for (std::string_view menuName :
         {settings_names::kCopyFormatMenu, settings_names::kLocationFormatMenu}) {
        ASSERT_NE(settings.placeholderMenu(menuName), nullptr);
        EXPECT_EQ(GetMenuItemCount(settings.placeholderMenu(menuName)), 4);
    }
    EXPECT_EQ(settings.controlText(settings_names::kConnectTimeoutBox), "1500");
}

TEST_F(Win32DialogsTest, APresetSavedIsLoadedByTheNextDialog) {
    {
        Win32AddRangeDialog add(*presenter_, view_.window());
        EXPECT_EQ(IsWindowVisible(add.control(add_names::kSaveButton)), FALSE);
        click(add, add_names::kPresetButtons[1]);
        EXPECT_EQ(add.controlText(add_names::kPresetLabel), "②");
        EXPECT_EQ(add.controlText(add_names::kSaveButton), "保存为②");
        EXPECT_NE(GetWindowLongW(add.control(add_names::kSaveButton), GWL_STYLE) & WS_VISIBLE, 0);
        add.setControlText(add_names::kRangeBox, "10.9.0.1-3\r\n10.9.1.1");
        click(add, add_names::kSaveButton);
    }
    Win32AddRangeDialog next(*presenter_, view_.window());
    EXPECT_EQ(next.controlText(add_names::kRangeBox), "");
    click(next, add_names::kPresetButtons[1]);
    EXPECT_EQ(next.controlText(add_names::kRangeBox), "10.9.0.1-3\r\n10.9.1.1");
}

TEST_F(Win32DialogsTest, TheModeSwitchGreysTheStaticFields) {
    Win32TcpipDialog tcpip(*presenter_, view_.window());
    const std::string_view fields[] = {tcpip_names::kAddressBox,      tcpip_names::kMaskBox,
                                       tcpip_names::kGatewayBox,      tcpip_names::kPrimaryDnsBox,
                                       tcpip_names::kSecondaryDnsBox, tcpip_names::kAddressLabel};
    EXPECT_TRUE(tcpip.controlChecked(tcpip_names::kStaticRadio));
    EXPECT_NE(tcpip.controlText(tcpip_names::kAddressBox), "");
    click(tcpip, tcpip_names::kAutomaticRadio);
    EXPECT_TRUE(tcpip.controlChecked(tcpip_names::kAutomaticRadio));
    EXPECT_FALSE(tcpip.controlChecked(tcpip_names::kStaticRadio));
    for (std::string_view field : fields) {
        EXPECT_FALSE(enabled(tcpip, field)) << field;
    }
    EXPECT_TRUE(enabled(tcpip, tcpip_names::kPrimaryDnsLabel));
    click(tcpip, tcpip_names::kStaticRadio);
    for (std::string_view field : fields) {
        EXPECT_TRUE(enabled(tcpip, field)) << field;
    }
}

TEST_F(Win32DialogsTest, APlaceholderLandsAtTheCaretAndOnlyChangedKeysAreWritten) {
    DesktopClipboard clipboard;
    Win32SettingsDialog settings(*presenter_, clipboard, view_.window());
    HWND copyBox = settings.control(settings_names::kCopyFormatBox);
    settings.setControlText(settings_names::kCopyFormatBox, "a-b");
    SendMessageW(copyBox, EM_SETSEL, 1, 1);
    settings.focusControl(settings_names::kLocationFormatBox);  // the item's box takes it
    settings.menuCommand(settings.placeholderCommand(settings_names::kCopyFormatMenu, "外网IP"));
    EXPECT_EQ(settings.controlText(settings_names::kCopyFormatBox), "a{外网IP}-b");
    EXPECT_EQ(DesktopClipboard::text(), "{外网IP}");
    SendMessageW(copyBox, EM_SETSEL, 0, 1);  // over the selection
    settings.menuCommand(settings.placeholderCommand(settings_names::kCopyFormatMenu, "内网IP"));
    EXPECT_EQ(settings.controlText(settings_names::kCopyFormatBox), "{内网IP}{外网IP}-b");

    click(settings, settings_names::kOkButton);
    EXPECT_TRUE(settings.closed());
    EXPECT_EQ(context_->settings.get().copyFormat, "{内网IP}{外网IP}-b");
    EXPECT_EQ(platform::readIniString(iniPath_, settings::kSettingsSection,
                                      settings::kCopyFormatKey, "none"),
              "{内网IP}{外网IP}-b");
    EXPECT_EQ(platform::readIniString(iniPath_, settings::kSettingsSection,
                                      settings::kLocationFormatKey, "none"),
              "none");
}

TEST_F(Win32DialogsTest, TheModalLoopsKeyboard) {
    DesktopClipboard clipboard;
    {
        // Tab leaves the add dialog's range box, where Return is a new line.
        Win32AddRangeDialog add(*presenter_, view_.window());
        ShowWindow(add.window(), SW_SHOW);
        add.focusControl(add_names::kRangeBox);
        press(add, VK_TAB);
        EXPECT_EQ(GetFocus(), add.control(add_names::kPresetButtons[0]));
        ShowWindow(add.window(), SW_HIDE);
        Win32SettingsDialog settings(*presenter_, clipboard, view_.window());
        ShowWindow(settings.window(), SW_SHOW);
        settings.focusControl(settings_names::kCopyFormatBox);
        press(settings, VK_TAB);
        EXPECT_EQ(GetFocus(), settings.control(settings_names::kLocationFormatBox));
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_SHIFT] = 0x80;
        SetKeyboardState(keys);
        press(settings, VK_TAB);  // Shift+Tab: back
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
        EXPECT_EQ(GetFocus(), settings.control(settings_names::kCopyFormatBox));
        press(settings, VK_TAB);
        press(settings, VK_RETURN);  // no default button: Return stores nothing
        EXPECT_FALSE(settings.closed());
        // Esc cancels the loop; what a worker posts to the main window meanwhile is shown in
        // order, and the owner is given back.
        std::thread([this] {
            view_.appendLogText("一\r\n");
            view_.appendLogText("二\r\n");
        }).join();
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);
        EXPECT_FALSE(settings.runModal());
        EXPECT_NE(logText().find("一\r\n二\r\n"), std::string::npos);
        EXPECT_TRUE(IsWindowEnabled(view_.window()));
    }
    // The properties dialog's default button is "确定": Return applies the checked mode.
    Win32TcpipDialog tcpip(*presenter_, view_.window());
    click(tcpip, tcpip_names::kAutomaticRadio);
    tcpip.focusControl(tcpip_names::kAutomaticRadio);
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_TRUE(tcpip.runModal());
    EXPECT_EQ(host_->configurationCalls().size(), 1U);
    // The title bar's close button cancels.
    Win32TcpipDialog again(*presenter_, view_.window());
    PostMessageW(again.window(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(again.runModal());
    EXPECT_EQ(host_->configurationCalls().size(), 1U);
}

}  // namespace
}  // namespace nicops::ui::win32
