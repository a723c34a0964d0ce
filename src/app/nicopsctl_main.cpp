// nicopsctl: the command-line twin of the window, for headless hosts. It drives the window's
// presenter through a console view, so both show the same rows and log the same lines.
#include <array>
#include <clocale>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/backend_choice.h"
#include "app/command_line.h"
#include "app/console_view.h"
#include "app/data_output.h"
#include "text/codepage.h"
#include "text/text_functions.h"
#include "ui/app_context.h"
#include "ui/app_settings.h"
#include "ui/main_presenter.h"

namespace {

using nicops::inventory::AddressKind;

constexpr const char* kUsage =
    "usage: nicopsctl [--sim FILE] [--config DIR] COMMAND [OPTIONS]\n"
    "\n"
    "commands:\n"
    "  adapters                      one line per adapter: index, TAB, connection name\n"
    "  report [--adapter SEL]        the adapter's details report\n"
    "  list [--adapter SEL] [--kinds LIST]\n"
    "                                the adapter's IP-list rows, columns separated by TAB\n"
    "\n"
    "options:\n"
    "  --sim FILE     use the simulated host described by FILE (JSON)\n"
    "  --config DIR   directory holding UserConfig.ini\n"
    "  --adapter SEL  adapter index, else connection name, else interface name\n"
    "                 (default: the last adapter)\n"
    "  --kinds LIST   comma list of ip, gateway, dhcp, wins1, wins2 (default: ip)\n"
    "  -h, --help     this text\n"
    "  --version      the program's name and version\n"
    "\n"
    "An option's value may also follow it after '=' (--adapter=7).\n"
    "\n"
    "Data goes to stdout, log lines to stderr. Exit status: 0 success, 1 the command could not\n"
    "run or its output could not be written, 2 usage error.\n";

struct Options {
    std::string simFile;
    std::string configDir;
    std::string command;
    std::optional<std::string> adapter;
    std::optional<std::string> kinds;
    std::array<bool, 5> kindsShown{};  // what --kinds names; "ip" without it
};

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

Options parseOptions(int argc, char** argv) {
    using nicops::app::optionValue;
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (auto sim = optionValue(argc, argv, i, "--sim")) {
            o.simFile = *sim;
        } else if (auto config = optionValue(argc, argv, i, "--config")) {
            o.configDir = *config;
        } else if (auto adapter = optionValue(argc, argv, i, "--adapter")) {
            o.adapter = adapter;
        } else if (auto kinds = optionValue(argc, argv, i, "--kinds")) {
            o.kinds = kinds;
        } else if (!arg.empty() && arg[0] == '-') {
            throw UsageError{"unknown option '" + arg + "'"};
        } else if (o.command.empty()) {
            o.command = arg;
        } else {
            throw UsageError{"unexpected argument '" + arg + "'"};
        }
    }
    if (o.command.empty()) {
        throw UsageError{"no command given"};
    }
    if (o.command != "adapters" && o.command != "report" && o.command != "list") {
        throw UsageError{"unknown command '" + o.command + "'"};
    }
    o.kindsShown = parseKinds(o.kinds.value_or("ip"));
    if (o.command != "list" && o.kinds) {
        throw UsageError{"--kinds goes with the list command"};
    }
    if (o.command == "adapters" && o.adapter) {
        throw UsageError{"--adapter goes with the report and list commands"};
    }
    if (!o.configDir.empty()) {
        nicops::app::checkConfigDirectory(o.configDir);
    }
    return o;
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

int run(const Options& options, nicops::app::DataOutput& output) {
    auto choice = nicops::app::chooseBackend(options.simFile);
    if (!choice.backend) {
        std::fprintf(stderr, "nicopsctl: %s\n", choice.error.c_str());
        return choice.exitCode;
    }
    const std::string encoding = nicops::text::terminalEncoding();
    nicops::ui::AppContext context(*choice.backend);
    const std::string configDir =
        options.configDir.empty() ? nicops::ui::defaultConfigDirectory() : options.configDir;
    std::string settingsNotice;
    context.settings.set(
        nicops::ui::loadSettings(nicops::ui::settingsFilePath(configDir), &settingsNotice));

    nicops::app::ConsoleView view(encoding);
    nicops::ui::MainPresenter presenter(context, view);
    if (!settingsNotice.empty()) {
        presenter.appendLog(settingsNotice);
    }
    presenter.loadAdapters();
    const auto items = presenter.comboItems();

    if (options.command == "adapters") {
        std::string out;
        for (const auto& item : items) {
            out += std::to_string(item.adapterIndex) + "\t" + view.out(item.text) + "\n";
        }
        return output.writeStatus(out);
    }

    int selected = static_cast<int>(items.size()) - 1;  // the window starts on the last adapter
    if (options.adapter) {
        std::lock_guard lock(context.snapshotMutex);
        selected = findAdapter(items, context.snapshot, *options.adapter);
        if (selected < 0) {
            std::fprintf(stderr, "nicopsctl: no adapter '%s'\n", options.adapter->c_str());
            return 1;
        }
    }
    presenter.selectComboItem(selected);

    std::string out;
    if (options.command == "report") {
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

}  // namespace

int main(int argc, char** argv) {
    nicops::app::DataOutput output("nicopsctl");
    std::setlocale(LC_ALL, "");
    if (nicops::app::asksForHelp(argc, argv)) {
        return output.writeStatus(kUsage);
    }
    if (nicops::app::asksForVersion(argc, argv)) {
        return output.writeStatus(nicops::app::versionText("nicopsctl"));
    }
    try {
        Options options = parseOptions(argc, argv);
        return run(options, output);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "nicopsctl: %s (see nicopsctl --help)\n", e.what.c_str());
        return 2;
    }
}
