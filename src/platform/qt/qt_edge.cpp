#include "platform/qt/qt_edge.h"

#include <QDateTime>

#include <cstdio>

#include <QDir>
#include <QFile>
#include <QTimer>
#include <QWidget>

#include "util/path_text.h"
#include "util/strings.h"

namespace tf::qt {

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

std::string text(const QString& text) {
    return text.toStdString();
}

QString pathText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string pathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

std::string pathBytes(const QString& chosen, const std::string& known) {
    const QString cleanChosen = QDir::cleanPath(chosen);
    if (known.empty()) {
        return pathBytes(cleanChosen);
    }
    const QString cleanKnown = QDir::cleanPath(pathText(known));
    const std::string base = withoutTrailingSlashes(known);
    if (cleanChosen == cleanKnown) {
        return base;
    }
    const QString prefix = cleanKnown.endsWith(u'/') ? cleanKnown : cleanKnown + u'/';
    if (cleanChosen.startsWith(prefix)) {
        const std::string rest = pathBytes(cleanChosen.mid(prefix.size()));
        return childPath(base, rest);
    }
    return pathBytes(cleanChosen);
}

std::string representablePath(const std::string& path) {
    std::string candidate = path;
    while (!candidate.empty() && pathBytes(pathText(candidate)) != candidate) {
        const std::size_t slash = candidate.rfind('/');
        if (slash == std::string::npos) {
            return {};
        }
        candidate.erase(slash == 0 ? 1 : slash);
    }
    return candidate;
}

QString windowTitle() {
    return text(displayName());
}

void bringToFront(QWidget* window) {
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    QTimer::singleShot(0, window, [window] {
        window->raise();
        window->activateWindow();
    });
}

void printShownAfter(long long sinceMs) {
    long long elapsed = sinceMs;
    bool fromLaunch = false;
    const qint64 launched = qEnvironmentVariable("TRACKFOLIO_LAUNCHED_AT").toLongLong(&fromLaunch);
    if (fromLaunch) {
        elapsed = (QDateTime::currentMSecsSinceEpoch() * 1000000 - launched) / 1000000;
    }
    std::printf("shown after %lld ms\n", elapsed);
    std::fflush(stdout);
}

}  // namespace tf::qt
