#include "ui/qt/qt_main_view.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

#include "inventory/snapshot.h"
#include "ui/main_presenter.h"
#include "ui/qt/ip_list_model.h"
#include "ui/qt/qt_add_range_dialog.h"
#include "ui/qt/qt_clipboard.h"
#include "ui/qt/qt_settings_dialog.h"
#include "ui/qt/qt_tcpip_dialog.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/ui_call_queue.h"
#include "ui/qt/window_font.h"

namespace nicops::ui::qt {
namespace {

using inventory::AddressKind;

// The check boxes and the address kind each one shows.
constexpr std::pair<std::string_view, AddressKind> kKindBoxes[] = {
    {names::kCheckAddress, AddressKind::address},
    {names::kCheckGateway, AddressKind::gateway},
    {names::kCheckDhcp, AddressKind::dhcpServer},
    {names::kCheckPrimaryWins, AddressKind::primaryWins},
    {names::kCheckSecondaryWins, AddressKind::secondaryWins},
};

// The details report's line height and font size: its 17 lines fill the box's 191 pixels.
constexpr int kDetailsLinePixels = 11;
// The smallest text the list is drawn in to fit its columns; below it columns grow instead.
constexpr int kMinListPixels = 10;

// A transparent label that reacts to a left-button press, with a hand cursor.
class LinkLabel final : public QLabel {
public:
    LinkLabel(const QString& text, QWidget* parent, std::function<void()> onPress)
        : QLabel(text, parent), onPress_(std::move(onPress)) {
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            onPress_();
        }
        QLabel::mousePressEvent(event);
    }

private:
    std::function<void()> onPress_;
};

// The widest texts a list column holds, '0' standing for any digit; none for hidden columns.
QStringList widestTexts(std::size_t column) {
    switch (column) {
        case list_column::kId:
            return {QStringLiteral("000000")};  // row numbers: six digits for any real list
        case list_column::kAddress:
        case list_column::kMask:
        case list_column::kExternalAddress:
            return {QStringLiteral("000.000.000.000")};  // addresses and masks
        case list_column::kKind: {
            QStringList kinds;
            for (AddressKind kind : inventory::kAllAddressKinds) {
                kinds << toQString(inventory::kindText(kind));
            }
            return kinds;
        }
        default:
            return {};
    }
}

// What the style leaves around a cell's text: the item text margin on either side.
int cellTextMargins(const QWidget* list) {
    return 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
}

// The width a column needs to show its widest text whole in `font`; 0 for a hidden column.
int neededColumnWidth(const QFont& font, std::size_t column, int margins) {
    const QFontMetricsF metrics(font);
    qreal widest = 0;
    for (const QString& text : widestTexts(column)) {
        for (char16_t digit = u'0'; digit <= u'9'; ++digit) {
            widest = std::max(widest,
                              metrics.horizontalAdvance(QString(text).replace(u'0', QChar(digit))));
        }
    }
    return widest > 0 ? static_cast<int>(std::ceil(widest)) + margins : 0;
}

// The layout's column widths were made for a font whose digits are 6 pixels wide; fonts here
// are often wider. The list keeps the window's font at the largest size, down to
// kMinListPixels, at which every column's widest text fits the layout's width.
QFont listFont(const QFont& windowFont, int margins) {
    QFont font = windowFont;
    for (int pixels = QFontInfo(windowFont).pixelSize();; --pixels) {
        font.setPixelSize(pixels);
        bool fits = true;
        for (std::size_t c = 0; c < kIpListColumns.size() && fits; ++c) {
            fits = neededColumnWidth(font, c, margins) <= kIpListColumns[c].width;
        }
        if (fits || pixels <= kMinListPixels) {
            return font;
        }
    }
}

void setDetailsText(QTextEdit* box, const QString& text) {
    box->setPlainText(text);
    QTextBlockFormat lines;
    lines.setLineHeight(kDetailsLinePixels, QTextBlockFormat::FixedHeight);
    QTextCursor all(box->document());
    all.select(QTextCursor::Document);
    all.mergeBlockFormat(lines);
}

}  // namespace

QtMainView::QtMainView(QWidget* parent)
    : QWidget(parent), clipboard_(std::make_unique<QtClipboard>()) {
    installFontSubstitutes();
    calls_ = new UiCallQueue(this);

    setFont(windowFont(font()));
    setWindowTitle(toQString(kMainWindow.title));
    setFixedSize(kMainWindow.width, kMainWindow.height);
    move(kMainWindow.left, kMainWindow.top);

    for (const ControlSpec& entry : kMainControls) {
        QWidget* widget = buildControl(entry);
        widget->setObjectName(toQString(entry.name));
        widget->setGeometry(entry.left, entry.top, entry.width, entry.height);
        if (!entry.fontFamily.empty()) {
            QFont f = widget->font();
            f.setFamily(toQString(entry.fontFamily));
            widget->setFont(f);
        }
        if (entry.background != 0) {
            QPalette palette = widget->palette();
            palette.setColor(QPalette::Base, QColor::fromRgb(entry.background));
            widget->setPalette(palette);
        }
        controls_.emplace(std::string(entry.name), Control{entry.kind, widget});
    }
    buildListMenu();
}

QtMainView::~QtMainView() = default;

QWidget* QtMainView::buildControl(const ControlSpec& entry) {
    const QString caption = toQString(entry.caption);
    switch (entry.kind) {
        case ControlKind::listView:
            buildListView();
            return ipList_;
        case ControlKind::label:
            return new QLabel(caption, this);
        case ControlKind::linkLabel:
            return new LinkLabel(caption, this, [this, name = entry.name] {
                if (presenter_ != nullptr) {
                    presenter_->openLink(name);
                }
            });
        case ControlKind::comboBox:
            combo_ = new QComboBox(this);
            // activated() comes only from the user, never from setComboItems.
            connect(combo_, &QComboBox::activated, this, [this](int index) {
                if (presenter_ != nullptr) {
                    presenter_->adapterActivated(index);
                }
            });
            return combo_;
        case ControlKind::pushButton: {
            auto* button = new QPushButton(caption, this);
            if (entry.name == names::kRefreshButton) {
                connect(button, &QPushButton::clicked, this, [this] {
                    if (presenter_ != nullptr) {
                        presenter_->refreshClicked();
                    }
                });
            }
            return button;
        }
        case ControlKind::checkBox: {
            auto* box = new QCheckBox(caption, this);
            box->setChecked(entry.checked);
            for (const auto& [name, kind] : kKindBoxes) {
                if (name == entry.name) {
                    connect(box, &QCheckBox::toggled, this, [this, kind = kind](bool checked) {
                        if (presenter_ != nullptr) {
                            presenter_->setKindChecked(kind, checked);
                        }
                    });
                }
            }
            return box;
        }
        case ControlKind::detailsBox: {
            // A rich-text box only for its fixed line height: all 17 report lines fit the
            // box's 191 pixels, which it has no scroll bar to go beyond.
            auto* box = new QTextEdit(this);
            box->setAcceptRichText(false);
            box->document()->setDocumentMargin(1);
            QFont small = box->font();
            small.setPixelSize(kDetailsLinePixels);
            box->setFont(small);
            box->setReadOnly(true);
            box->setFrameShape(QFrame::NoFrame);
            box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            box->setFocusPolicy(Qt::ClickFocus);  // not reached with Tab
            box->setUndoRedoEnabled(false);
            return box;
        }
        case ControlKind::logBox:
            log_ = new QPlainTextEdit(this);
            log_->setReadOnly(true);
            log_->setFrameStyle(QFrame::Box | QFrame::Plain);
            log_->setLineWidth(1);
            log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            log_->setUndoRedoEnabled(false);
            return log_;
        case ControlKind::rangeBox:
        case ControlKind::ipv4Box:
        case ControlKind::lineEdit:
        case ControlKind::numberBox:
        case ControlKind::radioButton:
        case ControlKind::groupBox:
            break;  // the dialogs'
    }
    return new QWidget(this);
}

void QtMainView::buildListView() {
    ipList_ = new QTableView(this);
    model_ = new IpListModel(ipList_);
    ipList_->setModel(model_);
    ipList_->setSortingEnabled(false);  // the presenter sorts
    ipList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    ipList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ipList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ipList_->setShowGrid(false);
    ipList_->setWordWrap(false);
    ipList_->setCornerButtonEnabled(false);
    ipList_->setTabKeyNavigation(false);
    const int margins = cellTextMargins(ipList_);
    ipList_->setFont(listFont(ipList_->font(), margins));

    QHeaderView* rowsHeader = ipList_->verticalHeader();
    rowsHeader->hide();
    rowsHeader->setSectionResizeMode(QHeaderView::Fixed);  // fixed heights keep 20,000 rows cheap
    rowsHeader->setDefaultSectionSize(ipList_->fontMetrics().height() + 4);

    QHeaderView* header = ipList_->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (std::size_t c = 0; c < kIpListColumns.size(); ++c) {
        const int column = static_cast<int>(c);
        if (kIpListColumns[c].width == 0) {
            ipList_->setColumnHidden(column, true);
        } else {
            // A column still too narrow at the smallest size grows to its widest text.
            header->resizeSection(column, std::max(kIpListColumns[c].width,
                                                   neededColumnWidth(ipList_->font(), c, margins)));
        }
    }
    connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
        if (presenter_ != nullptr) {
            presenter_->sortIpList(column);
        }
    });

    // Every change of the selection goes to the presenter, which deletes the rows it recorded.
    connect(ipList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &QtMainView::reportSelection);

    // Right-click on a row or on empty space; the position comes in viewport coordinates.
    ipList_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ipList_, &QWidget::customContextMenuRequested, this, &QtMainView::openListMenu);
}

void QtMainView::buildListMenu() {
    listMenu_ = new QMenu(this);
    listMenu_->setObjectName(toQString(menu::kMenuName));
    for (const MenuItemSpec& item : kListMenu) {
        if (item.caption.empty()) {
            listMenu_->addSeparator();
            continue;
        }
        QAction* action = listMenu_->addAction(toQString(item.caption));
        action->setObjectName(toQString(item.caption));
        menuItems_.emplace(std::string(item.caption), MenuItem{action});
    }
    const auto route = [this](std::string_view caption, std::function<void(MainPresenter&)> event) {
        connect(menuItems_.at(std::string(caption)).action, &QAction::triggered, this,
                [this, event = std::move(event)] {
                    if (presenter_ != nullptr) {
                        event(*presenter_);
                    }
                });
    };
    route(menu::kProperties, [](MainPresenter& p) { p.propertiesChosen(); });
    route(menu::kAdd, [](MainPresenter& p) { p.addChosen(); });
    route(menu::kDelete, [](MainPresenter& p) { p.deleteChosen(); });
    route(menu::kCopyAll, [](MainPresenter& p) { p.copyAllChosen(); });
    route(menu::kLookup, [](MainPresenter& p) { p.lookupChosen(); });
    route(menu::kSettings, [](MainPresenter& p) { p.settingsChosen(); });
    route(menu::kAbout, [](MainPresenter& p) { p.showAbout(); });
}

void QtMainView::attach(MainPresenter& presenter) {
    presenter_ = &presenter;
}

void QtMainView::reportSelection() {
    if (presenter_ == nullptr) {
        return;
    }
    std::vector<std::size_t> rows;
    for (const QModelIndex& index : ipList_->selectionModel()->selectedRows()) {
        rows.push_back(static_cast<std::size_t>(index.row()));
    }
    presenter_->listSelectionChanged(std::move(rows));
}

void QtMainView::setCloseHandler(std::function<void()> handler) {
    closeHandler_ = std::move(handler);
}

void QtMainView::openListMenu(const QPoint& viewportPos) {
    listMenu_->popup(ipList_->viewport()->mapToGlobal(viewportPos));
}

void QtMainView::closeEvent(QCloseEvent* event) {
    if (closeHandler_) {
        closeHandler_();
    }
    QWidget::closeEvent(event);
}

const QtMainView::Control* QtMainView::control(std::string_view name) const {
    auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : &it->second;
}

// ---- MainView ---------------------------------------------------------------------------------

void QtMainView::setWindowCaption(const std::string& caption) {
    calls_->run([this, text = toQString(caption)] { setWindowTitle(text); });
}

void QtMainView::setControlText(std::string_view name, const std::string& text) {
    const Control* target = control(name);
    if (target == nullptr) {
        return;
    }
    calls_->run([target = *target, text = displayText(text)] {
        switch (target.kind) {
            case ControlKind::label:
            case ControlKind::linkLabel:
                static_cast<QLabel*>(target.widget)->setText(text);
                break;
            case ControlKind::pushButton:
            case ControlKind::checkBox:
                static_cast<QAbstractButton*>(target.widget)->setText(text);
                break;
            case ControlKind::detailsBox:
                setDetailsText(static_cast<QTextEdit*>(target.widget), text);
                break;
            case ControlKind::logBox:
                static_cast<QPlainTextEdit*>(target.widget)->setPlainText(text);
                break;
            case ControlKind::listView:
            case ControlKind::comboBox:
                break;  // their content comes through setListRows / setComboItems
            case ControlKind::rangeBox:
            case ControlKind::ipv4Box:
            case ControlKind::lineEdit:
            case ControlKind::numberBox:
            case ControlKind::radioButton:
            case ControlKind::groupBox:
                break;  // the dialogs'
        }
    });
}

void QtMainView::setControlEnabled(std::string_view name, bool enabled) {
    if (const Control* target = control(name)) {
        calls_->run([widget = target->widget, enabled] { widget->setEnabled(enabled); });
    }
}

void QtMainView::setControlVisible(std::string_view name, bool visible) {
    if (const Control* target = control(name)) {
        calls_->run([widget = target->widget, visible] { widget->setVisible(visible); });
    }
}

void QtMainView::setMenuItemEnabled(std::string_view caption, bool enabled) {
    auto it = menuItems_.find(caption);
    if (it == menuItems_.end()) {
        return;
    }
    calls_->run([action = it->second.action, enabled] { action->setEnabled(enabled); });
}

void QtMainView::setComboItems(const std::vector<ComboItem>& items, int selected) {
    std::vector<std::pair<QString, std::uint32_t>> converted;
    converted.reserve(items.size());
    for (const ComboItem& item : items) {
        converted.emplace_back(toQString(item.text), item.adapterIndex);
    }
    calls_->run([this, converted = std::move(converted), selected] {
        const QSignalBlocker quiet(combo_);
        combo_->clear();
        for (const auto& [text, index] : converted) {
            combo_->addItem(text, QVariant::fromValue(index));
        }
        combo_->setCurrentIndex(selected);
    });
}

void QtMainView::setComboSelection(int selected) {
    calls_->run([this, selected] {
        const QSignalBlocker quiet(combo_);
        combo_->setCurrentIndex(selected);
    });
}

void QtMainView::setListRows(const std::vector<IpListRow>& rows) {
    calls_->run([this, converted = IpListModel::convert(rows)]() mutable {
        model_->setRows(std::move(converted));
        reportSelection();  // a reset clears the selection without a signal
    });
}

void QtMainView::reorderListRows(const std::vector<IpListRow>& rows,
                                 const std::vector<std::size_t>& from) {
    calls_->run([this, converted = IpListModel::convert(rows), from]() mutable {
        model_->reorderRows(std::move(converted), from);
        reportSelection();  // the same rows selected at their new positions
    });
}

void QtMainView::appendLogText(const std::string& lines) {
    calls_->run([this, text = displayText(lines)] {
        // At the very end whatever the user selected, then on to the newest line.
        log_->moveCursor(QTextCursor::End);
        log_->insertPlainText(text);
        log_->ensureCursorVisible();
        QScrollBar* bar = log_->verticalScrollBar();
        bar->setValue(bar->maximum());
    });
}

void QtMainView::showMessage(const std::string& text, const std::string& title, MessageIcon icon) {
    calls_->run([this, text = displayText(text), title = toQString(title), icon] {
        QMessageBox box(
            icon == MessageIcon::error ? QMessageBox::Critical : QMessageBox::Information, title,
            text, QMessageBox::Ok, this);
        box.exec();
    });
}

void QtMainView::openUrl(const std::string& address) {
    calls_->run([url = QUrl(toQString(address))] { QDesktopServices::openUrl(url); });
}

void QtMainView::post(std::function<void()> task) {
    calls_->run(std::move(task));
}

void QtMainView::openAddDialog() {
    calls_->run([this] {
        if (presenter_ == nullptr) {
            return;
        }
        auto* dialog = new QtAddRangeDialog(*presenter_, this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        addDialog_ = dialog;
        dialog->show();
    });
}

void QtMainView::openSettingsDialog() {
    calls_->run([this] {
        if (presenter_ == nullptr) {
            return;
        }
        auto* dialog = new QtSettingsDialog(*presenter_, *clipboard_, this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        settingsDialog_ = dialog;
        dialog->show();
    });
}

void QtMainView::openTcpipDialog() {
    calls_->run([this] {
        if (presenter_ == nullptr) {
            return;
        }
        auto* dialog = new QtTcpipDialog(*presenter_, this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        tcpipDialog_ = dialog;
        dialog->show();
    });
}

QtTcpipDialog* QtMainView::tcpipDialog() const {
    return tcpipDialog_.data();
}

platform::Clipboard* QtMainView::clipboard() {
    return clipboard_.get();
}

QtSettingsDialog* QtMainView::settingsDialog() const {
    return settingsDialog_.data();
}

QtAddRangeDialog* QtMainView::addDialog() const {
    return addDialog_.data();
}

}  // namespace nicops::ui::qt
