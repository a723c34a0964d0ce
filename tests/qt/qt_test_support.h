// Shared pieces of the Qt view tests: the application object (created on first use, so listing
// the tests needs no display), the main window over a copy of the demo host, and waiting with
// the event loop running (a worker's view calls only arrive while the UI thread pumps).
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextEdit>

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/sim_host.h"
#include "support/joined_workers.h"
#include "support/temp_dir.h"
#include "ui/app_context.h"
#include "ui/layout_tables.h"
#include "ui/main_presenter.h"
#include "ui/qt/qt_main_view.h"
#include "ui/qt/qt_tcpip_dialog.h"
#include "ui/qt/qt_text.h"

namespace nicops::ui::qt::testing {

// The one QApplication of the test binary, created on first use and destroyed after the last
// test (a global test environment), so that memory checkers see Qt shut down properly.
class QtEnvironment : public ::testing::Environment {
public:
    static QApplication& application() {
        if (!app_) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
                qputenv("QT_QPA_PLATFORM", "offscreen");
            }
            app_ = std::make_unique<QApplication>(argc_, argv_);
        }
        return *app_;
    }
    void TearDown() override { app_.reset(); }

private:
    static inline int argc_ = 1;
    static inline char name_[] = "qt_tests";
    static inline char* argv_[] = {name_, nullptr};
    static inline std::unique_ptr<QApplication> app_;
};

inline QApplication& application() {
    return QtEnvironment::application();
}

// Runs the event loop until `done` holds or five seconds pass.
inline bool waitFor(const std::function<bool()>& done) {
    return QTest::qWaitFor(done, 5000);
}

// Opens the TCP/IPv4 properties dialog by its list-menu item; the dialog, or nullptr when none
// opened.
inline QtTcpipDialog* openTcpipDialog(QtMainView& view) {
    view.listMenu()->findChild<QAction*>(toQString(menu::kProperties))->trigger();
    return view.tcpipDialog();
}

// Every control of a dialog where its table row says: found by its name, at the row's geometry
// inside the group box the row names, shown unless the row hides it, a label or button with the
// row's caption.
inline void expectControlsAsTheTableSays(const QWidget& dialog,
                                         std::span<const ControlSpec> controls) {
    for (const ControlSpec& entry : controls) {
        SCOPED_TRACE(toQString(entry.name).toStdString());
        auto* w = dialog.findChild<QWidget*>(toQString(entry.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), QRect(entry.left, entry.top, entry.width, entry.height));
        const QString parent = entry.parent.empty() ? QString() : toQString(entry.parent);
        EXPECT_EQ(w->parentWidget() == &dialog ? QString() : w->parentWidget()->objectName(),
                  parent);
        EXPECT_EQ(w->isVisible(), !entry.hidden);
        if (auto* label = qobject_cast<QLabel*>(w)) {
            EXPECT_EQ(label->text(), toQString(entry.caption));
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_EQ(button->text(), toQString(entry.caption));
        }
    }
}

using nicops::testing::JoinedWorkers;

// The main window and its presenter over a private copy of tests/data/demo-host.json.
class MainWindowFixture : public ::testing::Test {
protected:
    MainWindowFixture() { application(); }

    void SetUp() override {
        const std::string hostFile = (temp_.path() / "host.json").string();
        std::filesystem::copy_file(NICOPS_SOURCE_DIR "/tests/data/demo-host.json", hostFile);
        std::string error;
        host_ = platform::sim::SimHost::open(hostFile, error);
        ASSERT_TRUE(host_) << error;
        context_ = std::make_unique<AppContext>(*host_);
        openWindow();
    }

    // The window and its presenter over context_, shown.
    void openWindow() {
        view_ = std::make_unique<QtMainView>();
        presenter_ = std::make_unique<MainPresenter>(*context_, *view_, workers_.starter());
        view_->attach(*presenter_);
        view_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
    }

    void TearDown() override {
        workers_.join();
        QCoreApplication::processEvents();  // what the workers queued last
        presenter_.reset();
        view_.reset();
    }

    // Start-up as the program runs it; returns when the first display has reached the window.
    void startUp() {
        ASSERT_TRUE(presenter_->startUp((temp_.path() / "UserConfig.ini").string()));
        workers_.join();
        QCoreApplication::processEvents();  // delivers everything the worker queued
        ASSERT_TRUE(widget(names::kRefreshButton)->isEnabled());
    }

    QWidget* widget(std::string_view name) const {
        return view_->findChild<QWidget*>(toQString(name));
    }
    template <typename T>
    T* control(std::string_view name) const {
        return view_->findChild<T*>(toQString(name));
    }
    QString logText() const { return control<QPlainTextEdit>(names::kLogBox)->toPlainText(); }
    int logCount(const QString& message) const {
        return static_cast<int>(logText().count(message));
    }

    // Makes the adapter with this index the current one, as choosing it in the box does.
    void chooseAdapter(std::uint32_t adapterIndex) {
        auto* combo = control<QComboBox>(names::kAdapterCombo);
        const int item = combo->findData(QVariant::fromValue(adapterIndex));
        ASSERT_GE(item, 0);
        presenter_->selectAdapter(item);
        QCoreApplication::processEvents();
    }

    nicops::testing::TempDir temp_;
    std::unique_ptr<platform::sim::SimHost> host_;
    std::unique_ptr<AppContext> context_;
    std::unique_ptr<QtMainView> view_;
    JoinedWorkers workers_;
    std::unique_ptr<MainPresenter> presenter_;
};

}  // namespace nicops::ui::qt::testing
