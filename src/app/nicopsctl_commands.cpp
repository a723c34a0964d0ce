#include "app/nicopsctl_commands.h"

#include <cstdio>
#include <functional>
#include <iostream>
#include <iterator>
#include <mutex>
#include <set>
#include <unordered_map>

#include "app/backend_choice.h"
#include "app/command_line.h"
#include "app/console_view.h"
#include "external/address_lookup.h"
#include "external/clipboard_export.h"
#include "ipops/add_range.h"
#include "ipops/delete_addresses.h"
#include "ipops/ipv4_box.h"
#include "ipops/persisted_settings.h"
#include "ipops/range_presets.h"
#include "ipops/tcpip_properties.h"
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
    "  adapters                      one line per adapter: index, TAB, connection name\n"
    "  report [--adapter SEL]        the adapter's details report\n"
    "  list [--adapter SEL] [--kinds LIST]\n"
    "                                the adapter's IP-list rows, columns separated by TAB\n"
    "  add [--adapter SEL] [--mask M] [--probe] [LINE...]\n"
    "                                adds each LINE (an address, or a range such as\n"
    "                                192.168.1.{10-20}); without LINEs, the lines of stdin\n"
    "  delete [--adapter SEL] ADDRESS...\n"
    "                                deletes those addresses of the adapter (address rows only)\n"
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
    "  lookup [--concurrency N] [--export] [--format TEMPLATE]\n"
    "                                asks the lookup server for the external address of every\n"
    "                                address of every adapter; prints address, TAB, external\n"
    "                                address, TAB, location; with --export then the copy text\n"
    "\n"
    "options:\n"
    "  --sim FILE     use the simulated host described by FILE (JSON)\n"
    "  --config DIR   directory holding UserConfig.ini\n"
    "  --store PATH   the stored address sets (default: /var/lib/nicops/store.json, or\n"
    "                 FILE.store.json beside the --sim FILE)\n"
    "  --adapter SEL  adapter index, else connection name, else interface name\n"
    "                 (default: the last adapter)\n"
    "  --kinds LIST   comma list of ip, gateway, dhcp, wins1, wins2 (default: ip)\n"
    "  --mask M       the mask of the added addresses (default: the adapter's stored mask,\n"
    "                 else 255.255.255.0)\n"
    "  --probe        skip addresses that answer an echo request within 30 ms\n"
    "  --format T     the copy template (default: the settings' copy format)\n"
    "  --concurrency N  lookups in flight at once (default: the settings' value)\n"
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

// What a command runs with: the output and, unless it needs nothing of the host, the host wired
// to the window's presenter through a console view, its adapter-box items and the one chosen.
struct Session {
    explicit Session(DataOutput& out) : output(out) {}

    DataOutput& output;
    ui::AppContext* context = nullptr;
    ui::MainPresenter* presenter = nullptr;
    ConsoleView* view = nullptr;
    std::vector<ui::ComboItem> items;
    int selected = -1;
};

namespace {

using nicops::inventory::AddressKind;

using nicops::app::UsageError;

// The kinds named in LIST; the list shows them in their fixed order whatever LIST's order.
std::array<bool, 5> parseKinds(const std::string& list) {
    static constexpr std::pair<const char*, AddressKind> kNames[] = {
        {"ip", AddressKind::address},
        {"gateway", AddressKind::gateway},
        {"dhcp", AddressKind::dhcpServer},
        {"wins1", AddressKind::primaryWins},
        {"wins2", AddressKind::secondaryWins}};
    std::array<bool, 5> chosen{};
    for (const std::string& name : nicops::text::splitText(list, ",")) {
        bool known = false;
        for (const auto& [word, kind] : kNames) {
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

// The adapter-box position of SEL: an adapter index, else a connection name, else an adapter
// (interface) name. A selector that names an adapter in an earlier sense wins over a later one.
int findAdapter(const std::vector<nicops::ui::ComboItem>& items,
                const nicops::inventory::AdapterSnapshot& snapshot, const std::string& selector) {
    const auto position = [&](auto&& matches) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (matches(items[i])) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };
    int found = -1;
    if (!selector.empty() && selector.find_first_not_of("0123456789") == std::string::npos) {
        found = position(
            [&](const auto& item) { return std::to_string(item.adapterIndex) == selector; });
    }
    const std::string name =
        nicops::text::encodingToGbk(selector, nicops::text::terminalEncoding());
    if (found < 0) {
        found = position([&](const auto& item) { return item.text == name; });
    }
    if (found < 0) {
        found = position([&](const auto& item) {
            const auto* record = snapshot.adapters.find(item.adapterIndex);
            return record != nullptr && record->adapterName == name;
        });
    }
    return found;
}

// Standard input as the text of a multi-line box, in GBK: every line end (LF or CR LF) becomes
// CR LF, and the last one is dropped (a final line end adds no empty line).
std::string standardInputText() {
    const std::string input{std::istreambuf_iterator<char>(std::cin),
                            std::istreambuf_iterator<char>()};
    std::string text;
    text.reserve(input.size() + input.size() / 8);
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] == '\r' && i + 1 < input.size() && input[i + 1] == '\n') {
            continue;  // the LF that follows makes the line end
        }
        if (input[i] == '\n') {
            text += "\r\n";
        } else {
            text += input[i];
        }
    }
    if (text.ends_with("\r\n")) {
        text.resize(text.size() - 2);
    }
    return nicops::text::encodingToGbk(text, nicops::text::terminalEncoding());
}

std::string configDirectory(const Options& options) {
    return options.configDir.empty() ? nicops::platform::defaultConfigDirectory()
                                     : options.configDir;
}

// preset N prints the preset's lines; preset N --set stores standard input as the preset.
int runPreset(const Options& options, nicops::app::DataOutput& output) {
    const std::string configDir = configDirectory(options);
    const std::string iniPath = nicops::platform::settingsFilePath(configDir);
    const std::string section(nicops::settings::kSettingsSection);
    if (options.set) {
        const std::string text = standardInputText();
        nicops::platform::prepareSettingsFolder(iniPath);
        if (!nicops::ipops::savePresetText(iniPath, section,
                                           nicops::ipops::presetKey(options.preset), text)) {
            std::fprintf(stderr, "nicopsctl: cannot write %s\n", iniPath.c_str());
            return 1;
        }
        return 0;
    }
    std::string out = nicops::text::replaceText(
        nicops::ipops::loadPresetText(iniPath, section, options.preset), "\r\n", "\n");
    if (!out.empty() && !out.ends_with('\n')) {
        out += '\n';
    }
    const std::string encoding = nicops::text::terminalEncoding();
    return output.writeStatus(nicops::text::gbkToEncoding(out, encoding));
}

// Selects the list rows of the given addresses (the list shows only the address kind) and runs
// the delete on them. An address the list doesn't show is not selected and says so.
void runDelete(const Options& options, nicops::ui::AppContext& context,
               nicops::ui::MainPresenter& presenter) {
    for (AddressKind kind : nicops::inventory::kAllAddressKinds) {
        presenter.setKindChecked(kind, kind == AddressKind::address);
    }
    presenter.fillIpList();
    const auto rows = presenter.rows();
    const std::string encoding = nicops::text::terminalEncoding();
    // Each address's rows, so that selecting 10,000 addresses is not 10,000 walks of the list.
    std::unordered_multimap<std::string, std::size_t> rowsOf;
    rowsOf.reserve(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        rowsOf.emplace(rows[r].cells[ui::list_column::kAddress], r);
    }
    std::set<std::size_t> selection;
    for (const std::string& arg : options.args) {
        const std::string address = nicops::text::encodingToGbk(arg, encoding);
        const auto [first, last] = rowsOf.equal_range(address);
        for (auto it = first; it != last; ++it) {
            selection.insert(it->second);
        }
        if (first == last) {
            presenter.appendLog("删除IP-地址 " + address + " 失败,列表中没有该地址.");
        }
    }
    presenter.listSelectionChanged({selection.begin(), selection.end()});
    nicops::ipops::deleteSelectedAddresses(context.services(), presenter, presenter.selectedRows());
}

// Applies static's values; nothing is printed unless they could not be applied, then the reason
// is nicopsctl's one error line (the refusal the window logs included).
int runStatic(const Options& options, nicops::platform::AdapterConfiguration& configuration,
              const std::string& connectionName) {
    class ReasonOnly final : public nicops::ipops::OperationHost {
    public:
        void appendLog(std::string_view) override {}  // the reason comes back as `problem`
        void setBusy(bool) override {}
        void refreshDisplay() override {}
        std::uint32_t currentAdapterIndex() const override { return nicops::ui::kNoAdapter; }
    } host;
    std::string problem;
    if (nicops::ipops::switchToStatic(configuration, host, connectionName, options.staticValues,
                                      problem)) {
        return 0;
    }
    if (problem.empty()) {
        std::fprintf(stderr, "nicopsctl: the adapter was not switched to these values\n");
    } else {
        std::fprintf(
            stderr, "nicopsctl: %s\n",
            nicops::text::gbkToEncoding(problem, nicops::text::terminalEncoding()).c_str());
    }
    return 1;
}

// The copy text of every address, lines ending LF on the terminal; the clipboard is stdout.
class CapturedClipboard final : public nicops::platform::Clipboard {
public:
    bool setText(const std::string& gbk) override {
        text = gbk;
        return true;
    }
    std::string text;
};

// lookup queries every address of every adapter and prints what came back; export (and lookup
// --export) prints the copy text. Both log as the window's menu items do.
int runExternal(const Options& options, nicops::ui::AppContext& context,
                nicops::ui::MainPresenter& presenter, nicops::app::ConsoleView& view,
                nicops::app::DataOutput& output) {
    nicops::settings::AppSettings settings = context.settings.get();
    if (options.format) {
        settings.copyFormat =
            nicops::text::encodingToGbk(*options.format, nicops::text::terminalEncoding());
    }
    if (options.concurrency) {
        settings.lookupConcurrency = *options.concurrency;
    }
    context.settings.set(settings);
    std::string out;
    if (options.command == "lookup") {
        nicops::external::queryExternalAddresses(context.services(), presenter, context.settings);
        std::lock_guard lock(context.snapshotMutex);
        out.reserve(context.snapshot.addresses.count() * 48);
        for (const auto& [address, entry] : context.snapshot.addresses) {
            out += address + "\t" + entry.externalAddress + "\t" + entry.location + "\n";
        }
    }
    if (options.command == "export" || options.exportAfter) {
        CapturedClipboard clipboard;
        nicops::external::exportAddressesToClipboard(context.services(), presenter,
                                                     context.settings, clipboard);
        out += nicops::text::replaceText(clipboard.text, "\r\n", "\n");
    }
    return output.writeStatus(view.out(out));
}

int runAdapters(const Options&, Session& session) {
    const auto& items = session.items;
    nicops::app::ConsoleView& view = *session.view;
    std::string out;
    for (const auto& item : items) {
        out += std::to_string(item.adapterIndex) + "\t" + view.out(item.text) + "\n";
    }
    return session.output.writeStatus(out);
}

int runAdd(const Options& options, Session& session) {
    nicops::ui::AppContext& context = *session.context;
    nicops::ui::MainPresenter& presenter = *session.presenter;
    const std::string encoding = nicops::text::terminalEncoding();
    std::string rangeText;
    if (options.args.empty()) {
        rangeText = standardInputText();
    } else {
        for (std::size_t i = 0; i < options.args.size(); ++i) {
            rangeText +=
                (i == 0 ? "" : "\r\n") + nicops::text::encodingToGbk(options.args[i], encoding);
        }
    }
    const std::string mask =
        options.mask
            ? nicops::text::encodingToGbk(*options.mask, encoding)
            : nicops::ipops::loadDefaultMask(context.services(), presenter.currentAdapterIndex());
    nicops::ipops::addIpRanges(context.services(), presenter, {rangeText, mask, options.probe});
    return 0;
}

int runReport(const Options&, Session& session) {
    nicops::ui::MainPresenter& presenter = *session.presenter;
    nicops::app::ConsoleView& view = *session.view;
    nicops::app::DataOutput& output = session.output;
    std::string out;
    const std::int32_t status = presenter.writeDetailsReport();
    for (const std::string& line : nicops::text::splitText(view.detailsReport(), "\r\n")) {
        out += view.out(line) + "\n";
    }
    if (output.writeStatus(out) != 0) {
        return 1;
    }
    presenter.logLinkState(status);
    return 0;
}

int runList(const Options& options, Session& session) {
    nicops::ui::MainPresenter& presenter = *session.presenter;
    nicops::app::ConsoleView& view = *session.view;
    nicops::app::DataOutput& output = session.output;
    std::string out;
    const auto& kinds = options.kindsShown;
    for (AddressKind kind : nicops::inventory::kAllAddressKinds) {
        presenter.setKindChecked(kind, kinds[static_cast<std::size_t>(kind)]);
    }
    presenter.fillIpList();
    // The rows are joined in GBK and converted in one step.
    out.reserve(view.rows().size() * 64);
    for (const auto& row : view.rows()) {
        for (std::size_t c = 0; c < row.cells.size(); ++c) {
            if (c != 0) {
                out += '\t';
            }
            out += row.cells[c];
        }
        out += '\n';
    }
    return output.writeStatus(view.out(out));
}

// The text of the selected adapter's combo item: the connection name dhcp and static switch.
const std::string& connectionName(const Session& session) {
    return session.items[static_cast<std::size_t>(session.selected)].text;
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
};

constexpr CommandSpec kCommands[] = {
    {.name = "adapters", .needs = Needs::adapters, .run = runAdapters},
    {.name = "report", .options = kAdapter, .run = runReport},
    {.name = "list", .options = kAdapter | kKinds, .run = runList},
    {.name = "add",
     .options = kAdapter | kMask | kProbe,
     .takesOperands = true,
     .needs = Needs::adapter,
     .run = runAdd},
    {.name = "delete",
     .options = kAdapter,
     .takesOperands = true,
     .readOperands =
         [](Options& o) {
             if (o.args.empty()) {
                 throw UsageError{"delete needs the addresses to delete"};
             }
         },
     .needs = Needs::adapter,
     .run =
         [](const Options& o, Session& s) {
             runDelete(o, *s.context, *s.presenter);
             return 0;
         }},
    {.name = "restore",
     .run =
         [](const Options&, Session& s) {
             nicops::ipops::restoreAddresses(s.context->services(), *s.presenter);
             return 0;
         }},
    {.name = "dhcp",
     .options = kAdapter,
     .needs = Needs::adapter,
     .run =
         [](const Options&, Session& s) {
             return nicops::ipops::switchToDhcp(*s.context->configuration, *s.presenter,
                                                connectionName(s))
                        ? 0
                        : 1;
         }},
    {.name = "static",
     .options = kAdapter,
     .takesOperands = true,
     .readOperands = [](Options& o) { o.staticValues = staticValues(o.args); },
     .needs = Needs::adapter,
     .run = [](const Options& o,
               Session& s) { return runStatic(o, *s.context->configuration, connectionName(s)); }},
    {.name = "preset",
     .options = kSet,
     .takesOperands = true,
     .readOperands = readPresetNumber,
     .needs = Needs::nothing,
     .run = [](const Options& o, Session& s) { return runPreset(o, s.output); }},
    {.name = "export",
     .options = kFormat,
     .run = [](const Options& o,
               Session& s) { return runExternal(o, *s.context, *s.presenter, *s.view, s.output); }},
    {.name = "lookup",
     .options = kConcurrency | kExport,
     .optionsWith = kFormat,
     .together = kExport,
     .run = [](const Options& o,
               Session& s) { return runExternal(o, *s.context, *s.presenter, *s.view, s.output); }},
};

bool takes(const CommandSpec& command, unsigned bit, unsigned given) {
    return (bit & (kEveryCommand | command.options)) != 0 ||
           ((bit & command.optionsWith) != 0 && (given & command.together) != 0);
}

// "NAME goes with the C command" or "NAME goes with the A, B and C commands".
std::string goesWith(const OptionSpec& spec) {
    if (!spec.goesWith.empty()) {
        return std::string(spec.goesWith);
    }
    std::vector<std::string_view> names;
    for (const CommandSpec& command : kCommands) {
        if (((command.options | command.optionsWith) & spec.bit) != 0) {
            names.push_back(command.name);
        }
    }
    std::string text = std::string(spec.name) + " goes with the ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += i == 0 ? "" : (i + 1 == names.size() ? " and " : ", ");
        text += names[i];
    }
    return text + (names.size() == 1 ? " command" : " commands");
}

}  // namespace

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
        for (const OptionSpec& spec : kOptions) {
            if (!spec.takesValue) {
                option = arg == spec.name ? &spec : nullptr;
            } else if (auto found = optionValue(argc, argv, i, spec.name)) {
                value = std::move(*found);
                option = &spec;
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
    for (const OptionSpec& spec : kOptions) {
        if ((o.given & spec.bit) != 0 && !takes(*command, spec.bit, o.given)) {
            throw UsageError{goesWith(spec)};
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
        std::fprintf(stderr, "nicopsctl: %s\n", choice.error.c_str());
        return choice.exitCode;
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
            std::fprintf(stderr, "nicopsctl: no adapter '%s'\n", options.adapter->c_str());
            return 1;
        }
    }
    presenter.selectComboItem(selected);
    if (command.needs == Needs::adapter && selected < 0) {
        std::fprintf(stderr, "nicopsctl: the host has no adapter\n");
        return 1;
    }
    return command.run(options, session);
}

}  // namespace nicops::app::ctl
