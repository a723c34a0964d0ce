#include "platform/linux/configuration_text.h"

#include <cstring>

#include "platform/atomic_file.h"
#include "platform/ip_helper.h"
#include "text/codepage.h"

namespace nicops::platform::linux_host {

namespace {

constexpr std::size_t kMaxTextFile = 1 << 20;

}  // namespace

std::string trimmed(std::string_view text) {
    const auto start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) {
        return {};
    }
    const auto end = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(start, end - start + 1));
}

std::vector<std::string> linesOf(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        lines.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::optional<std::string> readTextFile(const std::string& path) {
    std::string content;
    if (readRegularFile(path, kMaxTextFile, content) != FileReadStatus::Ok) {
        return std::nullopt;
    }
    return content;
}

std::string errnoText(int error) {
    return text::encodingToGbk(std::strerror(error), text::terminalEncoding());
}

std::string linkText(const LinkRecord& link) {
    return singleLineName(text::utf8ToGbk(link.name));
}

std::string afterUndo(const std::string& failure, const std::string& undoFailure) {
    return failure + " " +
           (undoFailure.empty() ? std::string("已恢复原来的设置.")
                                : "恢复原来的设置失败: " + undoFailure);
}

}  // namespace nicops::platform::linux_host
