// The window's privileged path on Linux: a window that runs as the user (no CAP_NET_ADMIN) makes
// each change through `pkexec NICOPSCTL ...`, the command-line twin that runs the same operation
// with the same log lines and exit codes. polkit authorises the action whose exec path is that
// nicopsctl (org.nicops.nicopsctl); the lines nicopsctl logs reach the window's log pane as they
// come, and a refusal is one line, with nothing changed.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ipops/privileged_changes.h"

namespace nicops::app {

// What the window passes along to every nicopsctl it runs.
struct NicopsctlRun {
    std::string pkexec;     // pkexec's path
    std::string program;    // nicopsctl's absolute path, as the polkit action names it
    std::string configDir;  // --config when the window was given it, else ""
    std::string storePath;  // --store when the window was given it, else ""
};

// The line a refused authorisation logs.
inline constexpr std::string_view kNotAuthorised = "未获得管理员授权，未做任何更改。";

class PkexecChanges final : public ipops::PrivilegedChanges {
public:
    // Relative folders and files are made absolute here: pkexec starts nicopsctl in root's home.
    explicit PkexecChanges(NicopsctlRun run);

    void addIpRanges(ipops::OperationHost& host, const ipops::AddRequest& request) override;
    void deleteAddresses(ipops::OperationHost& host,
                         const std::vector<ipops::SelectedRow>& rows) override;
    void switchToDhcp(ipops::OperationHost& host, std::uint32_t adapterIndex,
                      const std::string& connectionName) override;
    void switchToStatic(ipops::OperationHost& host, std::uint32_t adapterIndex,
                        const std::string& connectionName,
                        const platform::StaticAddressing& values) override;

private:
    // Runs nicopsctl COMMAND ARGS with `input` (GBK) on its standard input and relays its log
    // lines; true when it ran (false: refused or not started, with its one line logged). Its
    // other lines (nicopsctl's error line) are logged when `errors` and it failed.
    bool relay(ipops::OperationHost& host, std::vector<std::string> arguments,
               const std::string& input, bool errors);

    NicopsctlRun run_;
};

// The message of a line nicopsctl logged ("HH:MM:SS：message", GBK); "" for any other line.
std::string loggedMessage(std::string_view line);

// The window's privileged path over the host's own adapters: PkexecChanges when this process
// lacks CAP_NET_ADMIN, pkexec is present and `program` (nicopsctl) is an executable file; null
// otherwise, and the changes stay in the window's process.
std::unique_ptr<ipops::PrivilegedChanges> privilegedChanges(const std::string& program,
                                                            const std::string& configDir,
                                                            const std::string& storePath);

// `name` in the folder of the running program (/proc/self/exe).
std::string besideProgram(const std::string& name);

}  // namespace nicops::app
