#include "platform/qt/qt_pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>

#include "platform/qt/qt_edge.h"

namespace tf {

void QtPasteboard::clearContents() {
    if (qGuiApp == nullptr) {
        return;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear(QClipboard::Clipboard);
    if (clipboard->supportsSelection()) {
        clipboard->clear(QClipboard::Selection);
    }
}

bool QtPasteboard::setString(const std::string& text) {
    if (qGuiApp == nullptr) {
        return false;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QString value = qt::text(text);
    clipboard->setText(value, QClipboard::Clipboard);
    if (clipboard->supportsSelection()) {
        clipboard->setText(value, QClipboard::Selection);
    }
    return clipboard->text(QClipboard::Clipboard) == value;
}

}  // namespace tf
