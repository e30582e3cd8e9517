// The tray icon (status item): present exactly while "pref check5" is on, with a menu that
// shows the settings window or ends the application. It also decides whether closing the
// window ends the application. It follows "config change noti" by itself.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

#include "runtime/notifications.h"

class QMenu;
class QSystemTrayIcon;

namespace tf {

class SettingsStore;

class Tray : public QObject, public SignalObserver {
    Q_OBJECT

  public:
    // `trayAvailable` says whether a tray host exists (the real one by default).
    explicit Tray(SettingsStore& settings, std::function<bool()> trayAvailable = {},
                  QObject* parent = nullptr);
    ~Tray() override;

    // A switched, imported or restored configuration may turn the icon on or off.
    void handleSignal(const Notification& notification) override;

    // Creates, replaces or removes the icon from the current setting; also sets whether the
    // application ends with its last window.
    void createStatusBar();

    // The icon while the setting is on, else null.
    QSystemTrayIcon* icon() const { return icon_.get(); }
    // True when something on the desktop can show the icon.
    bool hostAvailable() const { return trayAvailable_(); }
    // True when the setting is on but nothing can show the icon.
    bool missingHost() const;
    // Closing the window keeps the application running only while the icon is shown.
    bool keepsRunningWithoutWindow() const;

  Q_SIGNALS:
    void openWindowRequested();
    void exitRequested();

  private:
    SettingsStore& settings_;
    std::function<bool()> trayAvailable_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace tf
