// The add dialog as the layout table describes it, and the list menu's add and delete driven
// as a user drives them.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>

#include "qt_test_support.h"
#include "ui/add_range_presenter.h"
#include "ui/qt/ip_list_model.h"
#include "ui/qt/qt_add_range_dialog.h"
#include "ui/qt/qt_ipv4_box.h"

namespace nicops::ui::qt::testing {
namespace {

using AddDialogTest = MainWindowFixture;

QAction* menuAction(QtMainView& view, std::string_view caption) {
    return view.listMenu()->findChild<QAction*>(toQString(caption));
}

TEST_F(AddDialogTest, OpensModalFromTheMenuWithEveryControlWhereTheTableSays) {
    startUp();
    menuAction(*view_, menu::kAdd)->trigger();
    QtAddRangeDialog* dialog = view_->addDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->isModal());
    EXPECT_EQ(dialog->parentWidget(), view_.get()) << "owned by the main window";
    EXPECT_EQ(dialog->windowTitle(), QString::fromUtf16(u"添加IP-地址"));
    EXPECT_EQ(dialog->size(), QSize(315, 368));
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << "fixed size";
    EXPECT_EQ(dialog->pos(), QPoint(50, 50));
    EXPECT_EQ(dialog->font().pointSize(), view_->font().pointSize());

    expectControlsAsTheTableSays(*dialog, kAddDialogControls);
    EXPECT_FALSE(dialog->findChild<QCheckBox*>(QString::fromUtf16(u"选择框1"))->isChecked());
    EXPECT_EQ(dialog->findChild<QPushButton*>(QString::fromUtf16(u"按钮4"))->text(),
              QString::fromUtf16(u"③"));
    EXPECT_FALSE(dialog->findChild<QPushButton*>(QString::fromUtf16(u"按钮8"))->isVisible());
    EXPECT_EQ(dialog->findChild<QtIpv4Box*>(QString::fromUtf16(u"IP编辑框_掩码"))->text(),
              QStringLiteral("255.255.255.0"))
        << "nothing stored for the adapter: the default mask";

    // A preset button shows its number and the save button.
    dialog->findChild<QPushButton*>(QString::fromUtf16(u"按钮3"))->click();
    EXPECT_EQ(dialog->findChild<QLabel*>(QString::fromUtf16(u"透明标签3"))->text(),
              QString::fromUtf16(u"②"));
    auto* save = dialog->findChild<QPushButton*>(QString::fromUtf16(u"按钮8"));
    EXPECT_TRUE(save->isVisible());
    EXPECT_EQ(save->text(), QString::fromUtf16(u"保存为②"));
    dialog->close();
}

TEST_F(AddDialogTest, TheMaskBoxShowsAndReadsOnlyWholeAddresses) {
    QtIpv4Box box;
    box.setAddress(" 010.1.1.1x\r\n10.0.0.1");
    EXPECT_EQ(box.text(), QStringLiteral("10.1.1.1"));
    box.setAddress("255.255.256.0");
    EXPECT_EQ(box.text(), QString());
    box.setText(QStringLiteral("255.255"));
    EXPECT_EQ(box.address(), "") << "an incomplete address reads blank";
    box.clear();
    QTest::keyClicks(&box, QStringLiteral("1a0.0.0.1."));
    EXPECT_EQ(box.text(), QStringLiteral("10.0.0.1")) << "digits and three dots only";
}

TEST_F(AddDialogTest, OkAddsTheRangeOnAWorkerAndTheMenuDeletesTheSelectedRows) {
    startUp();
    chooseAdapter(12);
    menuAction(*view_, menu::kAdd)->trigger();
    QPointer<QtAddRangeDialog> dialog = view_->addDialog();
    ASSERT_FALSE(dialog.isNull());
    dialog->findChild<QPlainTextEdit*>(QString::fromUtf16(u"编辑框1"))
        ->setPlainText(QStringLiteral("192.168.1.{40-42}\n192.168.1.50"));
    dialog->findChild<QPushButton*>(QString::fromUtf16(u"按钮1"))->click();
    ASSERT_TRUE(waitFor([&] { return dialog.isNull(); })) << "closed and deleted";
    ASSERT_TRUE(waitFor(
        [&] { return logCount(QString::fromUtf16(u"添加IP完成，添加成功4，添加失败0。")) == 1; }));
    workers_.join();
    QCoreApplication::processEvents();
    ASSERT_EQ(view_->ipListModel()->rowCount(), 28);
    ASSERT_TRUE(menuAction(*view_, menu::kDelete)->isEnabled());

    // Ctrl+A selects every row for the presenter; a click then selects one, Ctrl adds one.
    QTableView* list = view_->ipList();
    list->setFocus();
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(presenter_->selectedRows().size(), 28U);
    const auto rowOf = [&](const QString& address) {
        for (int r = 0; r < view_->ipListModel()->rowCount(); ++r) {
            if (view_->ipListModel()->row(r)[1] == address) {
                return r;
            }
        }
        return -1;
    };
    for (auto [address, modifiers] :
         {std::pair{QStringLiteral("192.168.1.50"), Qt::NoModifier},
          std::pair{QStringLiteral("192.168.1.41"), Qt::ControlModifier}}) {
        const int row = rowOf(address);
        ASSERT_GE(row, 0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                          list->visualRect(view_->ipListModel()->index(row, 1)).center());
    }
    ASSERT_EQ(presenter_->selectedRows().size(), 2U);

    menuAction(*view_, menu::kDelete)->trigger();  // runs here, on the UI thread
    QCoreApplication::processEvents();
    EXPECT_EQ(logCount(QString::fromUtf16(u"成功删除IP-地址 192.168.1.41\n")), 1);
    EXPECT_EQ(logCount(QString::fromUtf16(u"成功删除IP-地址 192.168.1.50\n")), 1);
    EXPECT_EQ(view_->ipListModel()->rowCount(), 26);
    EXPECT_EQ(rowOf(QStringLiteral("192.168.1.41")), -1);
    EXPECT_TRUE(presenter_->selectedRows().empty()) << "the new rows come unselected";
    EXPECT_TRUE(widget(names::kRefreshButton)->isEnabled());
}

}  // namespace
}  // namespace nicops::ui::qt::testing
