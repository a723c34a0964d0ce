#include "inventory/details_report.h"

#include <array>
#include <cstdio>
#include <ctime>

#include "text/text_functions.h"

namespace nicops::inventory {

using text::numberToText;

std::string adapterStatusName(std::int32_t status) {
    static constexpr std::array<const char*, 13> kNames = {
        "已断开",   "连接中",   "已连接",   "断开中",   "硬件不存在", "硬件禁用", "硬件故障",
        "网线断开", "正在认证", "认证成功", "认证失败", "地址无效",   "缺少证书"};
    if (status < 0 || status >= static_cast<std::int32_t>(kNames.size())) {
        return "未知";
    }
    return kNames[static_cast<std::size_t>(status)];
}

std::string adapterTypeName(std::uint32_t type) {
    switch (type) {
        case 1:
            return "其他类型的适配器";
        case 6:
            return "以太网适配器";
        case 9:
            return "令牌环适配器";
        case 15:
            return "FDDI（光纤分布数据接口）适配器";
        case 23:
            return "PPP适配器";
        case 24:
            return "Loopback适配器";
        case 28:
            return "Slip适配器";
        case 71:
            return "IEEE80211";
        default:
            return numberToText(type);
    }
}

std::string yesNoText(std::uint32_t value) {
    if (value == 0) {
        return "否";
    }
    if (value == 1) {
        return "是";
    }
    return numberToText(value);
}

namespace {

// Strict decimal reading of the whole text (optional sign); false when it is not a number.
bool parseWholeInteger(std::string_view t, std::int64_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) {
        negative = t[i] == '-';
        ++i;
    }
    if (i == t.size() || t.size() - i > 18) {
        return false;
    }
    std::int64_t v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') {
            return false;
        }
        v = v * 10 + (t[i] - '0');
    }
    value = negative ? -v : v;
    return true;
}

}  // namespace

std::string formatLeaseTime(std::string_view secondsText) {
    std::int64_t value = 0;
    if (!parseWholeInteger(secondsText, value)) {
        return {};
    }
    // Ten characters are seconds, any other length milliseconds, since 1970-01-01 00:00:00 UTC;
    // both are shown in the machine's local time, the seconds zero-padded.
    const bool seconds = secondsText.size() == 10;
    std::int64_t wholeSeconds = value;
    if (!seconds) {
        wholeSeconds = value / 1000;
        if (value % 1000 < 0) {
            --wholeSeconds;
        }
    }
#ifdef _WIN32
    // Windows' C library has no local time before 1970: an earlier instant is taken 400 years
    // later (the calendar repeats every 400 years) and its year put back.
    constexpr std::int64_t kCalendarCycleSeconds = 146097LL * 86400;
    const int cycles = wholeSeconds < 0 ? 1 : 0;
    wholeSeconds += cycles * kCalendarCycleSeconds;
#else
    constexpr int cycles = 0;
#endif
    const auto when = static_cast<std::time_t>(wholeSeconds);
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) {
        return {};
    }
    local.tm_year -= cycles * 400;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer,
                  seconds ? "%04d-%02d-%02d %02d:%02d:%02d" : "%d-%d-%d %02d:%02d:%02d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec);
    return buffer;
}

std::string buildDetailsReport(const AdapterRecord& r, std::int32_t status) {
    std::string out;
    out.reserve(512);
    auto line = [&out](const char* label, const std::string& value) {
        if (!out.empty()) {
            out += "\r\n";
        }
        out += label;
        out += value;
    };
    line("连接名称：", r.connectionName);
    line("网卡状态：", adapterStatusName(status));
    line("适配器描述：", r.description);
    line("适配器名称：", r.adapterName);
    line("物理地址：", r.physicalAddress);
    line("适配器类型：", adapterTypeName(r.adapterType));
    line("已启用DHCP：", yesNoText(r.dhcpEnabled));
    line("IPv4地址链表：", numberToText(r.addressCount));
    line("IPv4网关地址链表：", numberToText(r.gatewayCount));
    line("DHCP服务器的IPv4地址链表：", numberToText(r.dhcpServerCount));
    line("使用WINS服务器：", yesNoText(r.haveWins));
    line("主WINS服务器：", numberToText(r.primaryWinsCount));
    line("辅WINS服务器：", numberToText(r.secondaryWinsCount));
    line("首选DNS服务器：", r.primaryDns);
    line("备用DNS服务器：", r.secondaryDns);
    line("DHCP获得租约时间：", formatLeaseTime(numberToText(r.leaseObtained)));
    line("DHCP租约过期时间：", formatLeaseTime(numberToText(r.leaseExpires)));
    return out;
}

std::vector<std::string> linkStateLines(const std::string& comboText, std::int32_t status,
                                        NetworkQuery& query) {
    std::vector<std::string> lines;
    lines.emplace_back(37, '-');
    lines.push_back(comboText + (query.queryMediaState(comboText) == 1 ? " 媒体状态状态-已连接."
                                                                       : " 媒体状态状态-已断开."));
    if (status == platform::kStatusConnected) {
        // A query that finds nothing answers -1: said in words, not as -1e-06Mbps.
        const std::int64_t bitsPerSecond = query.queryLinkSpeed(comboText);
        if (bitsPerSecond < 0) {
            lines.push_back(comboText + " 最大传输速度未知.");
        } else {
            const double mbps = static_cast<double>(bitsPerSecond) / 1000000.0;
            lines.push_back(comboText + " 最大传输速度" + numberToText(mbps) + "Mbps");
        }
    }
    lines.push_back(comboText + " 最大传输单元" + numberToText(query.queryMtu(comboText)) + ".");
    return lines;
}

}  // namespace nicops::inventory
