// View calls from worker threads: queued to the UI thread in call order, never waiting for it;
// calls on the UI thread run at once.
#include <QElapsedTimer>
#include <QMessageBox>
#include <QScrollBar>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <future>

#include "qt_test_support.h"
#include "ui/qt/ip_list_model.h"

namespace nicops::ui::qt::testing {
namespace {

using UiThreadTest = MainWindowFixture;

// Runs `work` on a new thread; true when it finished within two seconds although this (the UI)
// thread did not run its event loop meanwhile.
bool finishesWithoutTheUiThread(std::function<void()> work) {
    auto done = std::async(std::launch::async, std::move(work));
    return done.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
}

TEST_F(UiThreadTest, WorkerCallsWaitForNothingAndArriveInCallOrder) {
    auto* details = control<QTextEdit>(names::kDetailsBox);
    const QThread* uiThread = QThread::currentThread();
    std::vector<int> postedOnUiThread;
    ASSERT_TRUE(finishesWithoutTheUiThread([&] {
        for (int i = 0; i < 200; ++i) {
            view_->appendLogText("line " + std::to_string(i) + "\r\n");
            if (i % 50 == 0) {
                view_->setControlText(names::kDetailsBox, "after " + std::to_string(i));
                view_->post([&, i] {  // runs after every call made before it
                    if (QThread::currentThread() == uiThread) {
                        postedOnUiThread.push_back(i);
                    }
                    EXPECT_TRUE(logText().endsWith(QStringLiteral("line %1\n").arg(i)));
                    EXPECT_EQ(details->toPlainText(), QStringLiteral("after %1").arg(i));
                });
            }
        }
        view_->setControlEnabled(names::kRefreshButton, false);
    }));
    EXPECT_TRUE(logText().isEmpty()) << "calls run only when the UI thread's loop runs";

    ASSERT_TRUE(waitFor([&] { return !widget(names::kRefreshButton)->isEnabled(); }));
    QStringList expected;
    for (int i = 0; i < 200; ++i) {
        expected << QStringLiteral("line %1\n").arg(i);
    }
    EXPECT_EQ(logText(), expected.join(QString()));
    EXPECT_EQ(postedOnUiThread, (std::vector<int>{0, 50, 100, 150}));
}

TEST_F(UiThreadTest, UiThreadCallRunsAtOnceAfterWhatWorkersQueuedBeforeIt) {
    auto* details = control<QTextEdit>(names::kDetailsBox);
    ASSERT_TRUE(finishesWithoutTheUiThread(
        [&] { view_->setControlText(names::kDetailsBox, "from a worker"); }));
    view_->setControlText(names::kDetailsBox, "from the UI thread");
    EXPECT_EQ(details->toPlainText(), QStringLiteral("from the UI thread"));
    QCoreApplication::processEvents();
    EXPECT_EQ(details->toPlainText(), QStringLiteral("from the UI thread"))
        << "an earlier worker call must not land after a later UI-thread call";
}

TEST_F(UiThreadTest, PresenterLogLinesFromSeveralWorkersArriveWholeAndInOrder) {
    constexpr int kThreads = 4;
    constexpr int kLines = 2500;
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i) {
                presenter_->appendLog("worker " + std::to_string(t) + " line " + std::to_string(i));
            }
        });
    }
    const QString last = QStringLiteral(" line %1\n").arg(kLines - 1);
    const bool all = waitFor([&] { return logText().count(last) == kThreads; });
    for (std::thread& t : threads) {
        t.join();
    }
    ASSERT_TRUE(all);

    // Every line whole ("HH:MM:SS：worker T line I"), each worker's lines in its order.
    std::array<int, kThreads> next{};
    const QStringList lines = logText().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), kThreads * kLines);
    for (const QString& line : lines) {
        const QStringList words = line.mid(9).split(u' ');
        ASSERT_TRUE(line.mid(8, 1) == QString::fromUtf16(u"：") && words.size() == 4)
            << line.toStdString();
        ASSERT_EQ(words[3].toInt(), next[static_cast<std::size_t>(words[1].toInt())]++);
    }
    QScrollBar* bar = control<QPlainTextEdit>(names::kLogBox)->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum()) << "the pane shows the newest line";

    // Appending goes to the very end even when the user has put the caret elsewhere.
    auto* log = control<QPlainTextEdit>(names::kLogBox);
    QTextCursor start = log->textCursor();
    start.movePosition(QTextCursor::Start);
    start.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
    log->setTextCursor(start);
    view_->appendLogText("newest\r\n");
    EXPECT_TRUE(logText().endsWith(last + QStringLiteral("newest\n")));
}

TEST_F(UiThreadTest, LaterWorkerCallsArriveWhileAQueuedMessageBoxIsOpen) {
    // The box's own event loop keeps delivering what workers queued behind it.
    bool lineSeenWithBoxOpen = false;
    QElapsedTimer boxOpen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        if (!boxOpen.isValid()) {
            boxOpen.start();
        }
        lineSeenWithBoxOpen = logText().contains(QStringLiteral("after the box"));
        if (lineSeenWithBoxOpen || boxOpen.elapsed() > 2000) {
            box->accept();
        }
    });
    poll.start(10);
    ASSERT_TRUE(finishesWithoutTheUiThread([&] {
        view_->showMessage("message", "title", MessageIcon::information);
        view_->appendLogText("after the box\r\n");
    }));
    ASSERT_TRUE(waitFor([&] { return boxOpen.isValid() && !QApplication::activeModalWidget(); }));
    EXPECT_TRUE(lineSeenWithBoxOpen);
}

TEST_F(UiThreadTest, TwentyThousandRowsFromAWorkerAreOneModelReset) {
    const char* const kinds[] = {"IP-地址", "IP-地址", "IP-网关", "DHCP-IP"};
    std::vector<IpListRow> rows(20000);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string n = std::to_string(i);
        rows[i].cells = {std::to_string(i + 1),
                         "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256),
                         "255.255.0.0",
                         n,
                         n,
                         "12",
                         "",
                         kinds[i % 4]};
    }
    IpListModel* model = view_->ipListModel();
    QSignalSpy aboutToReset(model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy reset(model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);

    ASSERT_TRUE(finishesWithoutTheUiThread([&] { view_->setListRows(rows); }));
    ASSERT_TRUE(waitFor([&] { return reset.count() == 1; }));
    EXPECT_EQ(aboutToReset.count(), 1);
    EXPECT_EQ(inserted.count() + changed.count(), 0);
    ASSERT_EQ(model->rowCount(), 20000);
    EXPECT_EQ(model->row(19999)[0], QStringLiteral("20000"));
    EXPECT_EQ(model->row(19999)[1], QStringLiteral("10.0.78.31"));
    // Repeated cells are converted once and shared; a change between repeats is not missed.
    const QString expected[] = {QString::fromUtf16(u"IP-地址"), QString::fromUtf16(u"IP-地址"),
                                QString::fromUtf16(u"IP-网关"), QStringLiteral("DHCP-IP")};
    for (int r : {0, 1, 2, 3, 4, 5, 6, 19998, 19999}) {
        EXPECT_EQ(model->row(r)[7], expected[r % 4]) << r;
    }
}

}  // namespace
}  // namespace nicops::ui::qt::testing
