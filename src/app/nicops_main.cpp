// nicops: the desktop program. The main window's presenter drives a Qt view; the backend is
// the host's own, or the simulated host of --sim FILE.
#include <curl/curl.h>

#include <QApplication>
#include <QTimer>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/backend_choice.h"
#include "app/command_line.h"
#include "ui/app_context.h"
#include "ui/app_settings.h"
#include "ui/main_presenter.h"
#include "ui/qt/qt_main_view.h"

namespace {

constexpr const char* kUsage =
    "usage: nicops [--sim FILE] [--config DIR] [Qt options]\n"
    "\n"
    "options:\n"
    "  --sim FILE     show the simulated host described by FILE (JSON) instead of this host\n"
    "  --config DIR   directory holding UserConfig.ini (default: $XDG_CONFIG_HOME/nicops)\n"
    "  -h, --help     this text\n"
    "\n"
    "Other options (-platform, -display ...) go to Qt.\n"
    "Exit status: 0 the window was closed, 1 the program could not start, 2 usage error.\n";

struct Options {
    std::string simFile;
    std::string configDir;
    std::vector<char*> qtArgs;  // argv[0] and what is not ours
};

Options parseOptions(int argc, char** argv) {
    Options o;
    o.qtArgs.push_back(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--sim" || arg == "--config") {
            (arg == "--sim" ? o.simFile : o.configDir) = nicops::app::optionValue(argc, argv, i);
        } else {
            o.qtArgs.push_back(argv[i]);
        }
    }
    o.qtArgs.push_back(nullptr);
    return o;
}

// The lookup's HTTP library is linked in; it is usable when it initialises and hands out a
// handle. Checked once, on the UI thread, before any worker starts.
bool httpLibraryUsable() {
    static const bool usable = [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            return false;
        }
        CURL* handle = curl_easy_init();
        if (handle == nullptr) {
            return false;
        }
        curl_easy_cleanup(handle);
        return true;
    }();
    return usable;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    if (nicops::app::asksForHelp(argc, argv)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Options options;
    try {
        options = parseOptions(argc, argv);
    } catch (const nicops::app::UsageError& e) {
        std::fprintf(stderr, "nicops: %s (see nicops --help)\n", e.what.c_str());
        return 2;
    }

    auto choice = nicops::app::chooseBackend(options.simFile);
    if (!choice.backend) {
        std::fprintf(stderr, "nicops: %s\n", choice.error.c_str());
        return choice.exitCode;
    }

    int qtArgc = static_cast<int>(options.qtArgs.size()) - 1;
    QApplication app(qtArgc, options.qtArgs.data());
    if (qtArgc > 1) {  // Qt took its own options; anything left is unknown
        std::fprintf(stderr, "nicops: unknown option '%s' (see nicops --help)\n",
                     options.qtArgs[1]);
        return 2;
    }

    nicops::ui::AppContext context(*choice.backend);
    context.httpLibraryUsable = httpLibraryUsable;
    const std::string configDir =
        options.configDir.empty() ? nicops::ui::defaultConfigDirectory() : options.configDir;

    nicops::ui::qt::QtMainView view;
    nicops::ui::MainPresenter presenter(context, view);
    view.attach(presenter);
    // Closing the window ends the process at once; running workers are not waited for. Every
    // file the program writes is replaced atomically, so no write is left half done.
    view.setCloseHandler([] {
        std::fflush(nullptr);
        std::_Exit(0);
    });
    view.show();

    // The window's "created" event: start-up runs once the event loop has shown the window.
    QTimer::singleShot(0, &view, [&] {
        if (!presenter.startUp(nicops::ui::settingsFilePath(configDir))) {
            QCoreApplication::exit(1);  // after the message box was closed
            return;
        }
        // For screenshots: the list menu opened over the list once the rows are there.
        if (qEnvironmentVariableIntValue("NICOPS_SCREENSHOT_MENU") == 1) {
            QTimer::singleShot(1500, &view, [&view] { view.openListMenu(QPoint(150, 110)); });
        }
    });
    return QApplication::exec();
}
