// nicopsctl's commands as data: each command with the options it takes, whether it takes
// operands, what it needs of the host and the function that runs it. The command line is checked
// against these tables; nicopsctl's main only parses and runs.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/data_output.h"
#include "inventory/snapshot.h"
#include "platform/adapter_configuration.h"

namespace nicops::app::ctl {

// What --help prints.
extern const std::string_view kUsage;

// The word --kinds (and --json's "kind") gives a kind of the list's rows.
const char* kindWord(inventory::AddressKind kind);

// The options as bits; a command's options are their sum.
namespace option {
inline constexpr unsigned kSim = 1U << 0;
inline constexpr unsigned kConfig = 1U << 1;
inline constexpr unsigned kStore = 1U << 2;
inline constexpr unsigned kKinds = 1U << 3;
inline constexpr unsigned kAdapter = 1U << 4;
inline constexpr unsigned kMask = 1U << 5;
inline constexpr unsigned kProbe = 1U << 6;
inline constexpr unsigned kConcurrency = 1U << 7;
inline constexpr unsigned kExport = 1U << 8;
inline constexpr unsigned kFormat = 1U << 9;
inline constexpr unsigned kSet = 1U << 10;
inline constexpr unsigned kJson = 1U << 11;
inline constexpr unsigned kDryRun = 1U << 12;
inline constexpr unsigned kNoStore = 1U << 13;
// Every command takes these.
inline constexpr unsigned kEveryCommand = kSim | kConfig | kStore;
}  // namespace option

// A command line as nicopsctl understood it.
struct Options {
    std::string simFile;
    std::string configDir;
    std::string storePath;
    std::string command;
    std::vector<std::string> args;  // what follows the command: lines, addresses, N
    unsigned given = 0;             // the options on the command line (option::k...)
    std::optional<std::string> adapter;
    std::optional<std::string> kinds;
    std::optional<std::string> mask;
    bool probe = false;
    bool set = false;
    int preset = 0;
    std::optional<std::string> format;
    std::optional<int> concurrency;
    platform::StaticAddressing staticValues;  // static's values, as the boxes read them
    bool exportAfter = false;                 // lookup --export
    bool json = false;                        // one JSON document instead of the text
    bool dryRun = false;                      // add: only say what the adapter holds
    bool noStore = false;                     // add, delete: the store left as it is
    std::array<bool, 5> kindsShown{};         // what --kinds names; "ip" without it
};

struct OptionSpec {
    unsigned bit;
    std::string_view name;
    bool takesValue;  // --name VALUE or --name=VALUE; else a switch
    // Keeps the value ("" for a switch) in the options; a value it refuses is a usage error.
    void (*read)(Options& options, const std::string& value);
    // The usage error when a command doesn't take the option; "" = "NAME goes with the C
    // command" (or "the A, B and C commands"), from the commands that take it.
    std::string_view goesWith = {};
};

// How much of the host a command needs before it runs.
enum class Needs {
    nothing,       // not the host at all
    adapters,      // the host's adapters
    shownAdapter,  // the window's adapter box on the chosen adapter (the last without --adapter)
    adapter,       // as shownAdapter, and the host has an adapter
};

struct Session;  // what a command runs with (nicopsctl_commands.cpp)

struct CommandSpec {
    std::string_view name;
    unsigned options = 0;  // besides option::kEveryCommand
    // Options the command takes only together with `together` (lookup's --format goes with
    // --export).
    unsigned optionsWith = 0;
    unsigned together = 0;
    bool takesOperands = false;
    // Checks and reads the operands; nullptr: any operands are the command's lines or addresses.
    void (*readOperands)(Options& options) = nullptr;
    Needs needs = Needs::shownAdapter;
    int (*run)(const Options& options, Session& session) = nullptr;
};

// The options in the order their "goes with" errors are checked.
std::span<const OptionSpec> options();
// The commands in the order the usage text lists them.
std::span<const CommandSpec> commands();
// The command called `name`; nullptr for none.
const CommandSpec* findCommand(std::string_view name);

// The command line checked against the tables; a usage error throws UsageError.
Options parseCommandLine(int argc, char** argv);

// Runs the command of a checked command line; the exit status. Data goes to `output`, log lines
// and errors to stderr.
int runCommand(const Options& options, DataOutput& output);

}  // namespace nicops::app::ctl
