#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "model/menu_manager.h"
#include "platform/qt/windows_test_support.h"
#include "settings/single_instance.h"
#include "support/sandbox.h"

namespace tf {
namespace {

using Role = SingleInstance::Role;

class SingleInstanceTest : public test::SandboxTest {};

// The later start runs on a thread of its own while this one's event loop serves it, as two
// programs would.
Role startElsewhere(const QStringList& arguments) {
    std::atomic<int> role{-1};
    std::thread later([&] {
        SingleInstance second;
        role = static_cast<int>(second.start(arguments));
    });
    test::waitFor([&] { return role.load() >= 0; }, 10000);
    later.join();
    return static_cast<Role>(role.load());
}

TEST_F(SingleInstanceTest, ALaterStartHandsItsArgumentsToTheRunningOne) {
    SingleInstance first;
    QSignalSpy activated(&first, &SingleInstance::activated);
    ASSERT_EQ(first.start({}), Role::Primary);

    const QStringList handed{QStringLiteral("/tmp/a b.png"), QStringLiteral("/tmp/c\nd")};
    EXPECT_EQ(startElsewhere(handed), Role::Forwarded);
    ASSERT_TRUE(test::waitFor([&] { return activated.count() == 1; }));
    EXPECT_EQ(activated.at(0).at(0).toStringList(), handed);

    EXPECT_EQ(startElsewhere({}), Role::Forwarded) << "a bare start only raises the window";
    ASSERT_TRUE(test::waitFor([&] { return activated.count() == 2; }));
    EXPECT_TRUE(activated.at(1).at(0).toStringList().isEmpty());
}

TEST_F(SingleInstanceTest, ASocketLeftByAnEndedProgramIsTakenOver) {
    {
        QFile left(SingleInstance::serverName());
        ASSERT_TRUE(left.open(QIODevice::WriteOnly));
    }
    SingleInstance first;
    EXPECT_EQ(first.start({}), Role::Primary);
}

TEST_F(SingleInstanceTest, AnotherStoreGetsAnInstanceOfItsOwn) {
    SingleInstance first;
    ASSERT_EQ(first.start({}), Role::Primary);
    const QString firstName = SingleInstance::serverName();
    const std::string otherHome = files().mkdir("other home").string();
    ::setenv("TRACKFOLIO_HOME", otherHome.c_str(), 1);
    RCMenuManager::sharedInstance().reloadFromEnvironment();
    EXPECT_NE(SingleInstance::serverName(), firstName);
    SingleInstance second;
    EXPECT_EQ(second.start({}), Role::Primary);
}

}  // namespace
}  // namespace tf
