// The one Qt form of the dialogs, over a table of its own with every kind a dialog has: what
// each kind shows and gives back by name, and which forms let Enter press a button.
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <array>

#include "qt_test_support.h"
#include "ui/qt/qt_form.h"

namespace nicops::ui::qt::testing {
namespace {

constexpr WindowSpec kWindow{"form", 40, 40, 300, 260};
constexpr std::array<ControlSpec, 7> kControls{{
    {"label", ControlKind::label, "&Name:", 8, 8, 60, 20},
    {"line", ControlKind::lineEdit, "", 70, 8, 200, 20},
    {"range", ControlKind::rangeBox, "", 70, 36, 200, 80},
    {"group", ControlKind::groupBox, "", 8, 124, 280, 60},
    inGroup("group", {"check", ControlKind::checkBox, "check", 8, 20, 100, 20, true}),
    inGroup("group", {"address", ControlKind::ipv4Box, "", 120, 20, 150, 24}),
    {"ok", ControlKind::pushButton, "OK", 200, 200, 80, 28},
}};

class TestForm final : public QtForm {
public:
    explicit TestForm(bool keepEnter) : QtForm(kWindow, kControls, nullptr) {
        if (keepEnter) {
            keepEnterInBoxes();
        }
        onClicked("ok", [this] { ++clicks; });
        onClicked("line", [this] { ++clicks; });  // not a button: nothing to connect
    }
    int clicks = 0;
};

TEST(FormTest, EveryKindIsReadAndWrittenByNameAsTheFormContractSays) {
    application();
    TestForm form(false);
    auto* label = form.findChild<QLabel*>(QStringLiteral("label"));
    EXPECT_EQ(label->buddy(), form.control("line")) << "the mnemonic reaches the next control";
    EXPECT_EQ(form.control("address")->parentWidget(), form.control("group"));

    form.setControlText("range", "a\r\nb\r\n");
    EXPECT_EQ(form.findChild<QPlainTextEdit*>(QStringLiteral("range"))->toPlainText(),
              QStringLiteral("a\nb\n"));
    EXPECT_EQ(form.controlText("range"), "a\r\nb\r\n");
    form.setControlText("address", " 010.1.1.1x");
    EXPECT_EQ(form.controlText("address"), "10.1.1.1");
    form.setControlText("group", "frame");
    EXPECT_EQ(form.findChild<QGroupBox*>(QStringLiteral("group"))->title(),
              QStringLiteral("frame"));
    form.setControlText("ok", "go");
    EXPECT_EQ(form.controlText("ok"), "go");
    EXPECT_EQ(form.controlText("label"), "&Name:");

    EXPECT_TRUE(form.controlChecked("check")) << "as the table checks it";
    form.setControlChecked("check", false);
    EXPECT_FALSE(form.controlChecked("check"));
    form.setControlChecked("ok", true);
    EXPECT_FALSE(form.controlChecked("ok")) << "a push button is never checked";

    form.setControlText("nothing", "x");  // a name the form hasn't: ignored
    form.setControlEnabled("nothing", false);
    EXPECT_EQ(form.controlText("nothing"), "");
    EXPECT_FALSE(form.controlChecked("nothing"));

    QGuiApplication::clipboard()->setText(QStringLiteral("{x}"));
    form.setControlText("line", "ab");
    form.pasteIntoControl("line");
    form.pasteIntoControl("range");
    EXPECT_EQ(form.controlText("line"), "ab{x}");
    EXPECT_EQ(form.controlText("range"), "{x}a\r\nb\r\n")
        << "at the caret, which starts at the top";
}

TEST(FormTest, EnterPressesTheDefaultButtonUnlessTheFormKeepsItInTheBoxes) {
    application();
    for (bool keepEnter : {false, true}) {
        TestForm form(keepEnter);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        QWidget* line = form.control("line");
        line->setFocus();
        QTest::keyClick(line, Qt::Key_Return);
        EXPECT_EQ(form.clicks, keepEnter ? 0 : 1) << keepEnter;
    }
}

}  // namespace
}  // namespace nicops::ui::qt::testing
