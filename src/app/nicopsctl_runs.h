// What each of nicopsctl's commands does once its command line has been checked against the
// command table (app/nicopsctl_commands.h): every run function takes the checked options and the
// session the table's "needs" prepared, and answers the exit status.
#pragma once

#include <string>
#include <vector>

#include "app/console_view.h"
#include "app/data_output.h"
#include "app/nicopsctl_commands.h"
#include "inventory/snapshot.h"
#include "ui/app_context.h"
#include "ui/main_presenter.h"

namespace nicops::app::ctl {

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

// A command that can't run: "nicopsctl: MESSAGE" (MESSAGE in the terminal's encoding) on
// stderr, under --json also {"error": MESSAGE} on stdout; answers `status`.
int cannotRun(const Options& options, Session& session, const std::string& message, int status = 1);

// --config DIR, else the platform's settings folder.
std::string configDirectory(const Options& options);

// The adapter-box position of SEL (an adapter index, else a connection name, else an interface
// name); -1 for none.
int findAdapter(const std::vector<ui::ComboItem>& items, const inventory::AdapterSnapshot& snapshot,
                const std::string& selector);

int runAdapters(const Options& options, Session& session);
int runReport(const Options& options, Session& session);
int runList(const Options& options, Session& session);
int runAdd(const Options& options, Session& session);
int runDelete(const Options& options, Session& session);
int runRestore(const Options& options, Session& session);
int runDhcp(const Options& options, Session& session);
int runStatic(const Options& options, Session& session);
int runPreset(const Options& options, Session& session);
// export, and lookup (with --export, the copy text after the results).
int runExternal(const Options& options, Session& session);

}  // namespace nicops::app::ctl
