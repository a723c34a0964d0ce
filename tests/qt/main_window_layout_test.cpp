// The window as the layout tables describe it: controls, geometry, styles, list columns and the
// list menu.
#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTableView>

#include "qt_test_support.h"

namespace nicops::ui::qt::testing {
namespace {

using MainWindowLayoutTest = MainWindowFixture;

TEST_F(MainWindowLayoutTest, WindowAndEveryControlMatchTheLayoutTable) {
    EXPECT_EQ(view_->windowTitle(), QString::fromUtf16(u"汐桉网卡操作"));
    EXPECT_EQ(view_->size(), QSize(795, 474));
    EXPECT_EQ(view_->minimumSize(), view_->maximumSize()) << "fixed size";
    EXPECT_EQ(view_->pos(), QPoint(50, 50));

    for (const ControlSpec& entry : kMainControls) {
        SCOPED_TRACE(toQString(entry.name).toStdString());
        QWidget* w = widget(entry.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), QRect(entry.left, entry.top, entry.width, entry.height));
        const QString caption = toQString(entry.caption);
        if (auto* label = qobject_cast<QLabel*>(w)) {
            EXPECT_EQ(label->text(), caption);
            EXPECT_EQ(w->cursor().shape(), entry.kind == ControlKind::linkLabel
                                               ? Qt::PointingHandCursor
                                               : Qt::ArrowCursor);
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_EQ(button->text(), caption);
            EXPECT_EQ(button->isChecked(), entry.checked);
        }
    }
    // The names and captions went through the GBK conversion.
    EXPECT_NE(view_->findChild<QTableView*>(QString::fromUtf16(u"超级列表框1")), nullptr);
    EXPECT_NE(view_->findChild<QComboBox*>(QString::fromUtf16(u"组合框1")), nullptr);
    EXPECT_EQ(control<QCheckBox>(names::kCheckPrimaryWins)->text(),
              QString::fromUtf16(u"主-WINS-IP"));
    EXPECT_TRUE(control<QCheckBox>(names::kCheckAddress)->isChecked());
}

TEST_F(MainWindowLayoutTest, DetailsAndLogBoxesAreStyledAsTheTableSays) {
    auto* details = control<QTextEdit>(names::kDetailsBox);
    EXPECT_TRUE(details->isReadOnly());
    EXPECT_EQ(details->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(details->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(details->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_FALSE(details->focusPolicy() & Qt::TabFocus) << "not a tab stop";

    auto* log = control<QPlainTextEdit>(names::kLogBox);
    EXPECT_TRUE(log->isReadOnly());
    EXPECT_EQ(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(log->frameShape(), QFrame::Box);
    EXPECT_EQ(log->palette().color(QPalette::Base), QColor(236, 236, 236));

    if (!QFontDatabase::hasFamily(QStringLiteral("WenQuanYi Micro Hei"))) {
        GTEST_SKIP() << "WenQuanYi Micro Hei is not installed (scripts/deps installs it)";
    }
    // 黑体 and 微软雅黑 are drawn with the installed CJK font.
    EXPECT_EQ(QFontInfo(details->font()).family(), QStringLiteral("WenQuanYi Micro Hei"));
    EXPECT_EQ(QFontInfo(log->font()).family(), QStringLiteral("WenQuanYi Micro Hei"));
}

TEST_F(MainWindowLayoutTest, ListColumnsHaveTheTablesCaptionsAndWidthsAndNoBuiltInSort) {
    QTableView* list = view_->ipList();
    QHeaderView* header = list->horizontalHeader();
    const char16_t* const captions[] = {u"ID",   u"IP地址",   u"子网掩码", u"Context",
                                        u"Next", u"网卡索引", u"外网IP",   u"类型"};
    ASSERT_EQ(list->model()->columnCount(), 8);
    int visibleWidth = 0;
    for (int c = 0; c < 8; ++c) {
        const int width = kIpListColumns[static_cast<std::size_t>(c)].width;
        EXPECT_EQ(list->model()->headerData(c, Qt::Horizontal).toString(),
                  QString::fromUtf16(captions[c]));
        EXPECT_EQ(list->isColumnHidden(c), width == 0) << c;
        if (!list->isColumnHidden(c)) {
            EXPECT_GE(header->sectionSize(c), width) << c << ": never narrower than the table";
            visibleWidth += header->sectionSize(c);
        }
    }
    EXPECT_TRUE(list->isColumnHidden(3) && list->isColumnHidden(4) && list->isColumnHidden(5));
    EXPECT_FALSE(list->isSortingEnabled());
    EXPECT_TRUE(header->sectionsClickable());
    // With a full list's scroll bar the columns still need no horizontal scrolling.
    const int scrollBar = list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
    EXPECT_LE(visibleWidth, list->width() - 2 * list->frameWidth() - scrollBar);
}

TEST_F(MainWindowLayoutTest, ListShowsTheWidestAddressesMasksIdsAndKindsWhole) {
    // The widest texts each column can hold, measured in the list's own font.
    const std::vector<std::pair<int, QString>> widest = {
        {0, QStringLiteral("20000")},
        {0, QStringLiteral("199999")},
        {1, QStringLiteral("192.168.200.201")},
        {1, QStringLiteral("255.255.255.255")},
        {2, QStringLiteral("255.255.255.255")},
        {6, QStringLiteral("203.208.200.188")},
        {7, QString::fromUtf16(u" 主-WINS-IP")},
        {7, QString::fromUtf16(u"辅-WINS-IP")},
    };
    QTableView* list = view_->ipList();
    QHeaderView* header = list->horizontalHeader();
    // The style draws a cell's text inside its focus frame margin plus one pixel on each side.
    const int margins =
        2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
    const QFontMetrics metrics = list->fontMetrics();
    EXPECT_GE(QFontInfo(list->font()).pixelSize(), 10) << "still readable";
    std::vector<IpListRow> rows;
    for (const auto& [column, text] : widest) {
        SCOPED_TRACE(text.toStdString());
        const int room = header->sectionSize(column) - margins;
        EXPECT_LE(metrics.horizontalAdvance(text), room);
        EXPECT_EQ(metrics.elidedText(text, Qt::ElideRight, room).toStdString(), text.toStdString());
        IpListRow row;
        row.cells[static_cast<std::size_t>(column)] = toGbk(text);
        rows.push_back(row);
    }
    // And as the list's delegate measures the cells it draws.
    view_->setListRows(rows);
    for (int c : {0, 1, 2, 6, 7}) {
        EXPECT_LE(static_cast<QAbstractItemView*>(list)->sizeHintForColumn(c),
                  header->sectionSize(c))
            << c;
    }
}

TEST_F(MainWindowLayoutTest, ListMenuItemsInOrderAllOfferedAndBusyDisablesFour) {
    QMenu* menu = view_->listMenu();
    EXPECT_EQ(menu->objectName(), QString::fromUtf16(u"列表菜单"));
    QStringList entries;
    for (const QAction* action : menu->actions()) {
        entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
        if (!action->isSeparator()) {
            EXPECT_TRUE(action->isEnabled()) << "the Qt window offers every item";
        }
    }
    EXPECT_EQ(entries.join(u'|'), QString::fromUtf16(u"网卡属性设置|-|添加 IP-地址|删除 IP-地址|-|"
                                                     u"复制所有网卡IP|-|查询所有网卡IP对应外网IP|-|"
                                                     u"软件设置|关于"));

    const auto enabled = [&](std::string_view caption) {
        return menu->findChild<QAction*>(toQString(caption))->isEnabled();
    };
    const auto four = {menu::kAdd, menu::kDelete, menu::kCopyAll, menu::kLookup};
    presenter_->setBusy(true);
    EXPECT_FALSE(widget(names::kRefreshButton)->isEnabled());
    EXPECT_FALSE(widget(names::kAdapterCombo)->isEnabled());
    for (auto item : four) {
        EXPECT_FALSE(enabled(item));
    }
    EXPECT_TRUE(enabled(menu::kAbout)) << "about stays available while busy";

    presenter_->setBusy(false);
    EXPECT_TRUE(widget(names::kRefreshButton)->isEnabled());
    for (auto item : four) {
        EXPECT_TRUE(enabled(item));
    }
    view_->setMenuItemEnabled(menu::kAbout, false);
    EXPECT_FALSE(enabled(menu::kAbout));
}

TEST_F(MainWindowLayoutTest, RightClickOnARowOrOnEmptySpaceOpensTheListMenuThere) {
    startUp();
    chooseAdapter(12);  // the demo host's adapter with 24 addresses
    QTableView* list = view_->ipList();
    const QPoint onRow = list->visualRect(list->model()->index(0, 1)).center();
    const QPoint empty(list->viewport()->width() - 10, list->viewport()->height() - 10);
    ASSERT_GE(list->indexAt(onRow).row(), 0);
    ASSERT_LT(list->indexAt(empty).row(), 0);

    for (const QPoint& at : {onRow, empty}) {
        QMenu* menu = view_->listMenu();
        const QPoint global = list->viewport()->mapToGlobal(at);
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, global);
        QCoreApplication::sendEvent(list->viewport(), &click);
        EXPECT_TRUE(menu->isVisible());
        if (at == onRow) {  // near the screen's bottom the menu may be moved up to fit
            EXPECT_EQ(menu->pos(), global);
        }
        menu->hide();
    }
}

}  // namespace
}  // namespace nicops::ui::qt::testing
