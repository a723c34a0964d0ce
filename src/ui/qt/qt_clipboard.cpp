#include "ui/qt/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QThread>

#include "ui/qt/window_font.h"

namespace nicops::ui::qt {

bool QtClipboard::setText(const std::string& gbk) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return false;
    }
    // Lines end as the desktop's texts do.
    const QString text = displayText(gbk);
    if (QThread::currentThread() == app->thread()) {
        QGuiApplication::clipboard()->setText(text);
    } else {
        QMetaObject::invokeMethod(
            app, [text] { QGuiApplication::clipboard()->setText(text); }, Qt::QueuedConnection);
    }
    return true;
}

}  // namespace nicops::ui::qt
