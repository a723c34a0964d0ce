// The settings window as the layout table describes it, its placeholder menus typing into the
// real edit boxes, and the list menu's export reaching the desktop's clipboard.
#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include "external/clipboard_export.h"
#include "platform/ini_file.h"
#include "qt_test_support.h"
#include "ui/qt/qt_settings_dialog.h"
#include "ui/qt/window_font.h"

namespace nicops::ui::qt::testing {
namespace {

using SettingsDialogTest = MainWindowFixture;

QAction* menuAction(QtMainView& view, std::string_view caption) {
    return view.listMenu()->findChild<QAction*>(toQString(caption));
}

TEST_F(SettingsDialogTest, OpensModalFromTheMenuWithEveryControlWhereTheTableSays) {
    startUp();
    menuAction(*view_, menu::kSettings)->trigger();
    QtSettingsDialog* dialog = view_->settingsDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->isModal());
    EXPECT_EQ(dialog->parentWidget(), view_.get()) << "owned by the main window";
    EXPECT_EQ(dialog->windowTitle(), QString::fromUtf16(u"软件设置"));
    EXPECT_EQ(dialog->size(), QSize(417, 189));
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << "fixed size";

    expectControlsAsTheTableSays(*dialog, kSettingsControls);
    auto box = [&](std::string_view name) {
        return dialog->findChild<QLineEdit*>(toQString(name));
    };
    EXPECT_EQ(box(settings_names::kCopyFormatBox)->text(),
              QString::fromUtf16(u"{外网IP}:1080|mornlux|kvzt|{地理位置}"));
    EXPECT_EQ(box(settings_names::kLocationFormatBox)->text(),
              QString::fromUtf16(u"{地区}{城市} {线路}"));
    EXPECT_EQ(box(settings_names::kConnectTimeoutBox)->text(), QStringLiteral("1500"));
    EXPECT_EQ(box(settings_names::kRequestTimeoutBox)->text(), QStringLiteral("1500"));
    EXPECT_EQ(box(settings_names::kLookupConcurrencyBox)->text(), QStringLiteral("1"));
    EXPECT_EQ(box(settings_names::kRequestTimeoutBox)->alignment() & Qt::AlignHCenter,
              Qt::AlignHCenter);
    QLineEdit* timeout = box(settings_names::kConnectTimeoutBox);
    timeout->clear();
    QTest::keyClicks(timeout, QStringLiteral("2a-5"));
    EXPECT_EQ(timeout->text(), QStringLiteral("25")) << "digits only";

    for (std::string_view menuName :
         {settings_names::kCopyFormatMenu, settings_names::kLocationFormatMenu}) {
        QMenu* menu = dialog->placeholderMenu(menuName);
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->actions().size(), 4);
    }
    dialog->close();
}

TEST_F(SettingsDialogTest, PlaceholdersLandAtTheCaretOrOverTheSelectionAndStayOnTheClipboard) {
    startUp();
    menuAction(*view_, menu::kSettings)->trigger();
    QtSettingsDialog* dialog = view_->settingsDialog();
    ASSERT_NE(dialog, nullptr);
    auto* copyBox = dialog->findChild<QLineEdit*>(toQString(settings_names::kCopyFormatBox));
    auto* locationBox =
        dialog->findChild<QLineEdit*>(toQString(settings_names::kLocationFormatBox));
    const auto choose = [&](std::string_view menuName, const char16_t* caption) {
        dialog->placeholderMenu(menuName)
            ->findChild<QAction*>(QString::fromUtf16(caption))
            ->trigger();
    };

    copyBox->setText(QStringLiteral("ab"));
    copyBox->end(false);
    locationBox->setFocus();  // the other box has the focus: the item's box takes it
    choose(settings_names::kCopyFormatMenu, u"外网IP");
    EXPECT_EQ(copyBox->text(), QString::fromUtf16(u"ab{外网IP}"));
    EXPECT_EQ(locationBox->text(), QString::fromUtf16(u"{地区}{城市} {线路}"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf16(u"{外网IP}"));

    locationBox->setText(QStringLiteral("x-y-z"));
    locationBox->setSelection(1, 3);  // "-y-"
    choose(settings_names::kLocationFormatMenu, u"城市");
    EXPECT_EQ(locationBox->text(), QString::fromUtf16(u"x{城市}z"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf16(u"{城市}"));

    dialog->findChild<QPushButton*>(toQString(settings_names::kOkButton))->click();
    EXPECT_TRUE(waitFor([this] { return view_->settingsDialog() == nullptr; }));
    EXPECT_EQ(context_->settings.get().locationFormat, "x{城市}z");
    EXPECT_EQ(platform::readIniString(context_->settings.get().iniPath, settings::kSettingsSection,
                                      settings::kCopyFormatKey, ""),
              "ab{外网IP}");
}

TEST_F(SettingsDialogTest, CopyAllPutsTheExportOnTheDesktopClipboardAndSaysSo) {
    startUp();
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    std::string exportText;
    std::string count;
    {
        std::lock_guard lock(context_->snapshotMutex);
        exportText = external::buildExportText(context_->snapshot, settings::kDefaultCopyFormat);
        count = std::to_string(context_->snapshot.addresses.count());
    }
    menuAction(*view_, menu::kCopyAll)->trigger();
    // The worker waits until the UI thread has set the text: the loop runs until it has said how
    // that went, and only then is it joined.
    const QString success = QString::fromUtf16(u"复制所有网卡IP完成,共计复制") +
                            QString::fromStdString(count) + QString::fromUtf16(u"个IP.");
    EXPECT_TRUE(waitFor([&] { return logCount(success) == 1; })) << logText().toStdString();
    workers_.join();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), displayText(exportText));
    EXPECT_TRUE(QGuiApplication::clipboard()->text().contains(QStringLiteral(":1080|mornlux|")));
}

}  // namespace
}  // namespace nicops::ui::qt::testing
