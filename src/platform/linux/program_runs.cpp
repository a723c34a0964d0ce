#include "platform/linux/program_runs.h"

#include "platform/ip_helper.h"
#include "platform/linux/configuration_text.h"
#include "text/codepage.h"

namespace nicops::platform::linux_host {

namespace {

std::string lastLineOf(const std::string& output) {
    const std::string text = trimmed(output);
    const auto start = text.find_last_of('\n');
    return start == std::string::npos ? text : trimmed(std::string_view(text).substr(start + 1));
}

}  // namespace

std::string failureOf(const std::string& program, const ProgramResult& result) {
    if (!result.started) {
        return "无法运行 " + program + ".";
    }
    if (result.timedOut) {
        return program + " 超时未结束.";
    }
    std::string line = program + " 失败";
    if (result.exitStatus >= 0) {
        line += " (退出码 " + std::to_string(result.exitStatus) + ")";
    }
    const std::string said = lastLineOf(result.output);
    if (!said.empty()) {
        line += ": " + singleLineName(text::encodingToGbk(said, text::terminalEncoding()));
    }
    return line + ".";
}

}  // namespace nicops::platform::linux_host
