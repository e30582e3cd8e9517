// The built menu service on the tests' own session bus: the status probe starts it, and a
// restart replaces it with a fresh process.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/qt/windows_test_support.h"
#include "settings/extension_status.h"
#include "support/sandbox.h"

namespace tf {
namespace {

const QString kName = QStringLiteral("org.trackfolio.Trackfolio.extension");

// The process that owns the service's name now, or 0.
uint owner() {
    auto* bus = QDBusConnection::sessionBus().interface();
    if (!bus->isServiceRegistered(kName).value()) {
        return 0;
    }
    return bus->servicePid(kName).value();
}

class ExtensionOnTheBus : public test::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        // The service the bus starts works in this test's home, headless.
        using Environment = QMap<QString, QString>;
        qDBusRegisterMetaType<Environment>();
        Environment environment;
        for (const char* name : {"HOME", "TRACKFOLIO_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                 "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "TRACKFOLIO_DATA_DIR"}) {
            if (const char* value = std::getenv(name)) {
                environment.insert(QString::fromUtf8(name), QString::fromUtf8(value));
            }
        }
        environment.insert(QStringLiteral("TRACKFOLIO_HEADLESS"), QStringLiteral("1"));
        auto update = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("UpdateActivationEnvironment"));
        update << QVariant::fromValue(environment);
        ASSERT_EQ(QDBusConnection::sessionBus().call(update).type(), QDBusMessage::ReplyMessage);
    }

    void TearDown() override {
        SessionExtensionBus().quit();
        EXPECT_TRUE(test::waitFor([] { return owner() == 0; }, 10000));
        SandboxTest::TearDown();
    }
};

TEST_F(ExtensionOnTheBus, TheProbeStartsTheServiceAndARestartBringsUpAFreshOne) {
    ASSERT_EQ(owner(), 0u);
    ASSERT_TRUE(menuServiceAnswers());
    const uint first = owner();
    ASSERT_NE(first, 0u);

    SessionExtensionBus bus;
    restartExtension(bus);
    ASSERT_TRUE(test::waitFor([&] { return owner() != 0 && owner() != first; }, 10000))
        << "a fresh service owns the name after the restart";
    EXPECT_TRUE(menuServiceAnswers());
}

TEST_F(ExtensionOnTheBus, ARestartWithNoServiceRunningStillStartsOne) {
    ASSERT_EQ(owner(), 0u);
    SessionExtensionBus bus;
    restartExtension(bus);
    EXPECT_TRUE(test::waitFor([] { return owner() != 0; }, 10000));
}

}  // namespace
}  // namespace tf
