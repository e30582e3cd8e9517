// What a file manager waits for: one GetMenu round trip to `trackfolio-sync serve` over a
// private session bus (default catalogue, one selected file), next to the engine alone
// building the same menu and its JSON in process. Prints median and p99 of 1,000 calls each.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QUrl>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "cli/headless_session.h"
#include "engine/menu_tree.h"
#include "model/default_data.h"
#include "model/json_value.h"
#include "model/menu_manager.h"
#include "model/url_cache.h"
#include "private_bus.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kCalls = 1000;
constexpr int kWarmUp = 50;

struct Figures {
    double median = 0;
    double p99 = 0;
};

Figures measure(const std::function<bool()>& once) {
    for (int i = 0; i < kWarmUp; ++i) {
        once();
    }
    std::vector<double> micros;
    micros.reserve(kCalls);
    for (int i = 0; i < kCalls; ++i) {
        const auto start = Clock::now();
        if (!once()) {
            std::fprintf(stderr, "call %d failed\n", i);
            return {};
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    return {micros[micros.size() / 2], micros[micros.size() * 99 / 100]};
}

void setEnvironment(const fs::path& root) {
    ::setenv("HOME", root.c_str(), 1);
    ::setenv("TRACKFOLIO_HOME", root.c_str(), 1);
    for (const char* name : {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
        const fs::path folder = root / "xdg" / name;
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::owner_all);
        ::setenv(name, folder.c_str(), 1);
    }
    ::setenv("TRACKFOLIO_HEADLESS", "1", 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("GIO_USE_VOLUME_MONITOR", "unix", 1);
    ::setenv("GIO_USE_VFS", "local", 1);
    ::unsetenv("TRACKFOLIO_ANSWERS");
    ::unsetenv("TRACKFOLIO_TRANSCRIPT");
}

int run(const fs::path& root) {
    setEnvironment(root);
    tf::setRunningDeliverable(tf::Deliverable::Extension);
    tf::RCMenuManager::sharedInstance().reloadFromEnvironment();
    tf::RCURLCache::sharedInstance().reload();
    if (!tf::RCDefaultData::setup().ok) {
        std::fprintf(stderr, "no default catalogue\n");
        return 1;
    }
    const fs::path folder = root / "files";
    fs::create_directories(folder);
    const fs::path file = folder / "photo.jpg";
    std::ofstream(file) << "x";

    tf::Transcript transcript;
    tf::HeadlessSession session(tf::AnswerScript(), transcript, false);
    const Figures engine = measure([&] {
        tf::FinderSync& sync = session.sync();
        sync.setSelectedItemURLs({file.string()});
        sync.setTargetURL(folder.string());
        const std::string json = tf::menuJsonText(sync.menuForMenuKind(tf::MenuKind::Items));
        return json.size() > 2;
    });

    const fs::path busFolder = root / "bus";
    fs::create_directories(busFolder);
    tf::test::PrivateBus bus;
    std::string error;
    if (!bus.start(busFolder, {}, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    tf::test::ChildProcess service;
    if (!service.start({TRACKFOLIO_SYNC_BINARY, "serve"}, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const QString name = QStringLiteral("org.trackfolio.Trackfolio.extension");
    QDBusConnection connection = QDBusConnection::connectToBus(
        QString::fromStdString(bus.address()), QStringLiteral("bench"));
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!connection.interface()->isServiceRegistered(name).value()) {
        if (Clock::now() > deadline || !service.running()) {
            std::fprintf(stderr, "the service did not start\n");
            return 1;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    QDBusMessage request = QDBusMessage::createMethodCall(
        name, QStringLiteral("/org/trackfolio/Trackfolio/extension"),
        QStringLiteral("org.trackfolio.Trackfolio.Extension"), QStringLiteral("GetMenu"));
    request.setArguments(
        {QVariant(0),
         QVariant(
             QStringList{QUrl::fromLocalFile(QString::fromStdString(file.string())).toString()}),
         QVariant(QUrl::fromLocalFile(QString::fromStdString(folder.string())).toString())});
    const Figures overBus = measure([&] {
        const QDBusMessage reply = connection.call(request, QDBus::Block, 2000);
        return reply.type() == QDBusMessage::ReplyMessage &&
               reply.arguments().value(0).toULongLong() != 0;
    });
    connection.call(QDBusMessage::createMethodCall(
        name, QStringLiteral("/org/trackfolio/Trackfolio/extension"),
        QStringLiteral("org.trackfolio.Trackfolio.Extension"), QStringLiteral("Quit")));
    service.waitExit(std::chrono::seconds(10));

    std::printf("GetMenu over the session bus: median %.1f us, p99 %.1f us (%d calls)\n",
                overBus.median, overBus.p99, kCalls);
    std::printf("engine only (menu + JSON):    median %.1f us, p99 %.1f us (%d calls)\n",
                engine.median, engine.p99, kCalls);
    return overBus.median > 0 && engine.median > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::string pattern = (fs::temp_directory_path() / "trackfolio-dbus-bench-XXXXXX").string();
    const char* made = ::mkdtemp(pattern.data());
    if (made == nullptr) {
        return 1;
    }
    const fs::path root = made;
    const int status = run(root);
    QDBusConnection::disconnectFromBus(QStringLiteral("bench"));
    std::error_code ec;
    fs::remove_all(root, ec);
    return status;
}
