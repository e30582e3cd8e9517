// The preferences page's boxes and name, and the tray they switch.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

#include "model/menu_manager.h"
#include "model/settings_store.h"
#include "platform/qt/windows_test_support.h"
#include "runtime/notifications.h"
#include "settings/extension_status.h"
#include "settings/preferences_page.h"
#include "settings/status_dialog.h"
#include "settings/tray.h"
#include "support/sandbox.h"
#include "util/strings.h"

namespace tf {
namespace {

class PreferencesPageTest : public test::SandboxTest {
  protected:
    // The store exists only once the sandbox is set up.
    void SetUp() override {
        SandboxTest::SetUp();
        trayObject = std::make_unique<Tray>(shared(), [this] { return hostAvailable; });
    }
    void TearDown() override {
        trayObject.reset();
        SandboxTest::TearDown();
    }

    SettingsStore& shared() { return RCMenuManager::sharedInstance().sharedDefaults(); }

    std::unique_ptr<PreferencesPage> makePage() {
        PreferencesPage::Actions actions;
        actions.restartExtension = [this] { ++restarts; };
        actions.editName = [this](QWidget*, const QString& current) {
            shownName = current;
            return typedName;
        };
        return std::make_unique<PreferencesPage>(shared(), *trayObject, actions);
    }

    int trayIcons() const {
        return static_cast<int>(trayObject->findChildren<QSystemTrayIcon*>().size());
    }

    bool hostAvailable = true;
    std::unique_ptr<Tray> trayObject;
    Tray& tray() { return *trayObject; }
    int restarts = 0;
    std::optional<QString> typedName;
    QString shownName;
};

TEST_F(PreferencesPageTest, EveryBoxWritesItsOwnKeyAndOnlyTheDisksBoxRestarts) {
    const auto page = makePage();
    for (const int tag : {1, 2, 3, 4, 5, 8}) {
        SCOPED_TRACE(tag);
        const std::string key = "pref check" + std::to_string(tag);
        QCheckBox* box = page->checkBox(tag);
        ASSERT_NE(box, nullptr);
        EXPECT_FALSE(box->isChecked());
        box->click();
        EXPECT_TRUE(shared().readBool(key));
        EXPECT_EQ(shared().value(key).type(), Value::Type::Bool);
        box->click();
        EXPECT_FALSE(shared().readBool(key));
        EXPECT_TRUE(shared().contains(key)) << "off is stored as false";
    }
    EXPECT_EQ(restarts, 2) << "two clicks on the external disks box, none elsewhere";
    EXPECT_EQ(page->checkBox(6), nullptr) << "the general page's numbers are not here";
}

TEST_F(PreferencesPageTest, TheBoxesFollowTheSettingsAfterAConfigurationChange) {
    const auto page = makePage();
    shared().set("pref check4", Value(true));
    shared().set("pref check8", Value(true));
    EXPECT_FALSE(page->checkBox(4)->isChecked());
    postNotification("config change noti");
    EXPECT_TRUE(page->checkBox(4)->isChecked());
    EXPECT_TRUE(page->checkBox(8)->isChecked());
    EXPECT_FALSE(page->checkBox(1)->isChecked());
}

TEST_F(PreferencesPageTest, TheFoldNameIsRenamedAndAnEmptyNameBecomesTheDisplayName) {
    const auto page = makePage();
    QPushButton* button = page->foldNameButton();
    EXPECT_EQ(button->text().toStdString(), displayName());

    typedName = QStringLiteral("My Tools");
    button->click();
    EXPECT_EQ(shownName.toStdString(), displayName()) << "the dialog starts from the shown name";
    EXPECT_EQ(shared().readString("fold menu name"), "My Tools");
    EXPECT_EQ(button->text(), QStringLiteral("My Tools"));

    typedName.reset();
    button->click();
    EXPECT_EQ(shared().readString("fold menu name"), "My Tools") << "cancel changes nothing";

    typedName = QStringLiteral("   ");
    button->click();
    EXPECT_EQ(shared().readString("fold menu name"), displayName());
    EXPECT_EQ(button->text().toStdString(), displayName());
}

TEST_F(PreferencesPageTest, TogglingTheTrayTwiceLeavesOneIconAndDecidesQuitOnClose) {
    const auto page = makePage();
    EXPECT_EQ(trayIcons(), 0);
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());

    page->checkBox(5)->click();
    EXPECT_EQ(trayIcons(), 1);
    EXPECT_TRUE(tray().keepsRunningWithoutWindow());
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
    const auto actions = tray().icon()->contextMenu()->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text().toStdString(), localized("Preferences"));
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2]->text().toStdString(), localized("Exit"));

    // Re-created on every configuration change: still one.
    tray().createStatusBar();
    tray().createStatusBar();
    EXPECT_EQ(trayIcons(), 1);

    page->checkBox(5)->click();
    EXPECT_EQ(trayIcons(), 0) << "switching off removes the icon at once";
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
    page->checkBox(5)->click();
    page->checkBox(5)->click();
    page->checkBox(5)->click();
    EXPECT_EQ(trayIcons(), 1);
}

TEST_F(PreferencesPageTest, WithoutATrayHostClosingTheWindowStillQuitsAndThePageSaysWhy) {
    hostAvailable = false;
    const auto page = makePage();
    page->show();
    EXPECT_TRUE(page->trayMissingLabel()->isVisible());
    page->checkBox(5)->click();
    EXPECT_TRUE(tray().missingHost());
    EXPECT_FALSE(tray().keepsRunningWithoutWindow());
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());

    hostAvailable = true;
    page->checkBox(5)->click();
    page->checkBox(5)->click();
    EXPECT_FALSE(page->trayMissingLabel()->isVisible());
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
}

TEST_F(PreferencesPageTest, AConfigurationChangeTurnsTheTrayOnOrOff) {
    shared().set("pref check5", Value(true));
    postNotification("config change noti");
    EXPECT_EQ(trayIcons(), 1);
    postNotification("config change noti");
    EXPECT_EQ(trayIcons(), 1);
    shared().set("pref check5", Value(false));
    postNotification("config change noti");
    EXPECT_EQ(trayIcons(), 0);
}

TEST_F(PreferencesPageTest, TheTrayMenuOpensTheWindowOrExits) {
    shared().set("pref check5", Value(true));
    tray().createStatusBar();
    int opened = 0;
    int exited = 0;
    QObject::connect(&tray(), &Tray::openWindowRequested, [&] { ++opened; });
    QObject::connect(&tray(), &Tray::exitRequested, [&] { ++exited; });
    const auto actions = tray().icon()->contextMenu()->actions();
    actions[0]->trigger();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(exited, 0);
    actions[2]->trigger();
    EXPECT_EQ(exited, 1);
}

class NoControl : public FileManagerControl {
  public:
    void restart(const FileManagerInfo&) override {}
};

TEST_F(PreferencesPageTest, PageAndStatusDialogRenderAtAPlausibleSize) {
    const auto page = makePage();
    page->resize(640, 480);
    page->show();
    test::checkScreenshot(page.get(), "preferences-page");

    StatusEnvironment env;
    env.programFolders = {files().mkdir("bin")};
    for (const auto& info : supportedFileManagers()) {
        files().write(std::filesystem::path("bin") / info.program, "#!/bin/sh\n");
        env.pluginFolders[info.id] = {files().mkdir(std::filesystem::path("p") / info.program)};
    }
    files().write(std::filesystem::path("p/nautilus/libtrackfolio-nautilus.so"), "ELF");
    files().write(std::filesystem::path("p/dolphin/trackfolio_dolphin.so"), "ELF");
    env.configHome = files().mkdir("config");
    files().write("config/kservicemenurc", "[Show]\ntrackfolio_dolphin=false\n");
    env.dataHome = files().mkdir("data");
    env.serviceAnswers = [] { return false; };
    const ExtensionStatus status(env);
    NoControl control;
    StatusDialog dialog(status, control, "/usr/bin/trackfolio-sync");
    dialog.show();
    test::checkScreenshot(&dialog, "extension-status");
}

}  // namespace
}  // namespace tf
