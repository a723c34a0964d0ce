// nicopsctl's command table against its usage text, and the usage errors the table makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "app/nicopsctl_commands.h"

namespace {

using namespace nicops::app::ctl;

// The usage error of `nicopsctl ARGS...`; "" when the command line is accepted.
std::string usageError(std::vector<std::string> args) {
    args.insert(args.begin(), "nicopsctl");
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    try {
        parseCommandLine(static_cast<int>(argv.size()), argv.data());
        return "";
    } catch (const nicops::app::UsageError& e) {
        return e.what;
    }
}

// What the usage text's synopsis of a command ("add [--adapter SEL] ... [LINE...]") shows: the
// options, and whether operands follow.
struct Synopsis {
    bool found = false;
    std::set<std::string> options;
    bool operands = false;
};

Synopsis synopsisOf(std::string_view name) {
    const std::string text(kUsage);
    Synopsis shown;
    const std::size_t at = text.find("\n  " + std::string(name) + " ", text.find("\ncommands:\n"));
    if (at == std::string::npos || at > text.find("\noptions:\n")) {
        return shown;
    }
    shown.found = true;
    std::string line = text.substr(at + 3, text.find('\n', at + 1) - at - 3);
    line = line.substr(0, line.find("  "));  // the description follows after two spaces
    for (std::size_t space = line.find(' '); space < line.size();) {
        const std::size_t start = space + 1;
        std::size_t end = line[start] == '[' ? line.find(']', start) + 1 : line.find(' ', start);
        end = std::min(end, line.size());
        std::string group = line.substr(start, end - start);
        if (group.front() == '[') {
            group = group.substr(1, group.size() - 2);
        }
        if (group.starts_with("--")) {
            shown.options.insert(group.substr(0, group.find(' ')));
        } else {
            shown.operands = true;
        }
        space = end;
    }
    return shown;
}

// The usage text (and the README that repeats it) must not drift from what the parser takes.
TEST(NicopsctlCommands, UsageTextShowsEachCommandWithTheOptionsAndOperandsItTakes) {
    for (const CommandSpec& command : commands()) {
        const Synopsis shown = synopsisOf(command.name);
        ASSERT_TRUE(shown.found) << command.name;
        std::set<std::string> taken;
        for (const OptionSpec& entry : options()) {
            if ((entry.bit & (command.options | command.optionsWith)) != 0) {
                taken.insert(std::string(entry.name));
            }
        }
        EXPECT_EQ(shown.options, taken) << command.name;
        EXPECT_EQ(shown.operands, command.takesOperands) << command.name;
    }
}

// Each option a command doesn't take names the commands that do; several such options: the
// first in the table's order, whatever their order on the command line.
TEST(NicopsctlCommands, AnOptionOfAnotherCommandNamesTheCommandsThatTakeIt) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"report", "--kinds", "ip"}, "--kinds goes with the list and delete commands"},
        {{"restore", "--adapter", "7"},
         "--adapter goes with the report, list, add, delete, dhcp and static commands"},
        {{"list", "--probe", "--mask", "255.0.0.0"}, "--mask goes with the add command"},
        {{"delete", "--probe", "10.0.0.5"}, "--probe goes with the add command"},
        {{"export", "--export", "--concurrency", "2"},
         "--concurrency goes with the lookup command"},
        {{"list", "--set", "--export"}, "--export goes with the lookup command"},
        {{"lookup", "--format", "%ip%"}, "--format goes with export and lookup --export"},
        {{"add", "--set"}, "--set goes with the preset command"},
        {{"adapters", "--kinds", "router"},
         "unknown kind 'router' in --kinds (ip, gateway, dhcp, wins1, wins2)"},
        {{"--kinds", "router"}, "no command given"},
        {{"lookup", "--format", "%ip%", "--export", "--concurrency", "3"}, ""},
        {{"export", "--format", "%ip%"}, ""},
    };
    for (const auto& [args, error] : cases) {
        EXPECT_EQ(usageError(args), error) << args.front();
    }
}

}  // namespace
