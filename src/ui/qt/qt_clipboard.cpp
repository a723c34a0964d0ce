#include "ui/qt/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QThread>

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

bool QtClipboard::setText(const std::string& gbk) {
    // A plain QCoreApplication has no platform and so no clipboard.
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app == nullptr) {
        return false;
    }
    // Lines end as the desktop's texts do.
    const QString text = displayText(gbk);
    if (QThread::currentThread() == app->thread()) {
        return setAndConfirm(text);
    }
    bool ok = false;
    if (!QMetaObject::invokeMethod(
            app, [&text] { return setAndConfirm(text); }, Qt::BlockingQueuedConnection, &ok)) {
        return false;
    }
    return ok;
}

}  // namespace nicops::ui::qt
