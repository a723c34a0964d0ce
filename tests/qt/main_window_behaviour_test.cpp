// The window driven as a user drives it, over the demo host: start-up, header clicks, the
// adapter box, the check boxes, the refresh button and the about item reach the presenter.
#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include "qt_test_support.h"
#include "ui/app_identity.h"
#include "ui/qt/ip_list_model.h"

namespace nicops::ui::qt::testing {
namespace {

using MainWindowTest = MainWindowFixture;

constexpr std::uint32_t kBusyAdapter = 12;  // the demo host's adapter with 24 addresses

QStringList idColumn(const IpListModel* model) {
    QStringList cells;
    for (int r = 0; r < model->rowCount(); ++r) {
        cells << model->row(r)[0];
    }
    return cells;
}

QStringList numbers(int from, int to) {
    QStringList out;
    for (int n = from, step = from <= to ? 1 : -1; n != to + step; n += step) {
        out << QString::number(n);
    }
    return out;
}

TEST_F(MainWindowTest, StartUpShowsTheLastAdapterItsRowsAndTheLog) {
    startUp();
    auto* combo = control<QComboBox>(names::kAdapterCombo);
    const auto items = presenter_->comboItems();
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->currentIndex(), 2) << "the last adapter is shown first";
    EXPECT_EQ(combo->itemText(0), toQString(items[0].text));
    EXPECT_EQ(combo->itemData(0).toUInt(), items[0].adapterIndex);

    chooseAdapter(kBusyAdapter);
    const IpListModel* model = view_->ipListModel();
    const auto rows = presenter_->rows();
    ASSERT_EQ(model->rowCount(), 24);
    for (int r = 0; r < model->rowCount(); ++r) {
        for (std::size_t c = 0; c < 8; ++c) {
            ASSERT_EQ(model->row(r)[c], toQString(rows[static_cast<std::size_t>(r)].cells[c]));
        }
    }
    EXPECT_EQ(model->row(0)[7], QString::fromUtf16(u"IP-地址"));

    auto* details = control<QTextEdit>(names::kDetailsBox);
    EXPECT_TRUE(details->toPlainText().startsWith(QString::fromUtf16(u"连接名称：以太网\n")));
    // All 17 lines of the report fit the box, which has no scroll bar.
    EXPECT_EQ(details->document()->blockCount(), 17);
    EXPECT_LE(details->document()->size().height(), details->viewport()->height());
    EXPECT_TRUE(logText().contains(toQString(appBanner())));
    EXPECT_TRUE(logText().contains(QString::fromUtf16(u"：以太网 共计24个IP-地址.\n")));
    EXPECT_FALSE(logText().contains(u'\r'));
    EXPECT_EQ(widget(names::kLinkExchange)->isVisible(), !exchangeLink().address.empty());
}

TEST_F(MainWindowTest, HeaderClicksSortThroughThePresenterAndAreIgnoredWhileBusy) {
    startUp();
    chooseAdapter(kBusyAdapter);
    const IpListModel* model = view_->ipListModel();
    ASSERT_EQ(idColumn(model), numbers(1, 24));
    QHeaderView* header = view_->ipList()->horizontalHeader();
    const auto clickHeader = [&](int c) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(c) + 5, header->height() / 2));
    };
    const QString done = QString::fromUtf16(u"排序完成.");

    clickHeader(0);  // first sort: ascending
    ASSERT_TRUE(waitFor([&] { return logCount(done) == 1; }));
    EXPECT_EQ(idColumn(model), numbers(1, 24));
    clickHeader(0);  // second: descending, the IDs move with their rows
    ASSERT_TRUE(waitFor([&] { return logCount(done) == 2; }));
    EXPECT_EQ(idColumn(model), numbers(24, 1));
    EXPECT_EQ(model->row(0)[1], QStringLiteral("192.168.200.201"));
    EXPECT_TRUE(widget(names::kRefreshButton)->isEnabled());

    const int workers = workers_.started();
    presenter_->setBusy(true);
    clickHeader(2);
    QTest::qWait(50);
    EXPECT_EQ(workers_.started(), workers);
    EXPECT_EQ(logCount(done), 2);
    presenter_->setBusy(false);
}

TEST_F(MainWindowTest, ASortKeepsTheSameRowsSelectedWhereverTheyMove) {
    startUp();
    chooseAdapter(kBusyAdapter);
    QTableView* list = view_->ipList();
    const IpListModel* model = view_->ipListModel();
    const auto clickRow = [&](int row, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                          list->visualRect(model->index(row, 1)).center());
    };
    clickRow(2, {});
    clickRow(5, Qt::ControlModifier);
    clickRow(20, Qt::ControlModifier);
    const auto selectedAddresses = [&] {
        QStringList addresses;
        for (int r = 0; r < model->rowCount(); ++r) {
            bool whole = true;
            bool any = false;
            for (int c : {0, 1, 2, 6, 7}) {
                const bool selected = list->selectionModel()->isSelected(model->index(r, c));
                whole = whole && selected;
                any = any || selected;
            }
            EXPECT_EQ(any, whole) << "row " << r << " is selected in part";
            if (whole) {
                addresses << model->row(r)[1];
            }
        }
        addresses.sort();
        return addresses.join(u' ').toStdString();
    };
    const std::string chosen = "192.168.1.12 192.168.1.15 192.168.1.30";
    ASSERT_EQ(selectedAddresses(), chosen);

    QHeaderView* header = list->horizontalHeader();
    const QString done = QString::fromUtf16(u"排序完成.");
    for (int sorts = 1; sorts <= 2; ++sorts) {  // ascending, then descending: the rows move
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
        ASSERT_TRUE(waitFor([&] { return logCount(done) == sorts; }));
    }
    ASSERT_EQ(model->row(0)[1].toStdString(), "192.168.200.201");
    EXPECT_EQ(selectedAddresses(), chosen);
    EXPECT_EQ(list->selectionModel()->selectedRows().size(), 3);
    ASSERT_TRUE(list->currentIndex().isValid());
    EXPECT_EQ(model->row(list->currentIndex().row())[1].toStdString(), "192.168.1.30")
        << "the current cell moves with its row too";

    // A new fill of the list is new rows: nothing of them is selected.
    control<QPushButton>(names::kRefreshButton)->click();
    EXPECT_EQ(selectedAddresses(), "");
}

TEST_F(MainWindowTest, ChoosingAnAdapterInTheBoxShowsItButFillingTheBoxDoesNot) {
    startUp();
    auto* combo = control<QComboBox>(names::kAdapterCombo);
    const auto items = presenter_->comboItems();
    const auto rowsBefore = presenter_->rows();

    view_->setComboItems(items, 0);  // programmatic: the presenter isn't told
    EXPECT_EQ(combo->currentIndex(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(presenter_->comboSelectedIndex(), 2);
    EXPECT_EQ(presenter_->rows(), rowsBefore);

    view_->setComboItems(items, 1);
    QTest::keyClick(combo, Qt::Key_Up);  // the user steps to the previous adapter
    EXPECT_EQ(presenter_->comboSelectedIndex(), 0);
    const IpListModel* model = view_->ipListModel();
    ASSERT_GT(model->rowCount(), 0);
    EXPECT_EQ(model->row(0)[5], QString::number(items[0].adapterIndex));
}

TEST_F(MainWindowTest, CheckBoxesTakeEffectAtTheNextRefresh) {
    startUp();
    chooseAdapter(kBusyAdapter);
    const IpListModel* model = view_->ipListModel();
    control<QCheckBox>(names::kCheckGateway)->click();
    EXPECT_TRUE(presenter_->kindChecked(inventory::AddressKind::gateway));
    EXPECT_EQ(model->rowCount(), 24) << "nothing changes before the next display";

    control<QPushButton>(names::kRefreshButton)->click();
    EXPECT_TRUE(logText().contains(QString::fromUtf16(u"刷新显示完成.")));
    ASSERT_EQ(model->rowCount(), 25);
    EXPECT_EQ(model->row(24)[1], QStringLiteral("192.168.1.1"));
    EXPECT_EQ(model->row(24)[7], QString::fromUtf16(u"IP-网关"));

    control<QCheckBox>(names::kCheckAddress)->click();
    EXPECT_FALSE(presenter_->kindChecked(inventory::AddressKind::address));
}

TEST_F(MainWindowTest, AboutItemOpensTheAboutBoxOwnedByTheWindow) {
    QMessageBox* seen = nullptr;
    QString title;
    QTimer::singleShot(0, [&] {
        seen = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (seen != nullptr) {
            title = seen->windowTitle();
            EXPECT_EQ(seen->icon(), QMessageBox::Information);
            EXPECT_EQ(seen->parentWidget(), view_.get());
            EXPECT_TRUE(seen->text().startsWith(QStringLiteral("nicops ")));
            seen->accept();
        }
    });
    view_->listMenu()->findChild<QAction*>(QString::fromUtf16(u"关于"))->trigger();
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(title, QString::fromUtf16(u"关于"));
}

}  // namespace
}  // namespace nicops::ui::qt::testing
