// The windows' controls as data: object name, kind, caption, geometry and flags. The Qt view
// and the Win32 view both build their windows from these tables, so the two can't drift apart.
// Every text is GBK.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace nicops::ui {

enum class ControlKind {
    listView,   // report-style list
    label,      // transparent label
    linkLabel,  // transparent label with a hand cursor that opens a web address
    comboBox,   // drop-down list, not editable
    pushButton,
    checkBox,
    detailsBox,  // multi-line text, no border, no scroll bars, not a tab stop
    logBox,      // multi-line text, vertical scroll bar, single-line border
    rangeBox,    // multi-line text the user types, one entry per line
    ipv4Box,     // holds nothing or four numbers 0 to 255 (ipops::ipv4BoxText)
};

struct ControlSpec {
    std::string_view name;
    ControlKind kind;
    std::string_view caption;
    int left, top, width, height;
    bool checked = false;
    std::string_view fontFamily = {};
    std::uint32_t background = 0;  // 0xRRGGBB; 0 = the platform's default
    bool hidden = false;           // not shown until the presenter shows it
};

struct WindowSpec {
    std::string_view title;
    int left, top, width, height;
};

struct ColumnSpec {
    std::string_view caption;
    int width;
};

struct MenuItemSpec {
    std::string_view caption;  // empty = separator
    bool built;                // false: the operation is not available yet; shown disabled
};

// Object names of the main window's controls.
namespace names {
inline constexpr std::string_view kIpList = "超级列表框1";
inline constexpr std::string_view kAdapterLabel = "透明标签1";
inline constexpr std::string_view kAdapterCombo = "组合框1";
inline constexpr std::string_view kRefreshButton = "按钮_刷新";
inline constexpr std::string_view kCheckAddress = "选择框_IP地址";
inline constexpr std::string_view kCheckGateway = "选择框_IP网关";
inline constexpr std::string_view kCheckDhcp = "选择框_DHCPIP";
inline constexpr std::string_view kCheckPrimaryWins = "选择框_主WINSIP";
inline constexpr std::string_view kCheckSecondaryWins = "选择框_辅WINSIP";
inline constexpr std::string_view kDetailsBox = "编辑框_网卡信息";
inline constexpr std::string_view kLogBox = "编_日志";
inline constexpr std::string_view kLinkExchange = "透明标签3";
inline constexpr std::string_view kLinkIssues = "透明标签2";
}  // namespace names

// Captions of the list menu's items.
namespace menu {
inline constexpr std::string_view kMenuName = "列表菜单";
inline constexpr std::string_view kProperties = "网卡属性设置";
inline constexpr std::string_view kAdd = "添加 IP-地址";
inline constexpr std::string_view kDelete = "删除 IP-地址";
inline constexpr std::string_view kCopyAll = "复制所有网卡IP";
inline constexpr std::string_view kLookup = "查询所有网卡IP对应外网IP";
inline constexpr std::string_view kSettings = "软件设置";
inline constexpr std::string_view kAbout = "关于";
}  // namespace menu

inline constexpr WindowSpec kMainWindow{"汐桉网卡操作", 50, 50, 795, 474};

inline constexpr std::array<ControlSpec, 13> kMainControls{{
    {names::kIpList, ControlKind::listView, "", 0, 0, 432, 423},
    {names::kAdapterLabel, ControlKind::label, "网卡:", 445, 2, 32, 24},
    {names::kAdapterCombo, ControlKind::comboBox, "", 476, 4, 206, 20},
    {names::kRefreshButton, ControlKind::pushButton, "刷新", 688, 3, 48, 22},
    {names::kCheckAddress, ControlKind::checkBox, "IP-地址", 448, 34, 72, 24, true},
    {names::kCheckGateway, ControlKind::checkBox, "IP-网关", 529, 34, 72, 24},
    {names::kCheckDhcp, ControlKind::checkBox, "DHCP-IP", 610, 34, 72, 24},
    {names::kCheckPrimaryWins, ControlKind::checkBox, "主-WINS-IP", 683, 34, 88, 24},
    {names::kCheckSecondaryWins, ControlKind::checkBox, "辅-WINS-IP", 448, 59, 96, 23},
    {names::kDetailsBox, ControlKind::detailsBox, "", 440, 88, 345, 191, false, "黑体"},
    {names::kLogBox, ControlKind::logBox, "", 431, 283, 358, 139, false, "微软雅黑", 0xECECEC},
    {names::kLinkExchange, ControlKind::linkLabel, "用户交流", 679, 422, 50, 24},
    {names::kLinkIssues, ControlKind::linkLabel, "提交问题", 736, 422, 50, 24},
}};

// The IP list's columns; width 0 hides a column.
inline constexpr std::array<ColumnSpec, 8> kIpListColumns{{
    {"ID", 40},
    {"IP地址", 102},
    {"子网掩码", 102},
    {"Context", 0},
    {"Next", 0},
    {"网卡索引", 0},
    {"外网IP", 100},
    {"类型", 60},
}};

inline constexpr std::array<MenuItemSpec, 11> kListMenu{{
    {menu::kProperties, false},
    {"", false},
    {menu::kAdd, true},
    {menu::kDelete, true},
    {"", false},
    {menu::kCopyAll, false},
    {"", false},
    {menu::kLookup, false},
    {"", false},
    {menu::kSettings, false},
    {menu::kAbout, true},
}};

// Object names of the add dialog's controls.
namespace add_names {
inline constexpr std::string_view kIpLabel = "透明标签1";
inline constexpr std::string_view kRangeBox = "编辑框1";
inline constexpr std::array<std::string_view, 6> kPresetButtons = {"按钮2", "按钮3", "按钮4",
                                                                   "按钮5", "按钮6", "按钮7"};
inline constexpr std::string_view kPresetLabel = "透明标签3";
inline constexpr std::string_view kMaskLabel = "透明标签2";
inline constexpr std::string_view kMaskBox = "IP编辑框_掩码";
inline constexpr std::string_view kCheckInUse = "选择框1";
inline constexpr std::string_view kOkButton = "按钮1";
inline constexpr std::string_view kSaveButton = "按钮8";
}  // namespace add_names

inline constexpr WindowSpec kAddDialog{"添加IP-地址", 50, 50, 315, 368};

inline constexpr std::array<ControlSpec, 14> kAddDialogControls{{
    {add_names::kIpLabel, ControlKind::label, "IP:", 10, 12, 29, 24},
    {add_names::kRangeBox, ControlKind::rangeBox, "", 44, 16, 228, 224},
    {add_names::kPresetButtons[0], ControlKind::pushButton, "①", 279, 15, 24, 24},
    {add_names::kPresetButtons[1], ControlKind::pushButton, "②", 279, 54, 24, 24},
    {add_names::kPresetButtons[2], ControlKind::pushButton, "③", 279, 94, 24, 24},
    {add_names::kPresetButtons[3], ControlKind::pushButton, "④", 279, 134, 24, 24},
    {add_names::kPresetButtons[4], ControlKind::pushButton, "⑤", 279, 175, 24, 24},
    {add_names::kPresetButtons[5], ControlKind::pushButton, "⑥", 279, 216, 24, 24},
    {add_names::kPresetLabel, ControlKind::label, "", 8, 120, 32, 24},
    {add_names::kMaskLabel, ControlKind::label, "掩码:", 2, 262, 40, 24},
    {add_names::kMaskBox, ControlKind::ipv4Box, "", 44, 261, 156, 24},
    {add_names::kCheckInUse, ControlKind::checkBox, "占用查询", 218, 262, 78, 24},
    {add_names::kOkButton, ControlKind::pushButton, "确定", 221, 298, 78, 32},
    {add_names::kSaveButton, ControlKind::pushButton, "", 152, 310, 64, 20, false, {}, 0, true},
}};

// The list menu's item with this caption; nullptr for a caption that names no item.
constexpr const MenuItemSpec* menuItem(std::string_view caption) {
    for (const MenuItemSpec& item : kListMenu) {
        if (!item.caption.empty() && item.caption == caption) {
            return &item;
        }
    }
    return nullptr;
}

// Whether the list menu's item with this caption has its operation built.
constexpr bool menuItemBuilt(std::string_view caption) {
    const MenuItemSpec* item = menuItem(caption);
    return item != nullptr && item->built;
}

}  // namespace nicops::ui
