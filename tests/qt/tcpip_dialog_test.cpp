// The TCP/IPv4 properties dialog as the layout table describes it: opened from the list menu,
// its radio buttons greying the static fields out and in, "确定" applying and closing, the title
// bar's close applying nothing.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

#include "qt_test_support.h"

namespace nicops::ui::qt::testing {
namespace {

using TcpipDialogTest = MainWindowFixture;

TEST_F(TcpipDialogTest, OpensModalWithEveryControlWhereTheTableSaysAndRadiosToggleTheFields) {
    startUp();  // "以太网", connected
    QtTcpipDialog* dialog = openTcpipDialog(*view_);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->isModal());
    EXPECT_EQ(dialog->parentWidget(), view_.get()) << "owned by the main window";
    EXPECT_EQ(dialog->windowTitle(), QString::fromUtf16(u"Intemet 协议版本(TCP/IPv4)属性设置"));
    EXPECT_EQ(dialog->size(), QSize(338, 355));
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << "fixed size";

    expectControlsAsTheTableSays(*dialog, kTcpipDialogControls);
    const QList<QLabel*> labels = dialog->findChildren<QLabel*>();
    EXPECT_EQ(labels.size(), 5);
    for (const QLabel* label : labels) {
        EXPECT_NE(label->buddy(), nullptr) << "its mnemonic reaches the box after it";
    }
    const auto box = [&](std::string_view name) {
        return dialog->findChild<QLineEdit*>(toQString(name));
    };
    EXPECT_EQ(box(tcpip_names::kAddressBox)->text(), QStringLiteral("192.168.200.201"));
    EXPECT_EQ(box(tcpip_names::kSecondaryDnsBox)->text(), QStringLiteral("114.114.114.114"));
    const auto radio = [&](std::string_view name) {
        return dialog->findChild<QRadioButton*>(toQString(name));
    };
    EXPECT_EQ(radio(tcpip_names::kAutomaticRadio)->text(),
              QString::fromUtf16(u"自动获得 IP 地址(&O)"));
    EXPECT_TRUE(radio(tcpip_names::kStaticRadio)->isChecked());

    const auto staticFieldsEnabled = [&](bool enabled) {
        for (std::string_view name :
             {tcpip_names::kAddressBox, tcpip_names::kAddressLabel, tcpip_names::kMaskBox,
              tcpip_names::kMaskLabel, tcpip_names::kGatewayBox, tcpip_names::kGatewayLabel,
              tcpip_names::kPrimaryDnsBox, tcpip_names::kSecondaryDnsBox}) {
            EXPECT_EQ(dialog->findChild<QWidget*>(toQString(name))->isEnabled(), enabled)
                << toQString(name).toStdString();
        }
        EXPECT_TRUE(
            dialog->findChild<QWidget*>(toQString(tcpip_names::kPrimaryDnsLabel))->isEnabled());
    };
    staticFieldsEnabled(true);
    QTest::mouseClick(radio(tcpip_names::kAutomaticRadio), Qt::LeftButton);
    EXPECT_FALSE(radio(tcpip_names::kStaticRadio)->isChecked());
    staticFieldsEnabled(false);
    QTest::mouseClick(radio(tcpip_names::kStaticRadio), Qt::LeftButton);
    staticFieldsEnabled(true);
    dialog->close();
}

TEST_F(TcpipDialogTest, OkAppliesTheCheckedModeAndClosingByTheTitleBarAppliesNothing) {
    context_->configuration = host_.get();
    startUp();  // "以太网", static
    const auto radio = [](QtTcpipDialog& dialog, std::string_view name) {
        return dialog.findChild<QRadioButton*>(toQString(name));
    };

    QPointer<QtTcpipDialog> dialog = openTcpipDialog(*view_);
    ASSERT_FALSE(dialog.isNull());
    radio(*dialog, tcpip_names::kAutomaticRadio)->click();
    dialog->close();
    ASSERT_TRUE(waitFor([&] { return dialog.isNull(); })) << "closed and deleted";
    EXPECT_TRUE(host_->configurationCalls().empty());

    dialog = openTcpipDialog(*view_);
    ASSERT_FALSE(dialog.isNull());
    radio(*dialog, tcpip_names::kAutomaticRadio)->click();
    dialog->findChild<QPushButton*>(toQString(tcpip_names::kOkButton))->click();
    ASSERT_TRUE(waitFor([&] { return dialog.isNull(); })) << "closed and deleted";
    EXPECT_EQ(host_->configurationCalls().size(), 1U);
    EXPECT_TRUE(waitFor(
        [&] { return logCount(QString::fromUtf16(u"以太网 修改为自动获取IP成功.")) == 1; }));

    // Opened again, the dialog shows the mode the host now has.
    dialog = openTcpipDialog(*view_);
    ASSERT_FALSE(dialog.isNull());
    EXPECT_TRUE(radio(*dialog, tcpip_names::kAutomaticRadio)->isChecked());
    EXPECT_FALSE(dialog->findChild<QWidget*>(toQString(tcpip_names::kAddressBox))->isEnabled());
    dialog->close();
}

}  // namespace
}  // namespace nicops::ui::qt::testing
