// nicops.exe: the main window on Windows, with the host's adapters through the IP helper, or a
// simulated host (--sim FILE). Options: --sim FILE, --config DIR (default: the program's
// folder), --store PATH.
#include <windows.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "app/backend_choice.h"
#include "app/command_line.h"
#include "app/windows/program_resources.h"
#include "external/http_library.h"
#include "platform/settings_folder.h"
#include "platform/windows/win32_clipboard.h"
#include "settings/app_settings.h"
#include "text/codepage.h"
#include "ui/app_context.h"
#include "ui/main_presenter.h"
#include "ui/win32/win32_main_view.h"

namespace {

void showError(const std::string& gbk) {
    const std::u16string text = nicops::text::gbkToUtf16(gbk);
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text.c_str()), L"nicops",
                MB_OK | MB_ICONERROR);
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::string simFile;
    std::string configDir;
    std::string storePath;
    try {
        for (int i = 1; i < argc; ++i) {
            if (auto sim = nicops::app::optionValue(argc, argv, i, "--sim")) {
                simFile = *sim;
            } else if (auto config = nicops::app::optionValue(argc, argv, i, "--config")) {
                configDir = *config;
            } else if (auto store = nicops::app::optionValue(argc, argv, i, "--store")) {
                storePath = *store;
            } else {
                throw nicops::app::UsageError{std::string("unknown option '") + argv[i] + "'"};
            }
        }
    } catch (const nicops::app::UsageError& e) {
        showError(e.what);
        return 2;
    }

    auto choice = nicops::app::chooseBackend(simFile, storePath);
    if (!choice.backend) {
        showError(choice.error);
        return choice.exitCode;
    }
    nicops::ui::AppContext context(*choice.backend);
    nicops::app::wire(context, choice);
    // Libcurl.dll beside the program: written from the image the program carries when missing.
    context.httpLibraryUsable = [] { return nicops::external::ensureHttpLibrary({}); };
    if (configDir.empty()) {
        configDir = nicops::platform::defaultConfigDirectory();
    }

    nicops::ui::win32::Win32MainView view(GetModuleHandleW(nullptr));
    view.setClipboard(nicops::platform::windows::makeSystemClipboard());
    nicops::ui::MainPresenter presenter(context, view);
    view.attach(presenter);
    // Closing the window ends the process at once; running workers are not waited for. Every
    // file the program writes is replaced atomically, so no write is left half done.
    view.setCloseHandler([] {
        std::fflush(nullptr);
        std::_Exit(0);
    });
    // The program's icon on the title bar, the taskbar and Alt+Tab, in both sizes the system asks.
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    for (const auto& [which, metric] :
         {std::pair{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}}) {
        const int size = GetSystemMetrics(metric);
        if (HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(NICOPS_ICON_ID), IMAGE_ICON, size,
                                     size, LR_DEFAULTCOLOR)) {
            SendMessageW(view.window(), WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
        }
    }
    view.show(SW_SHOWNORMAL);
    // The window's "created" event: start-up runs once the window is shown.
    if (!presenter.startUp(nicops::platform::settingsFilePath(configDir))) {
        return 1;
    }
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(view.window(), &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}
