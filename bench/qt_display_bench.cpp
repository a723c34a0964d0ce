// The window with 20,000 addresses on one adapter, on the offscreen platform:
//   - the list shown and painted after a refresh, beside the snapshot alone (target: painted
//     within 100 ms after the snapshot), against a QStandardItemModel filled with the same
//     cells, the usual way to fill a Qt table;
//   - 10,000 log lines from a worker until the pane holds them all (target: 300 ms), against
//     the same lines appended one by one on the UI thread.
// Prints figures only.
#include <QApplication>
#include <QPlainTextEdit>
#include <QStandardItemModel>
#include <QTableView>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "inventory/snapshot.h"
#include "platform/sim/sim_host.h"
#include "ui/app_context.h"
#include "ui/layout_tables.h"
#include "ui/main_presenter.h"
#include "ui/qt/ip_list_model.h"
#include "ui/qt/qt_main_view.h"
#include "ui/qt/qt_text.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kAddresses = 20000;
constexpr int kLogLines = 10000;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string writeHost(const std::filesystem::path& dir) {
    const auto file = dir / "bench-host.json";
    std::ofstream out(file);
    out << R"({"adapters": [{"index": 3, "friendlyName": "bench", "status": 2, "operStatus": 1,
        "speed": 1000000000, "mtu": 1500, "ipAddresses": [)";
    for (int i = 0; i < kAddresses; ++i) {
        out << (i ? "," : "") << R"({"address": "10.)" << (i >> 16) << '.' << ((i >> 8) & 255)
            << '.' << (i & 255) << R"(", "mask": "255.255.0.0", "context": )" << i + 1 << '}';
    }
    out << "]}]}\n";
    return file.string();
}

void paint(QTableView* table) {
    QCoreApplication::processEvents();
    table->viewport()->repaint();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const auto dir = std::filesystem::temp_directory_path() / "nicops-qt-bench";
    std::filesystem::create_directories(dir);
    std::string error;
    auto host = nicops::platform::sim::SimHost::open(writeHost(dir), error);
    if (!host) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    nicops::ui::AppContext context(*host);
    nicops::ui::qt::QtMainView view;
    nicops::ui::MainPresenter presenter(context, view);
    view.attach(presenter);
    view.show();
    presenter.firstDisplay();  // selects the adapter; also the warm-up
    paint(view.ipList());

    // Snapshot alone, then the whole refresh up to the painted list.
    auto start = Clock::now();
    nicops::inventory::AdapterSnapshot snapshot;
    nicops::inventory::buildAdapterSnapshot(*host, snapshot);
    const double snapshotMs = msSince(start);
    start = Clock::now();
    presenter.refreshDisplay();
    paint(view.ipList());
    const double refreshMs = msSince(start);
    const auto rows = presenter.rows();

    // Peer: the same cells through QStandardItemModel into a table of the same size.
    QTableView peerTable;
    peerTable.resize(432, 423);
    peerTable.show();
    start = Clock::now();
    QStandardItemModel peerModel(0, 8);
    for (const auto& row : rows) {
        QList<QStandardItem*> items;
        for (const auto& cell : row.cells) {
            items.append(new QStandardItem(nicops::ui::qt::toQString(cell)));
        }
        peerModel.appendRow(items);
    }
    peerTable.setModel(&peerModel);
    paint(&peerTable);
    const double peerMs = msSince(start);

    const double listMs = refreshMs - snapshotMs;
    std::printf("rows shown: %zu\n", rows.size());
    std::printf("snapshot (simulated host): %.1f ms\n", snapshotMs);
    std::printf("list painted after the snapshot: %.1f ms   target <= 100 ms\n", listMs);
    std::printf("peer, QStandardItemModel fill + paint: %.1f ms\n", peerMs);
    std::printf("ratio list / peer: %.2f\n", listMs / peerMs);

    // Log lines from a worker until the pane holds them all.
    auto* log =
        view.findChild<QPlainTextEdit*>(nicops::ui::qt::toQString(nicops::ui::names::kLogBox));
    const int before = log->blockCount();
    start = Clock::now();
    std::thread worker([&presenter] {
        for (int i = 0; i < kLogLines; ++i) {
            presenter.appendLog("第" + std::to_string(i) + "行");
        }
    });
    while (log->blockCount() < before + kLogLines) {
        QCoreApplication::processEvents();
    }
    const double logMs = msSince(start);
    worker.join();

    QPlainTextEdit peerLog;
    peerLog.show();
    start = Clock::now();
    for (int i = 0; i < kLogLines; ++i) {
        peerLog.appendPlainText(QString::fromUtf8("00:00:00：line ") + QString::number(i));
    }
    QCoreApplication::processEvents();
    const double peerLogMs = msSince(start);
    std::printf("%d log lines from a worker: %.1f ms   target <= 300 ms\n", kLogLines, logMs);
    std::printf("peer, appendPlainText per line on the UI thread: %.1f ms\n", peerLogMs);
    std::printf("ratio log / peer: %.2f\n", logMs / peerLogMs);
    std::filesystem::remove_all(dir);
    return 0;
}
