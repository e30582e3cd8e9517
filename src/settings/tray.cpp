#include "settings/tray.h"

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

#include "model/settings_store.h"
#include "platform/qt/qt_edge.h"
#include "util/resources.h"
#include "util/strings.h"

namespace tf {
namespace {

constexpr std::string_view kShowTrayKey = "pref check5";
constexpr std::string_view kConfigChange = "config change noti";

QIcon menuIcon() {
    const QString icon = qt::text(imageResourceIcon("trackfolio"));
    if (icon.startsWith(QLatin1Char('/'))) {
        return QIcon(icon);
    }
    return QIcon::fromTheme(icon, QIcon::fromTheme(QStringLiteral("folder")));
}

}  // namespace

Tray::Tray(SettingsStore& settings, std::function<bool()> trayAvailable, QObject* parent)
    : QObject(parent), settings_(settings), trayAvailable_(std::move(trayAvailable)) {
    if (!trayAvailable_) {
        trayAvailable_ = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    }
    addNotification(kConfigChange);
}

Tray::~Tray() {
    removeAllNotification();
}

void Tray::handleSignal(const Notification& notification) {
    if (notification.name == kConfigChange) {
        createStatusBar();
    }
}

void Tray::createStatusBar() {
    // A new icon replaces the old one; the old one goes first so two never show at once.
    icon_.reset();
    menu_.reset();
    if (settings_.readBool(kShowTrayKey)) {
        menu_ = std::make_unique<QMenu>();
        menu_->addAction(qt::text(localized("Preferences")), this, &Tray::openWindowRequested);
        menu_->addSeparator();
        menu_->addAction(qt::text(localized("Exit")), this, &Tray::exitRequested);
        icon_ = std::make_unique<QSystemTrayIcon>(menuIcon(), this);
        icon_->setToolTip(qt::windowTitle());
        icon_->setContextMenu(menu_.get());
        connect(icon_.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger) {
                        Q_EMIT openWindowRequested();
                    }
                });
        icon_->show();
    }
    QApplication::setQuitOnLastWindowClosed(!keepsRunningWithoutWindow());
}

bool Tray::missingHost() const {
    return settings_.readBool(kShowTrayKey) && !trayAvailable_();
}

bool Tray::keepsRunningWithoutWindow() const {
    return icon_ != nullptr && trayAvailable_();
}

}  // namespace tf
