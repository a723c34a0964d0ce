// The Qt clipboard tells how a set went: confirmed on the UI thread and from a worker (which
// waits for the UI thread), refused where the process has no desktop clipboard at all.
#include <QClipboard>
#include <QCoreApplication>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "external/clipboard_export.h"
#include "ipops/operation_fixture.h"
#include "qt_test_support.h"
#include "ui/qt/qt_clipboard.h"

namespace nicops::ui::qt::testing {
namespace {

constexpr const char* kChildVariable = "NICOPS_CLIPBOARD_TEST_CHILD";

TEST(QtClipboardTest, TheTextIsConfirmedOnTheUiThreadAndFromAWorker) {
    if (std::getenv(kChildVariable) != nullptr) {
        GTEST_SKIP() << "the child runs only the test without a GUI application";
    }
    application();
    QtClipboard clipboard;
    EXPECT_TRUE(clipboard.setText("10.0.0.5\r\n10.0.0.6\r\n"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("10.0.0.5\n10.0.0.6\n"));

    // The worker only learns the outcome once the UI thread has run the set.
    std::atomic<int> fromWorker{-1};
    std::thread worker([&] { fromWorker = clipboard.setText("广东深圳 电信\r\n") ? 1 : 0; });
    EXPECT_TRUE(waitFor([&] { return fromWorker != -1; }));
    worker.join();
    EXPECT_EQ(fromWorker, 1);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf16(u"广东深圳 电信\n"));
}

// Run in a child process of this binary, which creates no QApplication: a process with a plain
// QCoreApplication has no platform and so no clipboard.
class NoDesktopExportTest : public ipops::OperationTest {};

TEST_F(NoDesktopExportTest, WithoutAGuiApplicationTheExportSaysTheCopyFailed) {
    if (std::getenv(kChildVariable) == nullptr) {
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        const std::string command = std::string(kChildVariable) + "=1 '" + self +
                                    "' --gtest_filter=NoDesktopExportTest.* 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string out;
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, n);
        }
        const int status = pclose(pipe);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
        EXPECT_NE(out.find("[  PASSED  ] 1 test."), std::string::npos) << out;
        EXPECT_EQ(out.find("SKIPPED"), std::string::npos) << out;
        return;
    }
    int argc = 1;
    char name[] = "qt_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QtClipboard clipboard;
    EXPECT_FALSE(clipboard.setText("x\r\n"));
    bool fromWorker = true;
    std::thread([&] { fromWorker = clipboard.setText("x\r\n"); }).join();
    EXPECT_FALSE(fromWorker);

    openHost();
    settings::SharedSettings settings;
    std::thread([&] {
        external::exportAddressesToClipboard(services(), *host_, settings, clipboard);
    }).join();
    EXPECT_EQ(host_->takeLog(),
              (std::vector<std::string>{"<busy>", "共计复制3个IP,复制到剪辑版失败！", "</busy>"}));
}

}  // namespace
}  // namespace nicops::ui::qt::testing
