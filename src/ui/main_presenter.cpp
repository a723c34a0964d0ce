#include "ui/main_presenter.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <thread>

#include "external/address_lookup.h"
#include "external/clipboard_export.h"
#include "inventory/details_report.h"
#include "platform/ipv4_text.h"
#include "text/text_functions.h"
#include "ui/app_identity.h"
#include "ui/layout_tables.h"

namespace nicops::ui {

using inventory::AddressKind;
using inventory::kindSlot;
using inventory::kindText;
using text::numberToText;

namespace {

// The value of a dotted address for sorting; 0 for anything else.
std::uint32_t addressValue(const std::string& text) {
    return platform::parseIpv4(text).value_or(0);
}

}  // namespace

WorkerStarter detachedWorkers() {
    return [](std::function<void()> task) { std::thread(std::move(task)).detach(); };
}

std::string formatLogLine(int hour, int minute, int second, std::string_view message) {
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d", hour, minute, second);
    std::string line;
    line.reserve(message.size() + 14);
    line += stamp;
    line += "：";
    line += message;
    line += "\r\n";
    return line;
}

namespace {

// The address kinds' check boxes, in the kinds' order.
constexpr std::array<std::string_view, 5> kKindBoxes = {names::kCheckAddress, names::kCheckGateway,
                                                        names::kCheckDhcp, names::kCheckPrimaryWins,
                                                        names::kCheckSecondaryWins};

// The controls each kind of work disables while it runs.
constexpr std::array<std::string_view, 1> kPropertiesItem = {menu::kProperties};
constexpr std::array<std::string_view, 4> kSelectionLocks = {
    names::kRefreshButton, names::kAdapterCombo, menu::kAdd, menu::kDelete};
constexpr std::array<std::string_view, 5> kSortLocks = {names::kRefreshButton, names::kAdapterCombo,
                                                        menu::kAdd, menu::kDelete, menu::kLookup};
constexpr std::array<std::string_view, 6> kBusyLocks = {
    names::kRefreshButton, names::kAdapterCombo, menu::kAdd,
    menu::kDelete,         menu::kLookup,        menu::kCopyAll};

std::array<bool, 5> initialKindChecks() {
    std::array<bool, 5> checked{};
    for (std::size_t i = 0; i < kKindBoxes.size(); ++i) {
        for (const ControlSpec& control : kMainControls) {
            checked[i] = checked[i] || (control.name == kKindBoxes[i] && control.checked);
        }
    }
    return checked;
}

}  // namespace

MainPresenter::MainPresenter(AppContext& context, MainView& view, WorkerStarter startWorker)
    : context_(context),
      view_(view),
      startWorker_(std::move(startWorker)),
      kindChecked_(initialKindChecks()) {}

// ---- start-up ---------------------------------------------------------------------------------

bool MainPresenter::startUp(const std::string& iniPath) {
    enableControls(kPropertiesItem, false, false);
    if (!context_.httpLibraryUsable()) {
        view_.showMessage("缺少 Libcurl.dll", "错误", MessageIcon::error);
        return false;
    }
    std::string settingsNotice;
    context_.settings.set(settings::loadSettings(iniPath, &settingsNotice));
    appendLog(appBanner());
    if (!settingsNotice.empty()) {
        appendLog(settingsNotice);  // a settings path that is no file: the defaults hold
    }
    startWorker_([this] { firstDisplay(); });
    view_.setWindowCaption(kAppTitle);
    for (auto [name, link] : {std::pair{names::kLinkExchange, exchangeLink()},
                              std::pair{names::kLinkIssues, issuesLink()}}) {
        view_.setControlText(name, link.caption);
        view_.setControlVisible(name, !link.address.empty());
    }
    return true;
}

// ---- display ----------------------------------------------------------------------------------

void MainPresenter::loadAdapters() {
    inventory::AdapterSnapshot fresh;
    inventory::buildAdapterSnapshot(context_.backend, fresh);
    std::vector<ComboItem> items;
    items.reserve(fresh.adapters.count());
    // The adapter box lists the adapters in the snapshot's order.
    for (const auto& [index, record] : fresh.adapters) {
        items.push_back({record.connectionName, index});
    }
    {
        std::lock_guard lock(context_.snapshotMutex);
        context_.snapshot = std::move(fresh);
    }
    std::lock_guard lock(stateMutex_);
    comboItems_ = std::move(items);
    comboItemsShown_ = false;  // the next selection shows the new items
    comboSelected_ = -1;
}

void MainPresenter::selectComboItem(int comboIndex) {
    std::vector<ComboItem> items;
    bool itemsShown = false;
    {
        std::lock_guard lock(stateMutex_);
        if (comboIndex < 0 || comboIndex >= static_cast<int>(comboItems_.size())) {
            comboIndex = -1;
        }
        comboSelected_ = comboIndex;
        currentAdapterIndex_ = comboIndex < 0
                                   ? kNoAdapter
                                   : comboItems_[static_cast<std::size_t>(comboIndex)].adapterIndex;
        itemsShown = comboItemsShown_;
        comboItemsShown_ = true;
        if (!itemsShown) {
            items = comboItems_;
        }
    }
    if (itemsShown) {
        view_.setComboSelection(comboIndex);
    } else {
        view_.setComboItems(items, comboIndex);
    }
}

void MainPresenter::firstDisplay() {
    setBusy(true);
    loadAdapters();
    selectComboItem(static_cast<int>(comboItems().size()) - 1);
    showCurrentAdapter();
    setBusy(false);
}

void MainPresenter::refreshDisplay() {
    refresh(true);
}

void MainPresenter::reloadDisplay() {
    refresh(false);
}

void MainPresenter::refresh(bool logged) {
    setBusy(true);
    const int remembered = comboSelectedIndex();
    loadAdapters();
    const int count = static_cast<int>(comboItems().size());
    selectComboItem(remembered < count ? remembered : 0);
    view_.setWindowCaption(kAppTitle);
    if (logged) {
        appendLog(appBanner());
    }
    showAdapter(logged);
    setBusy(false);
    if (logged) {
        appendLog("刷新显示完成.");
    }
}

void MainPresenter::selectAdapter(int comboIndex) {
    enableControls(kSelectionLocks, false, false);
    selectComboItem(comboIndex);
    showCurrentAdapter();
    enableControls(kSelectionLocks, true, true);
}

void MainPresenter::refreshClicked() {
    if (controlEnabled(names::kRefreshButton)) {
        refreshDisplay();
    }
}

void MainPresenter::adapterActivated(int comboIndex) {
    if (controlEnabled(names::kAdapterCombo)) {
        selectAdapter(comboIndex);
    }
}

void MainPresenter::showCurrentAdapter() {
    showAdapter(true);
}

void MainPresenter::showAdapter(bool logged) {
    const std::int32_t status = writeDetailsReport();
    fillRows(logged);
    if (logged) {
        logLinkState(status);
    }
    enableControls(kPropertiesItem, status == platform::kStatusConnected, false);
}

std::int32_t MainPresenter::writeDetailsReport() {
    const std::uint32_t current = currentAdapterIndex();
    inventory::AdapterRecord record;
    {
        std::lock_guard lock(context_.snapshotMutex);
        if (const auto* found = context_.snapshot.adapters.find(current)) {
            record = *found;
        }
    }
    const std::int32_t status = context_.networkQuery.queryConnectionStatus(comboText());
    view_.setControlText(names::kDetailsBox, inventory::buildDetailsReport(record, status));
    return status;
}

void MainPresenter::fillIpList() {
    fillRows(true);
}

void MainPresenter::fillRows(bool logCount) {
    const std::uint32_t current = currentAdapterIndex();
    std::array<bool, 5> checked{};
    {
        std::lock_guard lock(stateMutex_);
        checked = kindChecked_;
    }
    std::vector<IpListRow> rows;
    std::uint32_t addressCount = 0;
    {
        std::lock_guard lock(context_.snapshotMutex);
        const auto& snapshot = context_.snapshot;
        rows.reserve(checked[kindSlot(AddressKind::address)] ? snapshot.addresses.count() : 0);
        if (const auto* record = snapshot.adapters.find(current)) {
            addressCount = record->addressCount;
        }
        for (AddressKind kind : inventory::kAllAddressKinds) {
            if (!checked[kindSlot(kind)]) {
                continue;
            }
            for (const auto& [address, entry] : snapshot.table(kind)) {
                if (entry.adapterIndex != current) {
                    continue;
                }
                IpListRow row;
                row.kind = kind;
                row.context = entry.nteContext;
                row.cells = {numberToText(static_cast<std::int32_t>(rows.size() + 1)),
                             address,
                             entry.mask,
                             numberToText(entry.nteContext),
                             numberToText(entry.hasNext),
                             numberToText(entry.adapterIndex),
                             kind == AddressKind::address ? entry.externalAddress : std::string(),
                             std::string(kindText(kind))};
                rows.push_back(std::move(row));
            }
        }
    }
    publishRows(std::move(rows));
    if (logCount && checked[kindSlot(AddressKind::address)]) {
        appendLog(comboText() + " 共计" + numberToText(addressCount) + "个IP-地址.");
    }
}

void MainPresenter::publishRows(std::vector<IpListRow> rows) {
    std::lock_guard publishing(listMutex_);
    view_.setListRows(rows);
    std::lock_guard lock(stateMutex_);
    rows_ = std::move(rows);
    selection_.clear();  // new rows come unselected
    ++rowsGeneration_;
}

void MainPresenter::logLinkState(std::int32_t status) {
    for (const std::string& line :
         inventory::linkStateLines(comboText(), status, context_.networkQuery)) {
        appendLog(line);
    }
}

// ---- sorting ----------------------------------------------------------------------------------

void MainPresenter::sortIpList(int column) {
    std::uint64_t generation = 0;
    {
        // Tested and disabled in one step on the clicking thread, so a second click or a refresh
        // that comes before the worker runs finds the controls disabled.
        std::lock_guard lock(stateMutex_);
        auto refresh = enabled_.find(names::kRefreshButton);
        if (refresh != enabled_.end() && !refresh->second) {
            return;  // an operation is running
        }
        for (std::string_view name : kSortLocks) {
            enabled_[std::string(name)] = false;
        }
        generation = rowsGeneration_;
    }
    showEnabled(kSortLocks, false);
    startWorker_([this, column, generation] {
        sortRows(column, generation);
        appendLog("排序完成.");
        enableControls(kSortLocks, true, true);
    });
}

void MainPresenter::sortRows(int column, std::uint64_t generation) {
    if (column < 0 || static_cast<std::size_t>(column) >= list_column::kCount) {
        return;
    }
    std::vector<IpListRow> rows;
    bool ascending = false;
    {
        std::lock_guard lock(stateMutex_);
        ascending = !sortAscending_;
        rows = rows_;
    }
    const auto col = static_cast<std::size_t>(column);
    // Keys computed once per row: the address column by the address's numeric value, the
    // mask and text columns as text, the others as integers.
    const bool textual = col == list_column::kMask || col == list_column::kExternalAddress ||
                         col == list_column::kKind;
    std::vector<std::size_t> order(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        order[i] = i;
    }
    if (textual) {
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            const int c = text::compareText(rows[a].cells[col], rows[b].cells[col]);
            return ascending ? c < 0 : c > 0;
        });
    } else {
        std::vector<std::int64_t> keys(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            keys[i] = col == list_column::kAddress ? addressValue(rows[i].cells[col])
                                                   : text::textToInteger(rows[i].cells[col]);
        }
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return ascending ? keys[a] < keys[b] : keys[a] > keys[b];
        });
    }
    std::vector<IpListRow> sorted;
    sorted.reserve(rows.size());
    for (std::size_t i : order) {
        sorted.push_back(std::move(rows[i]));
    }
    // Written back only over the rows shown at the click; a fill (or another sort) since then
    // wins. Every change of rows_ holds listMutex_, so the generation can't move after the test.
    std::lock_guard publishing(listMutex_);
    {
        std::lock_guard lock(stateMutex_);
        if (rowsGeneration_ != generation) {
            return;
        }
    }
    view_.reorderListRows(sorted, order);
    std::lock_guard lock(stateMutex_);
    rows_ = std::move(sorted);
    // The selection stays on its rows, as the view keeps it; the view reports it again too.
    std::vector<std::size_t> moved(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        moved[order[i]] = i;
    }
    for (std::size_t& row : selection_) {
        row = moved[row];
    }
    std::sort(selection_.begin(), selection_.end());
    ++rowsGeneration_;
    sortAscending_ = ascending;
}

// ---- busy state and controls ------------------------------------------------------------------

void MainPresenter::setBusy(bool busy) {
    bool change = false;
    {
        std::lock_guard lock(stateMutex_);
        if (busy) {
            change = ++busyDepth_ == 1;
        } else if (busyDepth_ > 0) {
            change = --busyDepth_ == 0;
        }
    }
    if (change) {
        enableControls(kBusyLocks, !busy, false);
    }
}

void MainPresenter::enableControls(std::span<const std::string_view> names, bool enabled,
                                   bool respectBusy) {
    {
        std::lock_guard lock(stateMutex_);
        if (enabled && respectBusy && busyDepth_ > 0) {
            return;  // an operation still runs; it re-enables them when it ends
        }
        for (std::string_view name : names) {
            enabled_[std::string(name)] = enabled;
        }
    }
    showEnabled(names, enabled);
}

void MainPresenter::showEnabled(std::span<const std::string_view> names, bool enabled) {
    for (std::string_view name : names) {
        if (menuItem(name) != nullptr) {
            view_.setMenuItemEnabled(name, enabled && view_.offers(name));
        } else {
            view_.setControlEnabled(name, enabled);
        }
    }
}

bool MainPresenter::controlEnabled(std::string_view nameOrMenuCaption) const {
    std::lock_guard lock(stateMutex_);
    auto it = enabled_.find(nameOrMenuCaption);
    return it == enabled_.end() || it->second;
}

// ---- log pane ---------------------------------------------------------------------------------

void MainPresenter::appendLog(std::string_view message) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::string line = formatLogLine(local.tm_hour, local.tm_min, local.tm_sec, message);
    bool post = false;
    {
        std::lock_guard lock(logMutex_);
        pendingLog_ += line;
        post = !logFlushPosted_;
        logFlushPosted_ = true;
    }
    if (post) {
        view_.post([this] { flushLog(); });
    }
}

void MainPresenter::flushLog() {
    std::string batch;
    {
        std::lock_guard lock(logMutex_);
        batch.swap(pendingLog_);
        logFlushPosted_ = false;
    }
    if (!batch.empty()) {
        view_.appendLogText(batch);
    }
}

// ---- periphery --------------------------------------------------------------------------------

void MainPresenter::showAbout() {
    view_.showMessage(aboutText(), std::string(menu::kAbout), MessageIcon::information);
}

void MainPresenter::openLink(std::string_view labelName) {
    const LinkLabel link = labelName == names::kLinkExchange ? exchangeLink() : issuesLink();
    if (!link.address.empty()) {
        view_.openUrl(link.address);
    }
}

// ---- list menu operations -------------------------------------------------------------------

void MainPresenter::addChosen() {
    if (controlEnabled(menu::kAdd)) {
        view_.openAddDialog();
    }
}

void MainPresenter::deleteChosen() {
    if (!controlEnabled(menu::kDelete)) {
        return;
    }
    std::vector<ipops::SelectedRow> rows = selectedRows();
    ipops::PrivilegedChanges* privileged = context_.privileged;
    if (privileged == nullptr || rows.empty()) {  // an empty selection changes nothing
        ipops::deleteSelectedAddresses(context_.services(), *this, rows);
        return;
    }
    // The delete waits for the user's authorisation: on a worker, busy from the click on.
    setBusy(true);
    startWorker_([this, privileged, rows = std::move(rows)] {
        privileged->deleteAddresses(*this, rows);
        setBusy(false);
    });
}

void MainPresenter::copyAllChosen() {
    platform::Clipboard* clipboard = view_.clipboard();
    if (clipboard == nullptr || !controlEnabled(menu::kCopyAll)) {
        return;
    }
    startWorker_([this, clipboard, services = context_.services()] {
        external::exportAddressesToClipboard(services, *this, context_.settings, *clipboard);
    });
}

void MainPresenter::lookupChosen() {
    if (!controlEnabled(menu::kLookup)) {
        return;
    }
    startWorker_([this, services = context_.services()] {
        external::queryExternalAddresses(services, *this, context_.settings);
    });
}

void MainPresenter::settingsChosen() {
    view_.openSettingsDialog();
}

void MainPresenter::propertiesChosen() {
    if (controlEnabled(menu::kProperties)) {
        view_.openTcpipDialog();
    }
}

void MainPresenter::listSelectionChanged(std::vector<std::size_t> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::lock_guard lock(stateMutex_);
    selection_ = std::move(rows);
}

std::vector<ipops::SelectedRow> MainPresenter::selectedRows() const {
    std::lock_guard lock(stateMutex_);
    std::vector<ipops::SelectedRow> selected;
    selected.reserve(selection_.size());
    for (std::size_t row : selection_) {
        if (row < rows_.size()) {
            const IpListRow& shown = rows_[row];
            selected.push_back({shown.cells[list_column::kAddress], shown.context, shown.kind});
        }
    }
    return selected;
}

void MainPresenter::startWorker(std::function<void()> task) {
    startWorker_(std::move(task));
}

// ---- state ------------------------------------------------------------------------------------

void MainPresenter::setKindChecked(AddressKind kind, bool checked) {
    std::lock_guard lock(stateMutex_);
    kindChecked_[kindSlot(kind)] = checked;
}

bool MainPresenter::kindChecked(AddressKind kind) const {
    std::lock_guard lock(stateMutex_);
    return kindChecked_[kindSlot(kind)];
}

std::uint32_t MainPresenter::currentAdapterIndex() const {
    std::lock_guard lock(stateMutex_);
    return currentAdapterIndex_;
}

std::vector<ComboItem> MainPresenter::comboItems() const {
    std::lock_guard lock(stateMutex_);
    return comboItems_;
}

int MainPresenter::comboSelectedIndex() const {
    std::lock_guard lock(stateMutex_);
    return comboSelected_;
}

std::vector<IpListRow> MainPresenter::rows() const {
    std::lock_guard lock(stateMutex_);
    return rows_;
}

std::string MainPresenter::comboText() const {
    std::lock_guard lock(stateMutex_);
    return comboSelected_ < 0 ? std::string()
                              : comboItems_[static_cast<std::size_t>(comboSelected_)].text;
}

}  // namespace nicops::ui
