#include "harness.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <KUrlNavigator>
#include <QAction>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QMenu>
#include <QVBoxLayout>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace tf::test {

int waitForExit(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(10ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return -1;
}

void endProcess(pid_t pid) {
    if (pid <= 0) {
        return;
    }
    ::kill(pid, SIGCONT);
    ::kill(pid, SIGTERM);
    if (waitForExit(pid, 5s) < 0) {
        ::kill(pid, SIGKILL);
        waitForExit(pid, 5s);
    }
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

PrivateBus::PrivateBus(const std::filesystem::path& folder) {
    const std::filesystem::path config = folder / "session.conf";
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                             "Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig><type>session</type><listen>unix:dir="
                          << folder.string()
                          << "</listen><policy context=\"default\"><allow send_destination=\"*\" "
                             "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                             "</policy></busconfig>\n";
    int fds[2];
    if (::pipe(fds) != 0) {
        return;
    }
    pid_ = spawnProgram(
        {"dbus-daemon", "--config-file=" + config.string(), "--nofork", "--print-address"}, fds[1]);
    ::close(fds[1]);
    std::string address;
    char c = 0;
    while (pid_ > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') {
        address += c;
    }
    ::close(fds[0]);
    if (address.empty()) {
        endProcess(pid_);
        pid_ = -1;
        return;
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
}

PrivateBus::~PrivateBus() {
    endProcess(pid_);
}

bool menuServiceOnBus() {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus != nullptr &&
           bus->isServiceRegistered(QStringLiteral("org.trackfolio.Trackfolio.extension"));
}

ViewWindow::ViewWindow(const QUrl& folder)
    : navigator_(new KUrlNavigator(&window_)), contextMenu_(new QMenu(&window_)) {
    window_.setLayout(new QVBoxLayout);
    window_.layout()->addWidget(navigator_);
    navigator_->setLocationUrl(folder);
    navigator_->setActive(true);
    window_.show();
}

ViewWindow::~ViewWindow() = default;

KUrlNavigator* ViewWindow::addInactiveView(const QUrl& folder) {
    auto* other = new KUrlNavigator(&window_);
    window_.layout()->addWidget(other);
    other->setLocationUrl(folder);
    other->setActive(false);
    other->show();
    return other;
}

QWidget* ViewWindow::contextMenu() const {
    return contextMenu_;
}

QString outline(const QList<QAction*>& actions) {
    QStringList parts;
    for (const QAction* action : actions) {
        if (action->isSeparator()) {
            parts.append(QStringLiteral("---"));
        } else if (action->menu() != nullptr) {
            parts.append(action->text() + QStringLiteral(" > [") +
                         outline(action->menu()->actions())
                             .replace(QStringLiteral(" | "), QStringLiteral(", ")) +
                         QLatin1Char(']'));
        } else {
            parts.append(action->text());
        }
    }
    return parts.join(QStringLiteral(" | "));
}

QAction* findAction(const QList<QAction*>& actions, const QStringList& path) {
    for (QAction* action : actions) {
        if (path.isEmpty() || action->text() != path.first()) {
            continue;
        }
        if (path.size() == 1) {
            return action;
        }
        return action->menu() == nullptr ? nullptr
                                         : findAction(action->menu()->actions(), path.mid(1));
    }
    return nullptr;
}

QUrl urlOf(const std::filesystem::path& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path.string()));
}

}  // namespace tf::test
