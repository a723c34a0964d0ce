// The Win32 form builder (under Wine on a virtual display): each dialog's table built into a
// window, every control found by its object name where the table puts it, at 96 DPI and scaled
// for 144, with the table's captions, and the boxes' texts read as the dialogs' presenters read
// them.
#include "ui/win32/win32_form.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <gtest/gtest.h>

#include "ui/layout_tables.h"

namespace nicops::ui::win32 {
namespace {

class Win32FormTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        host_ = CreateWindowExW(0, L"STATIC", L"form", WS_OVERLAPPEDWINDOW, 0, 0, 900, 700, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
        if (host_ == nullptr) {
            GTEST_SKIP() << "no display for Wine's windows";
        }
    }
    void TearDown() override {
        if (host_ != nullptr) {
            DestroyWindow(host_);
        }
    }

    // Every row of `table` built where it says, scaled by the form's DPI; with `builtAt`, built
    // at that DPI first and then moved to the form's (a monitor of another DPI).
    void expectBuiltAsTheTableSays(std::span<const ControlSpec> table, int builtAt = 0) {
        const int dpi = GetParam();
        Win32Form form(host_, table, builtAt != 0 ? builtAt : dpi);
        form.rescale(dpi);
        ASSERT_EQ(form.dpi(), dpi);
        for (const ControlSpec& entry : table) {
            SCOPED_TRACE(std::string(entry.name));
            HWND control = form.control(entry.name);
            ASSERT_NE(control, nullptr);
            EXPECT_EQ(form.nameOf(control), entry.name);
            int left = entry.left;
            int top = entry.top;
            for (const ControlSpec& group : table) {
                if (!entry.parent.empty() && group.name == entry.parent) {
                    left += group.left;
                    top += group.top;
                }
            }
            RECT at{};
            GetWindowRect(control, &at);
            MapWindowPoints(nullptr, host_, reinterpret_cast<POINT*>(&at), 2);
            EXPECT_EQ(at.left, MulDiv(left, dpi, 96));
            EXPECT_EQ(at.top, MulDiv(top, dpi, 96));
            EXPECT_EQ(at.right - at.left, MulDiv(entry.width, dpi, 96));
            if (entry.kind != ControlKind::comboBox) {
                EXPECT_EQ(at.bottom - at.top, MulDiv(entry.height, dpi, 96));
            }
            EXPECT_EQ((GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0, !entry.hidden);
            if (entry.kind == ControlKind::label || entry.kind == ControlKind::pushButton ||
                entry.kind == ControlKind::checkBox || entry.kind == ControlKind::radioButton ||
                entry.kind == ControlKind::groupBox) {
                EXPECT_EQ(windowText(control), entry.caption);
            }
            if (entry.kind == ControlKind::checkBox || entry.kind == ControlKind::radioButton) {
                EXPECT_EQ(form.checked(entry.name), entry.checked);
            }
        }
    }

    HWND host_ = nullptr;
};

TEST_P(Win32FormTest, EveryTableBuiltWhereItSays) {
    expectBuiltAsTheTableSays(kMainControls);
    expectBuiltAsTheTableSays(kAddDialogControls);
    expectBuiltAsTheTableSays(kTcpipDialogControls);
    expectBuiltAsTheTableSays(kSettingsControls);
}

TEST_P(Win32FormTest, EveryTableMovedToAnotherDpiIsPlacedAgain) {
    expectBuiltAsTheTableSays(kMainControls, 120);
    expectBuiltAsTheTableSays(kAddDialogControls, 120);
    expectBuiltAsTheTableSays(kTcpipDialogControls, 120);
    expectBuiltAsTheTableSays(kSettingsControls, 120);
}

INSTANTIATE_TEST_SUITE_P(Dpi, Win32FormTest, ::testing::Values(96, 144));

class Win32FormBoxesTest : public Win32FormTest {};

TEST_P(Win32FormBoxesTest, BoxesHoldWhatThePresentersRead) {
    Win32Form form(host_, kTcpipDialogControls, GetParam());
    // The radio buttons are one group, the control after them starts the next.
    const auto style = [&](std::string_view name) {
        return GetWindowLongW(form.control(name), GWL_STYLE);
    };
    EXPECT_NE(style(tcpip_names::kAutomaticRadio) & WS_GROUP, 0);
    EXPECT_EQ(style(tcpip_names::kStaticRadio) & WS_GROUP, 0);
    EXPECT_NE(style(tcpip_names::kAddressGroup) & WS_GROUP, 0);
    form.setChecked(tcpip_names::kStaticRadio, true);
    EXPECT_TRUE(form.checked(tcpip_names::kStaticRadio));
    form.setChecked(tcpip_names::kAddressLabel, true);  // not checkable
    EXPECT_FALSE(form.checked(tcpip_names::kAddressLabel));

    // The native address box, through the box's reading rule both ways.
    EXPECT_EQ(form.text(tcpip_names::kAddressBox), "");
    form.setText(tcpip_names::kAddressBox, "010.1.1.1x");
    EXPECT_EQ(form.text(tcpip_names::kAddressBox), "10.1.1.1");
    form.setText(tcpip_names::kAddressBox, "10.1.1");
    EXPECT_EQ(form.text(tcpip_names::kAddressBox), "");
    EXPECT_EQ(form.text("no such control"), "");

    Win32Form add(host_, kAddDialogControls, GetParam());
    EXPECT_NE(GetWindowLongW(add.control(add_names::kRangeBox), GWL_STYLE) & ES_WANTRETURN, 0);
    add.setText(add_names::kRangeBox, "10.0.0.1\r\n10.0.0.2");
    EXPECT_EQ(add.text(add_names::kRangeBox), "10.0.0.1\r\n10.0.0.2");
    add.setText(add_names::kPresetLabel, "保存为1");
    EXPECT_EQ(add.text(add_names::kPresetLabel), "保存为1");

    Win32Form settings(host_, kSettingsControls, GetParam());
    HWND number = settings.control(settings_names::kConnectTimeoutBox);
    EXPECT_EQ(GetWindowLongW(number, GWL_STYLE) & (ES_NUMBER | ES_CENTER), ES_NUMBER | ES_CENTER);
}

INSTANTIATE_TEST_SUITE_P(Dpi, Win32FormBoxesTest, ::testing::Values(96, 144));

}  // namespace
}  // namespace nicops::ui::win32
