#include "service/serve.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTimer>

#include <chrono>
#include <memory>
#include <ostream>

#include "model/menu_manager.h"
#include "service/menu_service.h"
#include "service/mounted_volumes.h"
#include "service/qt_main_queue.h"
#include "service/service_engine.h"
#include "service/settings_watcher.h"
#include "util/text.h"

namespace tf {

namespace {

constexpr int kFailure = 1;
constexpr int kBadInput = 2;
// Mounts may still be appearing when the session starts the service.
constexpr std::chrono::milliseconds kVolumeRecheck{1000};
// QtDBus tells nobody when the bus goes away; a service whose session ended must not linger.
constexpr std::chrono::milliseconds kBusCheck{2000};

int fail(std::ostream& err, int status, const std::string& message) {
    err << "trackfolio-sync: " << oneLine(message, 400) << "\n";
    return status;
}

// Restores the built-in main queue however serve ends.
class ForeQueueInstall {
  public:
    explicit ForeQueueInstall(MainQueue& queue) { setForeQueue(&queue); }
    ~ForeQueueInstall() { setForeQueue(nullptr); }
    ForeQueueInstall(const ForeQueueInstall&) = delete;
    ForeQueueInstall& operator=(const ForeQueueInstall&) = delete;
};

int serve(bool headless, std::ostream& err) {
    QtMainQueue queue(QCoreApplication::instance());
    ForeQueueInstall installed(queue);

    std::string error;
    std::unique_ptr<ServiceEngine> engine =
        headless ? makeHeadlessEngine(error) : makeWindowedEngine();
    if (!engine) {
        return fail(err, kFailure, error.empty() ? "no user interface to run with" : error);
    }
    FinderSync& sync = engine->sync();

    MenuService service(
        sync, [&] { return sync.isIdle() && queue.pendingCount() == 0; },
        [] { QCoreApplication::quit(); });
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return fail(err, kFailure, "no session bus: " + bus.lastError().message().toStdString());
    }
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), QString::fromLatin1(kInterfaceName),
                            &service,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals)) {
        return fail(err, kFailure, "could not publish the menu object on the session bus");
    }
    if (!bus.registerService(QString::fromLatin1(kServiceName))) {
        // One service per session: the running one answers.
        return 0;
    }

    sync.startService(localMountRoots());
    const auto rereadVolumes = [&sync] { sync.setupDirectoryURLs(localMountRoots()); };
    MountWatcher mounts(rereadVolumes);
    QTimer::singleShot(kVolumeRecheck, QCoreApplication::instance(), rereadVolumes);

    SettingsWatcher settings(RCMenuManager::sharedInstance().paths().sharedSettingsFile());
    QObject::connect(&settings, &SettingsWatcher::changed, &service, &MenuService::MenuChanged);

    QTimer busCheck;
    QObject::connect(&busCheck, &QTimer::timeout, [&bus] {
        if (!bus.isConnected()) {
            QCoreApplication::exit(0);
        }
    });
    busCheck.start(kBusCheck);

    const int status = QCoreApplication::exec();
    bus.unregisterService(QString::fromLatin1(kServiceName));
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    return status;
}

}  // namespace

int runServe(int argc, char** argv, const std::vector<std::string>& args, std::ostream& err) {
    if (args.size() > 1) {
        return fail(err, kBadInput, "serve takes no arguments");
    }
    const bool headless = serviceRunsHeadless();
    // Without windows a core application is enough, and it needs no display.
    std::unique_ptr<QCoreApplication> app;
    if (headless) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        app = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    QCoreApplication::setApplicationName(QStringLiteral("trackfolio-sync"));
    return serve(headless, err);
}

}  // namespace tf
