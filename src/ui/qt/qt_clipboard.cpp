#include "ui/qt/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

#include <condition_variable>
#include <mutex>
#include <optional>

#include "ui/qt/ui_call_queue.h"
#include "ui/qt/window_font.h"

namespace nicops::ui::qt {

namespace {

// On the UI thread: sets the text and tells whether the clipboard now holds it.
bool setAndConfirm(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) {
        return false;
    }
    clipboard->setText(text);
    return clipboard->text() == text;
}

}  // namespace

QtClipboard::QtClipboard() : uiCalls_(std::make_unique<UiCallQueue>()) {}

QtClipboard::~QtClipboard() = default;

bool QtClipboard::setText(const std::string& gbk) {
    // A plain QCoreApplication has no platform and so no clipboard.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        return false;
    }
    // Lines end as the desktop's texts do.
    const QString text = displayText(gbk);
    if (uiCalls_->onUiThread()) {
        return setAndConfirm(text);
    }
    // The outcome comes back under a standard mutex, so race checkers see the hand-over.
    struct Outcome {
        std::mutex mutex;
        std::condition_variable set;
        std::optional<bool> ok;
    };
    auto outcome = std::make_shared<Outcome>();
    uiCalls_->run([outcome, text] {
        const bool ok = setAndConfirm(text);
        {
            std::lock_guard lock(outcome->mutex);
            outcome->ok = ok;
        }
        outcome->set.notify_all();
    });
    std::unique_lock lock(outcome->mutex);
    outcome->set.wait(lock, [&] { return outcome->ok.has_value(); });
    return *outcome->ok;
}

}  // namespace nicops::ui::qt
