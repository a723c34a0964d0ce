#include "ui/qt/screenshot_scene.h"

#include <QAction>
#include <QByteArray>
#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "ui/layout_tables.h"
#include "ui/qt/qt_add_range_dialog.h"
#include "ui/qt/qt_main_view.h"
#include "ui/qt/qt_settings_dialog.h"
#include "ui/qt/qt_tcpip_dialog.h"
#include "ui/qt/qt_text.h"

namespace nicops::ui::qt {
namespace {

// After the first display has reached the window.
constexpr int kSceneDelayMs = 1500;

// Opens the add dialog as the list menu's item does and presses one of its buttons.
void pressInAddDialog(QtMainView& view, std::string_view button, const QString& rangeText = {}) {
    view.listMenu()->findChild<QAction*>(toQString(menu::kAdd))->trigger();
    QtAddRangeDialog* dialog = view.addDialog();
    if (dialog == nullptr) {
        return;
    }
    if (!rangeText.isEmpty()) {
        dialog->findChild<QPlainTextEdit*>(toQString(add_names::kRangeBox))
            ->setPlainText(rangeText);
    }
    dialog->findChild<QPushButton*>(toQString(button))->click();
}

// Chooses the adapter box's item with this text, as the user does, and opens the TCP/IPv4
// properties dialog from the list menu.
void openTcpipDialog(QtMainView& view, const QString& connectionName) {
    auto* combo = view.findChild<QComboBox*>(toQString(names::kAdapterCombo));
    const int item = combo->findText(connectionName);
    if (item >= 0 && item != combo->currentIndex()) {
        combo->setCurrentIndex(item);
        Q_EMIT combo->activated(item);
    }
    view.listMenu()->findChild<QAction*>(toQString(menu::kProperties))->trigger();
}

}  // namespace

void playScreenshotScene(QtMainView& view) {
    QByteArray scene = qgetenv("NICOPS_SCREENSHOT_SCENE");
    if (scene.isEmpty() && qEnvironmentVariableIntValue("NICOPS_SCREENSHOT_MENU") == 1) {
        scene = "menu";
    }
    if (scene == "menu") {
        QTimer::singleShot(kSceneDelayMs, &view, [&view] { view.openListMenu(QPoint(150, 110)); });
    } else if (scene == "add-dialog") {
        QTimer::singleShot(kSceneDelayMs, &view,
                           [&view] { pressInAddDialog(view, add_names::kPresetButtons[0]); });
    } else if (scene == "settings-menu") {
        QTimer::singleShot(kSceneDelayMs, &view, [&view] {
            view.listMenu()->findChild<QAction*>(toQString(menu::kSettings))->trigger();
            QTimer::singleShot(300, &view, [&view] {
                if (QtSettingsDialog* dialog = view.settingsDialog()) {
                    dialog->openPlaceholderMenu(settings_names::kCopyFormatBox, QPoint(6, 12));
                }
            });
        });
    } else if (scene == "add-finished") {
        QTimer::singleShot(kSceneDelayMs, &view, [&view] {
            pressInAddDialog(view, add_names::kOkButton, QStringLiteral("192.168.1.{40-45}"));
        });
    } else if (scene == "tcpip-dhcp") {
        QTimer::singleShot(kSceneDelayMs, &view,
                           [&view] { openTcpipDialog(view, QString::fromUtf16(u"以太网 2")); });
    } else if (scene == "tcpip-static") {
        QTimer::singleShot(kSceneDelayMs, &view,
                           [&view] { openTcpipDialog(view, QString::fromUtf16(u"以太网")); });
    } else if (scene == "lookup-finished") {
        QTimer::singleShot(kSceneDelayMs, &view, [&view] {
            view.listMenu()->findChild<QAction*>(toQString(menu::kLookup))->trigger();
        });
    }
}

}  // namespace nicops::ui::qt
