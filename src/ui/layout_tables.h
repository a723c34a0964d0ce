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
    detailsBox,   // multi-line text, no border, no scroll bars, not a tab stop
    logBox,       // multi-line text, vertical scroll bar, single-line border
    rangeBox,     // multi-line text the user types, one entry per line
    ipv4Box,      // holds nothing or four numbers 0 to 255 (ipops::ipv4BoxText)
    lineEdit,     // one-line text the user types
    numberBox,    // one-line text the user types, centred, digits only
    radioButton,  // one of the radio buttons of its window
    groupBox,     // a frame without caption; the controls naming it as parent sit inside it
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
    std::string_view parent = {};  // a group box's name: the geometry is relative to that box
};

// `control` inside the group box `group` (listed before it in its table).
constexpr ControlSpec inGroup(std::string_view group, ControlSpec control) {
    control.parent = group;
    return control;
}

struct WindowSpec {
    std::string_view title;
    int left, top, width, height;
};

struct ColumnSpec {
    std::string_view caption;
    int width;
};

// What a view can't carry out yet it doesn't offer (MainView::offers): shown disabled.
struct MenuItemSpec {
    std::string_view caption;  // empty = separator
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
    {menu::kProperties},
    {""},
    {menu::kAdd},
    {menu::kDelete},
    {""},
    {menu::kCopyAll},
    {""},
    {menu::kLookup},
    {""},
    {menu::kSettings},
    {menu::kAbout},
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

// Object names of the settings window's controls and pop-up menus.
namespace settings_names {
inline constexpr std::string_view kCopyFormatLabel = "透明标签1";
inline constexpr std::string_view kCopyFormatBox = "编_网卡IP复制格式";
inline constexpr std::string_view kLocationFormatLabel = "透明标签2";
inline constexpr std::string_view kLocationFormatBox = "编_IP地理位置查询格式";
inline constexpr std::string_view kConnectTimeoutLabel = "透明标签7";
inline constexpr std::string_view kConnectTimeoutBox = "编_查询连接超时";
inline constexpr std::string_view kConnectTimeoutUnit = "透明标签6";
inline constexpr std::string_view kRequestTimeoutLabel = "透明标签9";
inline constexpr std::string_view kRequestTimeoutBox = "编_查询请求超时";
inline constexpr std::string_view kRequestTimeoutUnit = "透明标签8";
inline constexpr std::string_view kLookupServerLabel = "透明标签10";
inline constexpr std::string_view kLookupServerBox = "编_查询服务器";
inline constexpr std::string_view kLookupConcurrencyLabel = "透明标签11";
inline constexpr std::string_view kLookupConcurrencyBox = "编_查询并发数";
inline constexpr std::string_view kOkButton = "按钮1";
inline constexpr std::string_view kCopyFormatMenu = "网卡IP格式菜单";
inline constexpr std::string_view kLocationFormatMenu = "IP位置查询格式菜单";
}  // namespace settings_names

// The settings window: the four settings of the lookup and the export, and a last row for the
// lookup's server and how many queries it runs at once.
inline constexpr WindowSpec kSettingsWindow{"软件设置", 50, 50, 417, 189};

inline constexpr std::array<ControlSpec, 15> kSettingsControls{{
    {settings_names::kCopyFormatLabel, ControlKind::label, "网卡IP复制格式:", 8, 18, 118, 16},
    {settings_names::kCopyFormatBox, ControlKind::lineEdit, "", 100, 16, 294, 20},
    {settings_names::kLocationFormatLabel, ControlKind::label, "IP位置查询格式:", 8, 50, 118, 16},
    {settings_names::kLocationFormatBox, ControlKind::lineEdit, "", 100, 48, 294, 20},
    {settings_names::kConnectTimeoutLabel, ControlKind::label, "查询连接超时:", 20, 76, 80, 16},
    {settings_names::kConnectTimeoutBox, ControlKind::numberBox, "", 100, 75, 76, 20},
    {settings_names::kConnectTimeoutUnit, ControlKind::label, "ms", 181, 81, 26, 16},
    {settings_names::kRequestTimeoutLabel, ControlKind::label, "查询请求超时:", 213, 76, 80, 16},
    {settings_names::kRequestTimeoutBox, ControlKind::numberBox, "", 293, 75, 76, 20},
    {settings_names::kRequestTimeoutUnit, ControlKind::label, "ms", 374, 80, 26, 16},
    {settings_names::kLookupServerLabel, ControlKind::label, "查询服务器:", 20, 104, 80, 16},
    {settings_names::kLookupServerBox, ControlKind::lineEdit, "", 100, 102, 186, 20},
    {settings_names::kLookupConcurrencyLabel, ControlKind::label, "查询并发数:", 293, 104, 64, 16},
    {settings_names::kLookupConcurrencyBox, ControlKind::numberBox, "", 357, 102, 37, 20},
    {settings_names::kOkButton, ControlKind::pushButton, "确定", 331, 131, 72, 25},
}};

// Object names of the TCP/IPv4 properties dialog's controls.
namespace tcpip_names {
inline constexpr std::string_view kAutomaticRadio = "单选框1";
inline constexpr std::string_view kStaticRadio = "单选框2";
inline constexpr std::string_view kAddressGroup = "分组框1";
inline constexpr std::string_view kAddressLabel = "标签2";
inline constexpr std::string_view kAddressBox = "IP编辑框_ip";
inline constexpr std::string_view kMaskLabel = "标签3";
inline constexpr std::string_view kMaskBox = "IP编辑框_mask";
inline constexpr std::string_view kGatewayLabel = "标签4";
inline constexpr std::string_view kGatewayBox = "IP编辑框_网关";
inline constexpr std::string_view kDnsGroup = "分组框2";
inline constexpr std::string_view kPrimaryDnsLabel = "标签5";
inline constexpr std::string_view kPrimaryDnsBox = "IP编辑框_首选DNS";
inline constexpr std::string_view kSecondaryDnsLabel = "标签6";
inline constexpr std::string_view kSecondaryDnsBox = "IP编辑框_备用DNS";
inline constexpr std::string_view kOkButton = "按钮2";
}  // namespace tcpip_names

// The TCP/IPv4 properties dialog: automatic or static addressing of the current adapter. A
// label's mnemonic goes to the control after it.
inline constexpr WindowSpec kTcpipDialog{"Intemet 协议版本(TCP/IPv4)属性设置", 50, 50, 338, 355};

inline constexpr std::array<ControlSpec, 15> kTcpipDialogControls{{
    {tcpip_names::kAutomaticRadio, ControlKind::radioButton, "自动获得 IP 地址(&O)", 16, 16, 184,
     13},
    {tcpip_names::kStaticRadio, ControlKind::radioButton, "使用下面的 IP 地址(&S):", 16, 43, 152,
     13},
    {tcpip_names::kAddressGroup, ControlKind::groupBox, "", 12, 70, 308, 112},
    inGroup(tcpip_names::kAddressGroup,
            {tcpip_names::kAddressLabel, ControlKind::label, "IP 地址(&I):", 63, 25, 72, 13}),
    inGroup(tcpip_names::kAddressGroup,
            {tcpip_names::kAddressBox, ControlKind::ipv4Box, "", 131, 20, 158, 24}),
    inGroup(tcpip_names::kAddressGroup,
            {tcpip_names::kMaskLabel, ControlKind::label, "子网掩码(&U):", 57, 57, 72, 13}),
    inGroup(tcpip_names::kAddressGroup,
            {tcpip_names::kMaskBox, ControlKind::ipv4Box, "", 131, 52, 158, 24}),
    inGroup(tcpip_names::kAddressGroup,
            {tcpip_names::kGatewayLabel, ControlKind::label, "默认网关(&D):", 57, 86, 72, 13}),
    inGroup(tcpip_names::kAddressGroup,
            {tcpip_names::kGatewayBox, ControlKind::ipv4Box, "", 131, 81, 158, 24}),
    {tcpip_names::kDnsGroup, ControlKind::groupBox, "", 12, 185, 308, 96},
    inGroup(tcpip_names::kDnsGroup, {tcpip_names::kPrimaryDnsLabel, ControlKind::label,
                                     "首选 DNS 服务器(&P):", 16, 27, 128, 16}),
    inGroup(tcpip_names::kDnsGroup,
            {tcpip_names::kPrimaryDnsBox, ControlKind::ipv4Box, "", 131, 24, 158, 24}),
    inGroup(tcpip_names::kDnsGroup, {tcpip_names::kSecondaryDnsLabel, ControlKind::label,
                                     "备用 DNS 服务器(&A):", 16, 60, 128, 16}),
    inGroup(tcpip_names::kDnsGroup,
            {tcpip_names::kSecondaryDnsBox, ControlKind::ipv4Box, "", 131, 56, 158, 24}),
    {tcpip_names::kOkButton, ControlKind::pushButton, "确定", 233, 290, 87, 28},
}};

// One item of the settings window's pop-up menus: it types `text` into `box` at the caret.
struct PlaceholderItemSpec {
    std::string_view menu;
    std::string_view caption;
    std::string_view box;
    std::string_view text;
};

inline constexpr std::array<PlaceholderItemSpec, 8> kPlaceholderItems{{
    {settings_names::kCopyFormatMenu, "内网IP", settings_names::kCopyFormatBox, "{内网IP}"},
    {settings_names::kCopyFormatMenu, "内网掩码", settings_names::kCopyFormatBox, "{内网掩码}"},
    {settings_names::kCopyFormatMenu, "外网IP", settings_names::kCopyFormatBox, "{外网IP}"},
    {settings_names::kCopyFormatMenu, "地理位置", settings_names::kCopyFormatBox, "{地理位置}"},
    {settings_names::kLocationFormatMenu, "国家", settings_names::kLocationFormatBox, "{国家}"},
    {settings_names::kLocationFormatMenu, "地区", settings_names::kLocationFormatBox, "{地区}"},
    {settings_names::kLocationFormatMenu, "城市", settings_names::kLocationFormatBox, "{城市}"},
    {settings_names::kLocationFormatMenu, "线路", settings_names::kLocationFormatBox, "{线路}"},
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

}  // namespace nicops::ui
