#include "service_fixture.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QUrl>

#include <cstdlib>
#include <fstream>

#include "model/default_data.h"
#include "model/menu_manager.h"

namespace tf::test {

namespace {

const QString kService = QStringLiteral("org.trackfolio.Trackfolio.extension");
const QString kPath = QStringLiteral("/org/trackfolio/Trackfolio/extension");
const QString kInterface = QStringLiteral("org.trackfolio.Trackfolio.Extension");

}  // namespace

void ServiceTest::SetUp() {
    SandboxTest::SetUp();
    for (const char* name : {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
        const std::filesystem::path folder = home() / "xdg" / name;
        std::filesystem::create_directories(folder);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        ::setenv(name, folder.c_str(), 1);
    }
    ::setenv("TRACKFOLIO_HEADLESS", "1", 1);
    ::setenv("TRACKFOLIO_TRANSCRIPT", transcriptFile().c_str(), 1);
    ::unsetenv("TRACKFOLIO_ANSWERS");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Keeps GIO from looking for desktop volume monitors on the private bus.
    ::setenv("GIO_USE_VOLUME_MONITOR", "unix", 1);
    ::setenv("GIO_USE_VFS", "local", 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    RCMenuManager::sharedInstance().reloadFromEnvironment();
    ASSERT_TRUE(RCDefaultData::setup().ok);
    // The review prompt would otherwise come with the third command.
    ASSERT_TRUE(
        RCMenuManager::sharedInstance().sharedDefaults().set("is reviewed", Value(true)).ok);

    const std::filesystem::path busFolder = home() / "bus";
    std::filesystem::create_directories(busFolder);
    std::string error;
    ASSERT_TRUE(privateBus_.start(busFolder, TRACKFOLIO_DBUS_SERVICE_DIR, error)) << error;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", privateBus_.address().c_str(), 1);
    static int connections = 0;
    connectionName_ = QStringLiteral("service-test-%1").arg(++connections);
    connection_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
        QString::fromStdString(privateBus_.address()), connectionName_));
    ASSERT_TRUE(connection_->isConnected()) << connection_->lastError().message().toStdString();
}

void ServiceTest::TearDown() {
    // Also ends a service the bus started on demand, which is not our child.
    if (connection_ && connection_->isConnected() && serviceOwnsName()) {
        quitService();
    }
    service_.stop();
    connection_.reset();
    QDBusConnection::disconnectFromBus(connectionName_);
    SandboxTest::TearDown();
}

void ServiceTest::startService() {
    std::string error;
    ASSERT_TRUE(service_.start({TRACKFOLIO_SYNC_BINARY, "serve"}, error)) << error;
    ASSERT_TRUE(waitFor([this] { return serviceOwnsName() || !service_.running(); }));
    ASSERT_TRUE(service_.running()) << "the service ended at once";
}

void ServiceTest::quitService() {
    call(QStringLiteral("Quit"));
    waitFor([this] { return !serviceOwnsName(); });
    if (service_.running()) {
        service_.waitExit(std::chrono::seconds(10));
    }
}

bool ServiceTest::serviceOwnsName() {
    const QDBusReply<bool> owned = connection_->interface()->isServiceRegistered(kService);
    return owned.isValid() && owned.value();
}

bool ServiceTest::waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QDBusMessage ServiceTest::call(const QString& method, const QList<QVariant>& args,
                               std::chrono::milliseconds timeout) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setArguments(args);
    return connection_->call(message, QDBus::Block, static_cast<int>(timeout.count()));
}

MenuReply ServiceTest::getMenu(int kind, const QStringList& selection, const QString& target,
                               std::chrono::milliseconds timeout) {
    const QDBusMessage reply =
        call(QStringLiteral("GetMenu"), {QVariant(kind), QVariant(selection), QVariant(target)},
             timeout);
    MenuReply result;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        result.error = reply.errorName();
        return result;
    }
    const QList<QVariant> values = reply.arguments();
    if (values.size() != 2 || values[0].metaType().id() != QMetaType::ULongLong ||
        values[1].metaType().id() != QMetaType::QString) {
        result.error = QStringLiteral("unexpected reply signature ") + reply.signature();
        return result;
    }
    result.ok = true;
    result.menuId = values[0].toULongLong();
    result.json = values[1].toString().toStdString();
    result.menu = nlohmann::json::parse(result.json, nullptr, false);
    return result;
}

bool ServiceTest::activate(std::uint64_t menuId, std::int64_t tag) {
    const QDBusMessage reply =
        call(QStringLiteral("Activate"), {QVariant::fromValue(static_cast<qulonglong>(menuId)),
                                          QVariant::fromValue(static_cast<qlonglong>(tag))});
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.signature(), QStringLiteral("b"));
    return reply.arguments().value(0).toBool();
}

std::vector<nlohmann::json> ServiceTest::transcriptOf(const std::string& type) const {
    std::vector<nlohmann::json> found;
    std::ifstream in(transcriptFile());
    std::string line;
    while (std::getline(in, line)) {
        const nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
        if (entry.is_object() && entry.value("type", "") == type) {
            found.push_back(entry);
        }
    }
    return found;
}

QString ServiceTest::uri(const std::filesystem::path& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path.string())).toString(QUrl::FullyEncoded);
}

std::int64_t childTag(const nlohmann::json& menu, const std::string& parentKey,
                      const std::string& childKey) {
    for (const nlohmann::json& entry : menu) {
        if (entry.value("key", "") != parentKey || !entry.contains("children")) {
            continue;
        }
        for (const nlohmann::json& child : entry["children"]) {
            if (child.value("key", "") == childKey) {
                return child.value("tag", std::int64_t{0});
            }
        }
    }
    return 0;
}

}  // namespace tf::test
