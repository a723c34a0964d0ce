// nicops: the desktop program. The main window's presenter drives a Qt view; the backend is
// the host's own, or the simulated host of --sim FILE.
#include <curl/curl.h>

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/backend_choice.h"
#include "app/command_line.h"
#include "app/data_output.h"
#include "app/privileged_changes.h"
#include "platform/settings_folder.h"
#include "settings/app_settings.h"
#include "ui/app_context.h"
#include "ui/main_presenter.h"
#include "ui/qt/qt_main_view.h"
#include "ui/qt/screenshot_scene.h"

namespace {

constexpr const char* kUsage =
    "usage: nicops [--sim FILE] [--config DIR] [--store PATH] [Qt options]\n"
    "\n"
    "options:\n"
    "  --sim FILE     show the simulated host described by FILE (JSON) instead of this host\n"
    "  --config DIR   directory holding UserConfig.ini (default: $XDG_CONFIG_HOME/nicops)\n"
    "  --store PATH   the stored address sets (default: /var/lib/nicops/store.json, or\n"
    "                 FILE.store.json beside the --sim FILE)\n"
    "  -h, --help     this text\n"
    "  --version      the program's name and version\n"
    "\n"
    "An option's value may also follow it after '=' (--sim=FILE). Other options (-platform,\n"
    "-display ...) go to Qt. Without a display, nicopsctl shows the same host.\n"
    "Exit status: 0 the window was closed, 1 the program could not start (no display, no\n"
    "host), 2 usage error.\n";

constexpr const char* kNoDisplayHint =
    "nicops: nicopsctl works without a display: nicopsctl adapters, nicopsctl list, "
    "nicopsctl report\n";

struct Options {
    std::string simFile;
    std::string configDir;
    std::string storePath;
    std::vector<char*> qtArgs;  // argv[0] and what is not ours
};

Options parseOptions(int argc, char** argv) {
    Options o;
    o.qtArgs.push_back(argv[0]);
    for (int i = 1; i < argc; ++i) {
        if (auto sim = nicops::app::optionValue(argc, argv, i, "--sim")) {
            o.simFile = *sim;
        } else if (auto config = nicops::app::optionValue(argc, argv, i, "--config")) {
            o.configDir = *config;
        } else if (auto store = nicops::app::optionValue(argc, argv, i, "--store")) {
            o.storePath = *store;
        } else {
            o.qtArgs.push_back(argv[i]);
        }
    }
    o.qtArgs.push_back(nullptr);
    if (!o.configDir.empty()) {
        nicops::app::checkConfigDirectory(o.configDir);
    }
    return o;
}

// Why the window can't be shown, found before Qt is started: every platform Qt would try (the
// -platform argument, else QT_QPA_PLATFORM, else its default, xcb) draws on an X11 or Wayland
// display, and none is named. Empty when Qt may go ahead.
std::string missingDisplay(const std::vector<char*>& qtArgs) {
    const char* platforms = std::getenv("QT_QPA_PLATFORM");
    bool displayArgument = false;
    for (std::size_t i = 1; i + 1 < qtArgs.size() && qtArgs[i + 1] != nullptr; ++i) {
        const char* arg = qtArgs[i];
        if (std::strncmp(arg, "--", 2) == 0) {  // Qt takes --platform as -platform
            ++arg;
        }
        if (std::strcmp(arg, "-platform") == 0) {
            platforms = qtArgs[i + 1];
        } else if (std::strcmp(arg, "-display") == 0) {
            displayArgument = true;
        }
    }
    const auto named = [](const char* variable) {
        const char* value = std::getenv(variable);
        return value != nullptr && *value != '\0';
    };
    if (displayArgument || named("DISPLAY") || named("WAYLAND_DISPLAY")) {
        return {};
    }
    // "wayland;xcb" tries one after the other; "xcb:option=value" passes options.
    const std::string list = platforms != nullptr ? platforms : "";
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(list.find(';', start), list.size());
        const std::string entry = list.substr(start, end - start);
        const std::string name = entry.substr(0, entry.find(':'));
        if (!name.empty() && name != "xcb" && !name.starts_with("wayland")) {
            return {};  // offscreen, minimal, eglfs, vnc ... need no display
        }
        if (end == list.size()) {
            break;
        }
        start = end + 1;
    }
    return "neither DISPLAY nor WAYLAND_DISPLAY is set";
}

// Qt's messages while QApplication starts are held back. Qt ends the process with a fatal
// message when no platform plugin starts, which for a desktop means the display could not be
// opened; that start ends here instead, with one reason and exit status 1.
struct StartMessages {
    static std::vector<std::pair<QString, QString>>& held() {  // message, formatted line
        static std::vector<std::pair<QString, QString>> messages;
        return messages;
    }

    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type != QtFatalMsg) {
            held().emplace_back(text, qFormatLogMessage(type, context, text));
            return;
        }
        const QString reason =
            held().empty() ? text.section(QLatin1Char('\n'), 0, 0) : held().front().first;
        std::fprintf(stderr, "nicops: cannot open the display (%s)\n%s",
                     reason.toLocal8Bit().constData(), kNoDisplayHint);
        std::fflush(stderr);
        std::_Exit(1);
    }

    // Hands Qt's messages back to `previous`, and prints what was held.
    static void release(QtMessageHandler previous) {
        qInstallMessageHandler(previous);
        for (const auto& [text, line] : held()) {
            std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
        }
        held().clear();
    }
};

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
    nicops::app::DataOutput output("nicops");
    std::setlocale(LC_ALL, "");
    if (nicops::app::asksForHelp(argc, argv)) {
        return output.writeStatus(kUsage);
    }
    if (nicops::app::asksForVersion(argc, argv)) {
        return output.writeStatus(nicops::app::versionText("nicops"));
    }
    Options options;
    try {
        options = parseOptions(argc, argv);
    } catch (const nicops::app::UsageError& e) {
        std::fprintf(stderr, "nicops: %s (see nicops --help)\n", e.what.c_str());
        return 2;
    }

    const std::string noDisplay = missingDisplay(options.qtArgs);
    if (!noDisplay.empty()) {
        std::fprintf(stderr, "nicops: cannot open the display (%s)\n%s", noDisplay.c_str(),
                     kNoDisplayHint);
        return 1;
    }

    auto choice = nicops::app::chooseBackend(options.simFile, options.storePath);
    if (!choice.backend) {
        std::fprintf(stderr, "nicops: %s\n", choice.error.c_str());
        return choice.exitCode;
    }

    int qtArgc = static_cast<int>(options.qtArgs.size()) - 1;
    const QtMessageHandler previousHandler = qInstallMessageHandler(StartMessages::handler);
    QApplication app(qtArgc, options.qtArgs.data());
    StartMessages::release(previousHandler);
    if (qtArgc > 1) {  // Qt took its own options; anything left is unknown
        std::fprintf(stderr, "nicops: unknown option '%s' (see nicops --help)\n",
                     options.qtArgs[1]);
        return 2;
    }

    if (options.simFile.empty()) {
        // Without the rights to change the host, each change asks polkit through pkexec and
        // runs in the nicopsctl installed beside the window.
        choice.privileged = nicops::app::privilegedChanges(nicops::app::besideProgram("nicopsctl"),
                                                           options.configDir, options.storePath);
    }
    nicops::ui::AppContext context(*choice.backend);
    nicops::app::wire(context, choice);
    context.httpLibraryUsable = httpLibraryUsable;
    const std::string configDir =
        options.configDir.empty() ? nicops::platform::defaultConfigDirectory() : options.configDir;

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
        if (!presenter.startUp(nicops::platform::settingsFilePath(configDir))) {
            QCoreApplication::exit(1);  // after the message box was closed
            return;
        }
        // For the documentation's pictures (scripts/screenshot); nothing without its variables.
        nicops::ui::qt::playScreenshotScene(view);
    });
    return QApplication::exec();
}
