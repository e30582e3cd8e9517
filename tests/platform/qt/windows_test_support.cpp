#include "platform/qt/windows_test_support.h"

#include <QDir>
#include <QEventLoop>
#include <QPixmap>

#include <cstdlib>

namespace tf::test {

QPushButton* buttonWithText(QWidget* window, const QString& text) {
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (QString(button->text()).remove(u'&') == text) {
            return button;
        }
    }
    return nullptr;
}

bool waitFor(const std::function<bool()>& done, int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void checkScreenshot(QWidget* window, const QString& name, int minWidth) {
    const QPixmap grab = window->grab();
    EXPECT_GE(grab.width(), minWidth) << name.toStdString();
    EXPECT_GE(grab.height(), 60) << name.toStdString();
    if (const char* folder = std::getenv("TRACKFOLIO_SCREENSHOT_DIR"); folder != nullptr) {
        EXPECT_TRUE(grab.save(QDir(QString::fromLocal8Bit(folder)).filePath(name + ".png")));
    }
}

}  // namespace tf::test
