// Helpers for the Dolphin plugin tests: a private session bus, child processes started and
// ended by pid, and a window that looks like Dolphin's to the plugin.
#pragma once

#include <sys/types.h>

#include <QList>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/spawn.h"

class QAction;
class QMenu;
class KUrlNavigator;

namespace tf::test {

using namespace std::chrono_literals;

// Exit status of a child, or -1 when it has not ended within `timeout`.
int waitForExit(pid_t pid, std::chrono::milliseconds timeout);
// SIGTERM, then SIGKILL if it lingers; always reaps.
void endProcess(pid_t pid);

// Polls `condition`, running the Qt event loop in between, until it holds or time runs out.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5s);

// A dbus-daemon of our own; DBUS_SESSION_BUS_ADDRESS points at it while it lives.
class PrivateBus {
  public:
    explicit PrivateBus(const std::filesystem::path& folder);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    bool running() const { return pid_ > 0; }

  private:
    pid_t pid_ = -1;
};

bool menuServiceOnBus();

// A main window with a location bar showing `folder`, and the context menu Dolphin would hand
// the plugin as its parent widget.
class ViewWindow {
  public:
    explicit ViewWindow(const QUrl& folder);
    ~ViewWindow();
    // A second, inactive view beside the first, as in a split window.
    KUrlNavigator* addInactiveView(const QUrl& folder);
    QWidget* contextMenu() const;
    KUrlNavigator* navigator() const { return navigator_; }

  private:
    QWidget window_;
    KUrlNavigator* navigator_;
    QMenu* contextMenu_;
};

// "Open | --- | New File > [txt, Deep] | Trackfolio": titles, separators and submenus.
QString outline(const QList<QAction*>& actions);
// The action titled `title` at `path` (submenu titles, then the entry), or null.
QAction* findAction(const QList<QAction*>& actions, const QStringList& path);

QUrl urlOf(const std::filesystem::path& path);

}  // namespace tf::test
