// The clipboard export: one line per local address of the snapshot, made from the copy template.
#pragma once

#include <string>
#include <string_view>

#include "inventory/snapshot.h"
#include "ipops/operation_host.h"
#include "platform/clipboard.h"
#include "settings/app_settings.h"

namespace nicops::external {

inline constexpr std::string_view kInternalAddressPlaceholder = "{内网IP}";
inline constexpr std::string_view kInternalMaskPlaceholder = "{内网掩码}";
inline constexpr std::string_view kExternalAddressPlaceholder = "{外网IP}";
inline constexpr std::string_view kLocationPlaceholder = "{地理位置}";

// Every address of snapshot.addresses, in the table's order (all adapters), as `copyFormat` with
// its placeholders replaced in the order internal address, mask, external address, location
// (a value inserted by one step is searched by the later ones); each line ends with CR LF.
std::string buildExportText(const inventory::AdapterSnapshot& snapshot,
                            std::string_view copyFormat);

// The list menu's "复制所有网卡IP" (run on a worker): builds the text under the snapshot lock, puts
// it on the clipboard and logs the outcome, all inside one busy period. The template is the
// settings' copyFormat at the start.
void exportAddressesToClipboard(const ipops::OperationServices& services,
                                ipops::OperationHost& host,
                                const settings::SharedSettings& settings,
                                platform::Clipboard& clipboard);

}  // namespace nicops::external
