#include "app/nicopsctl_commands.h"

#include <cstdio>
#include <functional>
#include <mutex>

#include "app/backend_choice.h"
#include "app/command_line.h"
#include "app/console_view.h"
#include "app/nicopsctl_runs.h"
#include "ipops/ipv4_box.h"
#include "ipops/range_presets.h"
#include "platform/settings_folder.h"
#include "settings/app_settings.h"
#include "text/codepage.h"
#include "text/text_functions.h"
#include "ui/app_context.h"
#include "ui/main_presenter.h"

namespace nicops::app::ctl {

const std::string_view kUsage =
    "usage: nicopsctl [--sim FILE] [--config DIR] [--store PATH] COMMAND [OPTIONS]\n"
    "\n"
    "commands:\n"
    "  adapters [--json]             one line per adapter: index, TAB, connection name\n"
    "  report [--adapter SEL] [--json]\n"
    "                                the adapter's details report\n"
    "  list [--adapter SEL] [--kinds LIST] [--json]\n"
    "                                the adapter's IP-list rows, columns separated by TAB\n"
    "  add [--adapter SEL] [--mask M] [--probe] [--dry-run] [--no-store] [--json] [LINE...]\n"
    "                                adds each LINE (an address, or a range such as\n"
    "                                192.168.1.{10-20}); without LINEs, the lines of stdin\n"
    "  delete [--adapter SEL] [--kinds LIST] [--no-store] [--json] ADDRESS...\n"
    "                                deletes those addresses of the adapter; they are found\n"
    "                                among the list's rows of LIST's kinds, and only address\n"
    "                                rows are deleted (the others count as selected)\n"
    "  restore                       re-adds the stored addresses every adapter lacks\n"
    "  dhcp [--adapter SEL]          switches the adapter to automatic addressing (DHCP)\n"
    "  static [--adapter SEL] ADDRESS MASK GATEWAY DNS1 [DNS2]\n"
    "                                gives the adapter this one address and mask, default\n"
    "                                gateway and DNS servers; \"\" leaves GATEWAY or a DNS\n"
    "                                server out\n"
    "  preset N [--set]              prints range preset N (1-6); with --set, stores stdin\n"
    "                                as preset N\n"
    "  export [--format TEMPLATE]    the copy text of every address of every adapter, one\n"
    "                                line each\n"
    "  lookup [--concurrency N] [--export] [--format TEMPLATE] [--json]\n"
    "                                asks the lookup server for the external address of every\n"
    "                                address of every adapter; prints address, TAB, external\n"
    "                                address, TAB, location; with --export then the copy text\n"
    "\n"
    "options:\n"
    "  --sim FILE     use the simulated host described by FILE (JSON)\n"
    "  --config DIR   directory holding UserConfig.ini\n"
#ifdef _WIN32
    "  --store PATH   a file holding the stored address sets (default: the registry's TCP/IP\n"
    "                 interface keys, or FILE.store.json beside the --sim FILE)\n"
#else
    "  --store PATH   the stored address sets (default: /var/lib/nicops/store.json, or\n"
    "                 FILE.store.json beside the --sim FILE)\n"
#endif
    "  --adapter SEL  adapter index, else connection name, else interface name\n"
    "                 (default: the last adapter)\n"
    "  --kinds LIST   comma list of ip, gateway, dhcp, wins1, wins2 (default: ip)\n"
    "  --mask M       the mask of the added addresses (default: the adapter's stored mask,\n"
    "                 else 255.255.255.0)\n"
    "  --probe        skip addresses that answer an echo request within 30 ms\n"
    "  --format T     the copy template (default: the settings' copy format)\n"
    "  --concurrency N  lookups in flight at once (default: the settings' value)\n"
    "  --json         one JSON document (UTF-8) on stdout instead of the text; a command\n"
    "                 that can't run prints {\"error\": MESSAGE}\n"
    "  --dry-run      add nothing: print each address of the LINEs, TAB, present (the\n"
    "                 adapter holds it) or absent, and each LINE the add refuses, TAB, invalid\n"
    "  --no-store     leave the stored address sets as they are\n"
    "  -h, --help     this text\n"
    "  --version      the program's name and version\n"
    "\n"
    "An option's value may also follow it after '=' (--adapter=7).\n"
    "\n"
    "Data goes to stdout, log lines to stderr; add, delete and restore log every address with\n"
    "its result and write the adapter's address set to the store. Exit status: 0 success (for\n"
    "add, delete and restore: the operation ran), 1 the command could not run (no host, no\n"
    "adapter; dhcp and static: the adapter was not switched) or its output could not be\n"
    "written, 2 usage error.\n";

namespace {

using nicops::inventory::AddressKind;

using nicops::app::UsageError;

constexpr std::pair<const char*, AddressKind> kKindWords[] = {
    {"ip", AddressKind::address},
    {"gateway", AddressKind::gateway},
    {"dhcp", AddressKind::dhcpServer},
    {"wins1", AddressKind::primaryWins},
    {"wins2", AddressKind::secondaryWins}};

// The kinds named in LIST; the list shows them in their fixed order whatever LIST's order.
std::array<bool, 5> parseKinds(const std::string& list) {
    std::array<bool, 5> chosen{};
    for (const std::string& name : nicops::text::splitText(list, ",")) {
        bool known = false;
        for (const auto& [word, kind] : kKindWords) {
            if (name == word) {
                chosen[static_cast<std::size_t>(kind)] = true;
                known = true;
            }
        }
        if (!known) {
            throw UsageError{"unknown kind '" + name +
                             "' in --kinds (ip, gateway, dhcp, wins1, wins2)"};
        }
    }
    return chosen;
}

// static's ADDRESS MASK GATEWAY DNS1 [DNS2] as the properties dialog's address boxes read
// them; an argument the box would show blank is refused ("" stays empty).
nicops::platform::StaticAddressing staticValues(const std::vector<std::string>& args) {
    if (args.size() < 4 || args.size() > 5) {
        throw UsageError{"static needs ADDRESS MASK GATEWAY DNS1 [DNS2]"};
    }
    std::vector<std::string> boxes;
    for (const std::string& arg : args) {
        std::string shown = nicops::ipops::ipv4BoxText(
            nicops::text::encodingToGbk(arg, nicops::text::terminalEncoding()));
        if (shown.empty() && !arg.empty()) {
            throw UsageError{"'" + arg + "' is not an IPv4 address"};
        }
        boxes.push_back(std::move(shown));
    }
    boxes.resize(5);
    return {boxes[0], boxes[1], boxes[2], boxes[3], boxes[4]};
}

void readConcurrency(Options& o, const std::string& n) {
    if (n.empty() || n.size() > 6 || n.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(n) < 1) {
        throw UsageError{"--concurrency needs a number of at least 1"};
    }
    o.concurrency = std::stoi(n);
}

void readPresetNumber(Options& o) {
    if (o.args.size() != 1 || o.args[0].size() != 1 || o.args[0][0] < '1' ||
        o.args[0][0] > '0' + nicops::ipops::kPresetCount) {
        throw UsageError{"preset needs one number from 1 to 6"};
    }
    o.preset = o.args[0][0] - '0';
}

using namespace option;

constexpr OptionSpec kOptions[] = {
    {kSim, "--sim", true, [](Options& o, const std::string& v) { o.simFile = v; }},
    {kConfig, "--config", true, [](Options& o, const std::string& v) { o.configDir = v; }},
    {kStore, "--store", true, [](Options& o, const std::string& v) { o.storePath = v; }},
    {kKinds, "--kinds", true, [](Options& o, const std::string& v) { o.kinds = v; }},
    {kAdapter, "--adapter", true, [](Options& o, const std::string& v) { o.adapter = v; }},
    {kMask, "--mask", true, [](Options& o, const std::string& v) { o.mask = v; }},
    {kProbe, "--probe", false, [](Options& o, const std::string&) { o.probe = true; }},
    {kConcurrency, "--concurrency", true, readConcurrency},
    {kExport, "--export", false, [](Options& o, const std::string&) { o.exportAfter = true; }},
    {kFormat, "--format", true, [](Options& o, const std::string& v) { o.format = v; },
     "--format goes with export and lookup --export"},
    {kSet, "--set", false, [](Options& o, const std::string&) { o.set = true; }},
    {kJson, "--json", false, [](Options& o, const std::string&) { o.json = true; }},
    {kDryRun, "--dry-run", false, [](Options& o, const std::string&) { o.dryRun = true; }},
    {kNoStore, "--no-store", false, [](Options& o, const std::string&) { o.noStore = true; }},
};

constexpr CommandSpec kCommands[] = {
    {.name = "adapters", .options = kJson, .needs = Needs::adapters, .run = runAdapters},
    {.name = "report", .options = kAdapter | kJson, .run = runReport},
    {.name = "list", .options = kAdapter | kKinds | kJson, .run = runList},
    {.name = "add",
     .options = kAdapter | kMask | kProbe | kDryRun | kNoStore | kJson,
     .takesOperands = true,
     .needs = Needs::adapter,
     .run = runAdd},
    {.name = "delete",
     .options = kAdapter | kKinds | kNoStore | kJson,
     .takesOperands = true,
     .readOperands =
         [](Options& o) {
             if (o.args.empty()) {
                 throw UsageError{"delete needs the addresses to delete"};
             }
         },
     .needs = Needs::adapter,
     .run = runDelete},
    {.name = "restore", .run = runRestore},
    {.name = "dhcp", .options = kAdapter, .needs = Needs::adapter, .run = runDhcp},
    {.name = "static",
     .options = kAdapter,
     .takesOperands = true,
     .readOperands = [](Options& o) { o.staticValues = staticValues(o.args); },
     .needs = Needs::adapter,
     .run = runStatic},
    {.name = "preset",
     .options = kSet,
     .takesOperands = true,
     .readOperands = readPresetNumber,
     .needs = Needs::nothing,
     .run = runPreset},
    {.name = "export", .options = kFormat, .run = runExternal},
    {.name = "lookup",
     .options = kConcurrency | kExport | kJson,
     .optionsWith = kFormat,
     .together = kExport,
     .run = runExternal},
};

bool takes(const CommandSpec& command, unsigned bit, unsigned given) {
    return (bit & (kEveryCommand | command.options)) != 0 ||
           ((bit & command.optionsWith) != 0 && (given & command.together) != 0);
}

// "NAME goes with the C command" or "NAME goes with the A, B and C commands".
std::string goesWith(const OptionSpec& entry) {
    if (!entry.goesWith.empty()) {
        return std::string(entry.goesWith);
    }
    std::vector<std::string_view> names;
    for (const CommandSpec& command : kCommands) {
        if (((command.options | command.optionsWith) & entry.bit) != 0) {
            names.push_back(command.name);
        }
    }
    std::string text = std::string(entry.name) + " goes with the ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += i == 0 ? "" : (i + 1 == names.size() ? " and " : ", ");
        text += names[i];
    }
    return text + (names.size() == 1 ? " command" : " commands");
}

}  // namespace

const char* kindWord(AddressKind kind) {
    for (const auto& [word, each] : kKindWords) {
        if (each == kind) {
            return word;
        }
    }
    return "";
}

std::span<const OptionSpec> options() {
    return kOptions;
}

std::span<const CommandSpec> commands() {
    return kCommands;
}

const CommandSpec* findCommand(std::string_view name) {
    for (const CommandSpec& command : kCommands) {
        if (command.name == name) {
            return &command;
        }
    }
    return nullptr;
}

Options parseCommandLine(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const OptionSpec* option = nullptr;
        std::string value;
        for (const OptionSpec& entry : kOptions) {
            if (!entry.takesValue) {
                option = arg == entry.name ? &entry : nullptr;
            } else if (auto found = optionValue(argc, argv, i, entry.name)) {
                value = std::move(*found);
                option = &entry;
            }
            if (option != nullptr) {
                break;
            }
        }
        if (option != nullptr) {
            o.given |= option->bit;
            option->read(o, value);
        } else if (arg == "--") {
            for (++i; i < argc; ++i) {  // what follows is lines or addresses, even "-x"
                o.args.emplace_back(argv[i]);
            }
        } else if (!arg.empty() && arg[0] == '-') {
            throw UsageError{"unknown option '" + arg + "'"};
        } else if (o.command.empty()) {
            o.command = arg;
        } else {
            o.args.push_back(arg);
        }
    }
    if (o.command.empty()) {
        throw UsageError{"no command given"};
    }
    const CommandSpec* command = findCommand(o.command);
    if (command == nullptr) {
        throw UsageError{"unknown command '" + o.command + "'"};
    }
    o.kindsShown = parseKinds(o.kinds.value_or("ip"));
    for (const OptionSpec& entry : kOptions) {
        if ((o.given & entry.bit) != 0 && !takes(*command, entry.bit, o.given)) {
            throw UsageError{goesWith(entry)};
        }
    }
    if (!o.args.empty() && !command->takesOperands) {
        throw UsageError{"unexpected argument '" + o.args.front() + "'"};
    }
    if (command->readOperands != nullptr) {
        command->readOperands(o);
    }
    if (!o.configDir.empty()) {
        checkConfigDirectory(o.configDir);
    }
    return o;
}

int runCommand(const Options& options, DataOutput& output) {
    const CommandSpec& command = *findCommand(options.command);
    Session session{output};
    if (command.needs == Needs::nothing) {
        return command.run(options, session);
    }
    auto choice = nicops::app::chooseBackend(options.simFile, options.storePath);
    if (!choice.backend) {
        return cannotRun(options, session, choice.error, choice.exitCode);
    }
    const std::string encoding = nicops::text::terminalEncoding();
    nicops::ui::AppContext context(*choice.backend);
    wire(context, choice);
    const std::string configDir = configDirectory(options);
    std::string settingsNotice;
    context.settings.set(nicops::settings::loadSettings(
        nicops::platform::settingsFilePath(configDir), &settingsNotice));

    nicops::app::ConsoleView view(encoding);
    // Every operation runs to its end before the command does.
    nicops::ui::MainPresenter presenter(context, view,
                                        [](const std::function<void()>& task) { task(); });
    if (!settingsNotice.empty()) {
        presenter.appendLog(settingsNotice);
    }
    presenter.loadAdapters();
    session.context = &context;
    session.presenter = &presenter;
    session.view = &view;
    session.items = presenter.comboItems();
    if (command.needs == Needs::adapters) {
        return command.run(options, session);
    }
    const auto& items = session.items;
    int& selected = session.selected;
    selected = static_cast<int>(items.size()) - 1;  // the window starts on the last adapter
    if (options.adapter) {
        std::lock_guard lock(context.snapshotMutex);
        selected = findAdapter(items, context.snapshot, *options.adapter);
        if (selected < 0) {
            return cannotRun(options, session, "no adapter '" + *options.adapter + "'");
        }
    }
    presenter.selectComboItem(selected);
    if (command.needs == Needs::adapter && selected < 0) {
        return cannotRun(options, session, "the host has no adapter");
    }
    return command.run(options, session);
}

}  // namespace nicops::app::ctl
