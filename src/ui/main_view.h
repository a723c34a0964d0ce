// What the main window's presenter asks of a view. Every call only writes to the window; the
// presenter keeps the state it needs, so no call waits for an answer. A view may be called from
// any thread and must carry the call out on its UI thread in the order the calls were made.
// Texts are GBK.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/snapshot.h"
#include "platform/clipboard.h"

namespace nicops::ui {

// The IP list's columns, in the list's order.
namespace list_column {
inline constexpr std::size_t kId = 0;
inline constexpr std::size_t kAddress = 1;          // IP地址
inline constexpr std::size_t kMask = 2;             // 子网掩码
inline constexpr std::size_t kContext = 3;          // Context, as a signed 32-bit decimal
inline constexpr std::size_t kNext = 4;             // Next
inline constexpr std::size_t kAdapterIndex = 5;     // 网卡索引
inline constexpr std::size_t kExternalAddress = 6;  // 外网IP
inline constexpr std::size_t kKind = 7;             // 类型
inline constexpr std::size_t kCount = 8;
}  // namespace list_column

// One row of the IP list: the cells as shown, and what the operations read of the row as data
// (they never parse a cell back).
struct IpListRow {
    std::array<std::string, list_column::kCount> cells;
    inventory::AddressKind kind = inventory::AddressKind::address;
    std::uint32_t context = 0;
    bool operator==(const IpListRow&) const = default;
};

struct ComboItem {
    std::string text;
    std::uint32_t adapterIndex = 0;
};

enum class MessageIcon { information, error };

class MainView {
public:
    virtual ~MainView() = default;

    virtual void setWindowCaption(const std::string& caption) = 0;
    virtual void setControlText(std::string_view name, const std::string& text) = 0;
    virtual void setControlEnabled(std::string_view name, bool enabled) = 0;
    virtual void setControlVisible(std::string_view name, bool visible) = 0;
    virtual void setMenuItemEnabled(std::string_view caption, bool enabled) = 0;
    // Whether the view can carry out the list menu's item with this caption; one it can't is
    // never enabled (the presenter asks before it enables one).
    virtual bool offers(std::string_view /*menuItem*/) const { return true; }
    // Replaces the combo box's items; `selected` is -1 for no selection.
    virtual void setComboItems(const std::vector<ComboItem>& items, int selected) = 0;
    // Selects another of the items shown (-1: none).
    virtual void setComboSelection(int selected) = 0;
    // Replaces every row of the list in one step.
    virtual void setListRows(const std::vector<IpListRow>& rows) = 0;
    // The rows of the previous setListRows / reorderListRows in a new order (a sort): rows[i]
    // was row from[i] before. A view that has a selection keeps it on the same rows; one that
    // hasn't just shows the rows.
    virtual void reorderListRows(const std::vector<IpListRow>& rows,
                                 const std::vector<std::size_t>& /*from*/) {
        setListRows(rows);
    }
    // Appends complete log lines (each ending in CR LF) at the end of the log pane.
    virtual void appendLogText(const std::string& lines) = 0;
    // A modal message box; returns when the user has closed it.
    virtual void showMessage(const std::string& text, const std::string& title,
                             MessageIcon icon) = 0;
    // Opens a web address in the user's browser.
    virtual void openUrl(const std::string& address) = 0;
    // Runs `task` on the UI thread (directly when called there).
    virtual void post(std::function<void()> task) = 0;
    // Opens the add dialog, modal and owned by the window, with an AddRangePresenter of its
    // own. A view without dialogs ignores it.
    virtual void openAddDialog() {}
    // Opens the settings window, modal and owned by the window, with a SettingsPresenter of its
    // own. A view without dialogs ignores it.
    virtual void openSettingsDialog() {}
    // Opens the TCP/IPv4 properties dialog, modal and owned by the window, with a
    // TcpipPropertiesPresenter of its own. A view without dialogs ignores it.
    virtual void openTcpipDialog() {}
    // The clipboard of the view's desktop, callable from any thread; nullptr when it has none
    // (the list menu's export then does nothing).
    virtual platform::Clipboard* clipboard() { return nullptr; }
};

}  // namespace nicops::ui
