#include "app/privileged_changes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <utility>

#include "app/nicopsctl_commands.h"
#include "inventory/snapshot.h"
#include "ipops/tcpip_properties.h"
#include "platform/linux/host_processes.h"
#include "platform/linux/network_administration.h"
#include "platform/linux/pkexec_runs.h"
#include "platform/linux/program_runs.h"
#include "text/codepage.h"

namespace nicops::app {

namespace {

// A blank mask box: a mask no address takes, so each address fails with 87 as it does here (the
// command line takes no empty value).
constexpr const char* kNoMask = "255.0.255.0";

std::string absolute(const std::string& path) {
    if (path.empty()) {
        return path;
    }
    std::error_code error;
    const auto made = std::filesystem::absolute(path, error);
    return error ? path : made.string();
}

std::string adapterOption(std::uint32_t adapterIndex) {
    return "--adapter=" + std::to_string(adapterIndex);
}

}  // namespace

std::string loggedMessage(std::string_view line) {
    // "HH:MM:SS" and the full-width colon.
    constexpr std::string_view kColon = "：";
    constexpr std::size_t kStamp = 8;
    if (line.size() < kStamp + kColon.size() || line.substr(kStamp, kColon.size()) != kColon) {
        return {};
    }
    for (std::size_t i = 0; i < kStamp; ++i) {
        const bool separator = i == 2 || i == 5;
        if (separator ? line[i] != ':' : (line[i] < '0' || line[i] > '9')) {
            return {};
        }
    }
    return std::string(line.substr(kStamp + kColon.size()));
}

PkexecChanges::PkexecChanges(NicopsctlRun run) : run_(std::move(run)) {
    run_.configDir = absolute(run_.configDir);
    run_.storePath = absolute(run_.storePath);
}

bool PkexecChanges::relay(ipops::OperationHost& host, std::vector<std::string> arguments,
                          const std::string& input, bool errors) {
    std::vector<std::string> argv{run_.program};
    if (!run_.configDir.empty()) {
        argv.push_back("--config=" + run_.configDir);
    }
    if (!run_.storePath.empty()) {
        argv.push_back("--store=" + run_.storePath);
    }
    argv.insert(argv.end(), std::make_move_iterator(arguments.begin()),
                std::make_move_iterator(arguments.end()));
    std::vector<std::string> others;
    const platform::linux_host::ElevatedRun run = platform::linux_host::runElevated(
        run_.pkexec, argv, text::gbkToUtf8(input), [&](std::string_view line) {
            std::string gbk = text::utf8ToGbk(line);
            if (std::string message = loggedMessage(gbk); !message.empty()) {
                host.appendLog(message);
            } else if (!gbk.empty()) {
                others.push_back(std::move(gbk));
            }
        });
    if (!run.started) {
        host.appendLog(platform::linux_host::failureOf("pkexec", {}));
        return false;
    }
    if (run.refused) {
        host.appendLog(kNotAuthorised);  // pkexec's own lines say the same in English
        return false;
    }
    if (run.exitStatus != 0 && errors) {
        for (const std::string& line : others) {
            host.appendLog(line);
        }
        if (run.exitStatus < 0) {  // ended by a signal
            platform::linux_host::ProgramResult ended;
            ended.started = true;
            host.appendLog(platform::linux_host::failureOf("nicopsctl", ended));
        }
    }
    return true;
}

void PkexecChanges::addIpRanges(ipops::OperationHost& host, const ipops::AddRequest& request) {
    host.setBusy(true);
    std::vector<std::string> arguments{
        "add", adapterOption(host.currentAdapterIndex()),
        "--mask=" +
            (request.maskText.empty() ? std::string(kNoMask) : text::gbkToUtf8(request.maskText))};
    if (request.checkInUse) {
        arguments.emplace_back("--probe");
    }
    // nicopsctl drops the last line end of its input: one more keeps the box's last line.
    if (relay(host, std::move(arguments), request.rangeText + "\r\n", true)) {
        host.reloadDisplay();
    }
    host.setBusy(false);
}

void PkexecChanges::deleteAddresses(ipops::OperationHost& host,
                                    const std::vector<ipops::SelectedRow>& rows) {
    host.setBusy(true);
    // The selected rows are found again among the rows of their kinds, so the summary counts
    // every selected row as the window's delete does.
    std::string kinds;
    for (inventory::AddressKind kind : inventory::kAllAddressKinds) {
        for (const ipops::SelectedRow& row : rows) {
            if (row.kind == kind) {
                kinds += (kinds.empty() ? "" : ",") + std::string(ctl::kindWord(kind));
                break;
            }
        }
    }
    std::vector<std::string> arguments{"delete", adapterOption(host.currentAdapterIndex()),
                                       "--kinds=" + kinds, "--"};
    for (const ipops::SelectedRow& row : rows) {
        arguments.push_back(text::gbkToUtf8(row.address));
    }
    if (relay(host, std::move(arguments), {}, true)) {
        host.reloadDisplay();
    }
    host.setBusy(false);
}

void PkexecChanges::switchToDhcp(ipops::OperationHost& host, std::uint32_t adapterIndex,
                                 const std::string&) {
    host.setBusy(true);
    relay(host, {"dhcp", adapterOption(adapterIndex)}, {}, true);
    host.setBusy(false);
}

void PkexecChanges::switchToStatic(ipops::OperationHost& host, std::uint32_t adapterIndex,
                                   const std::string& connectionName,
                                   const platform::StaticAddressing& values) {
    // Refused here as in the window's own process: nothing to authorise.
    if (const std::string refusal = ipops::staticRefusal(connectionName, values);
        !refusal.empty()) {
        host.appendLog(refusal);
        return;
    }
    host.setBusy(true);
    // The window logs nothing of a static switch, nicopsctl's reason line included.
    relay(host,
          {"static", adapterOption(adapterIndex), "--", values.address, values.mask, values.gateway,
           values.primaryDns, values.secondaryDns},
          {}, false);
    host.setBusy(false);
}

std::unique_ptr<ipops::PrivilegedChanges> privilegedChanges(const std::string& program,
                                                            const std::string& configDir,
                                                            const std::string& storePath) {
    if (platform::linux_host::networkAdministrationProblem().empty()) {
        return nullptr;  // this process may change the host itself
    }
    std::string pkexec = platform::linux_host::findPkexec();
    struct stat st {};
    if (pkexec.empty() || program.empty() || ::stat(program.c_str(), &st) != 0 ||
        !S_ISREG(st.st_mode) || ::access(program.c_str(), X_OK) != 0) {
        return nullptr;
    }
    return std::make_unique<PkexecChanges>(
        NicopsctlRun{std::move(pkexec), absolute(program), configDir, storePath});
}

std::string besideProgram(const std::string& name) {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : (self.parent_path() / name).string();
}

}  // namespace nicops::app
