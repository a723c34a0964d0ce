// The details report of the adapter shown, and the link-state lines logged after it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/network_query.h"
#include "inventory/snapshot.h"

namespace nicops::inventory {

// Status name by NetConnectionStatus; "未知" for anything outside 0..12 (-1 included).
std::string adapterStatusName(std::int32_t status);
// Type name by MIB_IF_TYPE; other values as their decimal number.
std::string adapterTypeName(std::uint32_t type);
// "否" for 0, "是" for 1, otherwise the decimal number.
std::string yesNoText(std::uint32_t value);

// A lease time given as the decimal text of a signed 32-bit second count, in the machine's local
// time. A ten-character text is seconds since 1970-01-01 UTC ("yyyy-MM-dd HH:mm:ss"); any other
// text is read as milliseconds since then, month and day without leading zeros
// ("1970-1-1 08:00:00" for 0 at UTC+8). Empty when the text is not a number.
std::string formatLeaseTime(std::string_view secondsText);

// The 17-line report, lines joined by CR LF, no line break after the last.
std::string buildDetailsReport(const AdapterRecord& record, std::int32_t status);

// The link-state log lines: separator, media state, speed (only when connected; in Mbps, or said
// to be unknown when the query finds none), MTU.
std::vector<std::string> linkStateLines(const std::string& comboText, std::int32_t status,
                                        NetworkQuery& query);

}  // namespace nicops::inventory
