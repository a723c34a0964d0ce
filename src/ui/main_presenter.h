// All behaviour of the main window: display and refresh of the adapters, the IP list and its
// sort, the busy state, the log pane and start-up. Views only forward events here and draw what
// they are told; nicopsctl drives the same presenter through a console view.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/snapshot.h"
#include "ipops/delete_addresses.h"
#include "ipops/operation_host.h"
#include "ui/app_context.h"
#include "ui/dialog_host.h"
#include "ui/main_view.h"

namespace nicops::ui {

// Starts `task` on a worker thread that nobody waits for.
using WorkerStarter = std::function<void(std::function<void()>)>;
WorkerStarter detachedWorkers();

// "HH:MM:SS：message\r\n" for the given local time of day.
std::string formatLogLine(int hour, int minute, int second, std::string_view message);

class MainPresenter final : public DialogHost {
public:
    MainPresenter(AppContext& context, MainView& view,
                  WorkerStarter startWorker = detachedWorkers());

    // Start-up: reads the settings file at iniPath, logs the banner, starts the first display
    // on a worker. False when the program must end (the HTTP library can't be used).
    bool startUp(const std::string& iniPath);
    void firstDisplay();
    void refreshDisplay() override;
    void reloadDisplay() override;
    // The adapter box's selection changed (comboIndex -1: nothing selected).
    void selectAdapter(int comboIndex);

    // The window's events. Each is ignored while its control is disabled: the presenter's own
    // state decides, since a view may carry a disable out a moment later.
    void refreshClicked();
    void adapterActivated(int comboIndex);
    void showCurrentAdapter() override;
    // A header click: sorts on a worker unless an operation is running. The sort is of the
    // rows shown at the click: when the list is filled again before the sort ends, its result
    // is dropped (newer rows are never replaced by older ones) and the direction stays as it
    // was, so the next click sorts the way the dropped one would have. "排序完成." is logged
    // either way: it marks the end of the operation, whose controls come back with it.
    void sortIpList(int column);

    // Parts of the display, also used on their own by nicopsctl.
    void loadAdapters();  // new snapshot and adapter items; the view is told by selectComboItem
    void selectComboItem(int comboIndex);  // selection and currentAdapterIndex, nothing shown
    std::int32_t writeDetailsReport();
    void fillIpList();
    void logLinkState(std::int32_t status);

    // Busy periods nest: controls come back only when the outermost one ends.
    void setBusy(bool busy) override;
    // One time-stamped line; callable from any thread. Lines reach the view in batches, in order.
    void appendLog(std::string_view message) override;

    // The list menu's "关于" item: the about box.
    void showAbout();
    // A link label was pressed: its address opens in the browser.
    void openLink(std::string_view labelName);

    // The list menu's "添加 IP-地址": the view opens the add dialog, whose presenter starts the
    // add on a worker (ipops::addIpRanges, this presenter its host).
    void addChosen();
    // The list menu's "删除 IP-地址": the selected rows deleted on the calling (UI) thread
    // (ipops::deleteSelectedAddresses, this presenter its host); where the changes run
    // privileged elsewhere, a selection is deleted there on a worker, busy from the call on.
    void deleteChosen();
    // The list menu's "复制所有网卡IP": the export (external::exportAddressesToClipboard, this
    // presenter its host) on a worker, to the view's clipboard; nothing when the view has none.
    void copyAllChosen();
    // The list menu's "查询所有网卡IP对应外网IP": the lookup (external::queryExternalAddresses,
    // this presenter its host) on a worker.
    void lookupChosen();
    // The list menu's "软件设置": the view opens the settings window (SettingsPresenter).
    void settingsChosen();
    // The list menu's "网卡属性设置" (enabled while the current connection is connected): the
    // view opens the TCP/IPv4 properties dialog (TcpipPropertiesPresenter).
    void propertiesChosen();
    // The list's selection changed: `rows` are the selected rows' positions in the rows the
    // view shows, in any order. A view reports its selection again after new rows (which
    // clear it) and after a sort's reordering.
    void listSelectionChanged(std::vector<std::size_t> rows);
    // The selected rows' cells the delete reads, in ascending row order.
    std::vector<ipops::SelectedRow> selectedRows() const;

    // The dialogs' host: they start their work on this window's workers and switch the
    // adapter the box shows.
    void startWorker(std::function<void()> task) override;
    AppContext& context() const override { return context_; }
    std::string currentConnectionName() const override { return comboText(); }

    // A check box of the address kinds was toggled; read at the next display.
    void setKindChecked(inventory::AddressKind kind, bool checked);

    // What the window shows, as the presenter last told the view.
    std::uint32_t currentAdapterIndex() const override;
    // The adapter box's text: the current adapter's connection name ("" when none is chosen).
    std::string comboText() const;
    std::vector<ComboItem> comboItems() const;
    int comboSelectedIndex() const;
    std::vector<IpListRow> rows() const;
    bool controlEnabled(std::string_view nameOrMenuCaption) const;
    bool kindChecked(inventory::AddressKind kind) const;

private:
    // refreshDisplay, and with `logged` false reloadDisplay.
    void refresh(bool logged);
    // showCurrentAdapter, with or without its log lines.
    void showAdapter(bool logged);
    // fillIpList, with or without the count line.
    void fillRows(bool logCount);
    void enableControls(std::span<const std::string_view> names, bool enabled, bool respectBusy);
    // Tells the view; menu items the view doesn't offer stay disabled.
    void showEnabled(std::span<const std::string_view> names, bool enabled);
    // Sorts the rows of generation `generation` on `column`; the result is dropped when the
    // rows have changed since (see sortIpList).
    void sortRows(int column, std::uint64_t generation);
    // Stores rows as the list's new rows and sends them to the view, both under listMutex_.
    void publishRows(std::vector<IpListRow> rows);
    void flushLog();

    AppContext& context_;
    MainView& view_;
    WorkerStarter startWorker_;

    mutable std::mutex stateMutex_;  // guards everything below
    std::vector<ComboItem> comboItems_;
    int comboSelected_ = -1;
    bool comboItemsShown_ = false;  // the view shows comboItems_ already
    std::uint32_t currentAdapterIndex_ = kNoAdapter;
    std::vector<IpListRow> rows_;
    std::vector<std::size_t> selection_;  // positions in rows_, ascending
    std::uint64_t rowsGeneration_ = 0;    // bumped by every change of rows_, fills and sorts
    std::array<bool, 5> kindChecked_;     // from the check boxes' start state
    std::map<std::string, bool, std::less<>> enabled_;
    int busyDepth_ = 0;
    bool sortAscending_ = false;  // toggled by every sort that lands: the first one ascends

    // Held while rows_ changes and the view is told, so the view gets the rows in the order
    // rows_ took them. Taken before stateMutex_, never while holding it.
    std::mutex listMutex_;

    std::mutex logMutex_;
    std::string pendingLog_;
    bool logFlushPosted_ = false;
};

}  // namespace nicops::ui
