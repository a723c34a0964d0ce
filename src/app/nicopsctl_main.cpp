// nicopsctl: the command-line twin of the window, for headless hosts. It drives the window's
// presenter through a console view, so both show the same rows and log the same lines. Its
// commands and their options are the tables of app/nicopsctl_commands.h.
#include <clocale>
#include <cstdio>

#include "app/command_line.h"
#include "app/data_output.h"
#include "app/nicopsctl_commands.h"

int main(int argc, char** argv) {
    nicops::app::DataOutput output("nicopsctl");
    std::setlocale(LC_ALL, "");
    if (nicops::app::asksForHelp(argc, argv)) {
        return output.writeStatus(nicops::app::ctl::kUsage);
    }
    if (nicops::app::asksForVersion(argc, argv)) {
        return output.writeStatus(nicops::app::versionText("nicopsctl"));
    }
    try {
        const nicops::app::ctl::Options options = nicops::app::ctl::parseCommandLine(argc, argv);
        return nicops::app::ctl::runCommand(options, output);
    } catch (const nicops::app::UsageError& e) {
        std::fprintf(stderr, "nicopsctl: %s (see nicopsctl --help)\n", e.what.c_str());
        return 2;
    }
}
