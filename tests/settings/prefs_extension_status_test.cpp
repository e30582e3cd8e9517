// The menu status per file manager, on fake program and plugin folders.
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include "platform/qt/windows_test_support.h"
#include "settings/extension_status.h"
#include "support/sandbox.h"

namespace tf {
namespace {

namespace fs = std::filesystem;
using test::readFile;

class ExtensionStatusTest : public test::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        env.programFolders = {files().mkdir("bin")};
        for (const auto& info : supportedFileManagers()) {
            env.pluginFolders[info.id] = {files().mkdir(fs::path("plugins") / info.program)};
        }
        env.configHome = files().mkdir("config");
        env.dataHome = files().mkdir("data");
        env.dataDirs = {files().mkdir("system-data")};
        env.serviceAnswers = [this] {
            ++probes;
            return answers;
        };
    }

    void install(const FileManagerInfo& info, bool withPlugin) {
        files().write(fs::path("bin") / info.program, "#!/bin/sh\n");
        if (withPlugin) {
            files().write(fs::path("plugins") / info.program / info.pluginFile, "ELF");
        }
    }

    StatusEnvironment env;
    bool answers = true;
    int probes = 0;
};

TEST_F(ExtensionStatusTest, EachFileManagerShowsTheMenuOnlyWithPluginAndService) {
    for (const auto& info : supportedFileManagers()) {
        SCOPED_TRACE(std::string(info.name));
        fs::remove_all(files().path() / "bin");
        files().mkdir("bin");
        if (!info.pluginShipped) {
            install(info, true);
            EXPECT_TRUE(ExtensionStatus(env).check().empty()) << "no plugin of ours yet";
            continue;
        }
        const fs::path plugin = files().path() / "plugins" / info.program / info.pluginFile;
        fs::remove(plugin);
        ExtensionStatus status(env);
        EXPECT_TRUE(status.check().empty()) << "a file manager that is not installed is no row";

        install(info, false);
        auto rows = status.check();
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].info->id, info.id);
        EXPECT_TRUE(rows[0].installed);
        EXPECT_FALSE(rows[0].pluginInstalled);
        EXPECT_FALSE(status.anyFileManagerHasMenu());

        install(info, true);
        rows = status.check();
        EXPECT_TRUE(rows[0].pluginInstalled);
        EXPECT_EQ(rows[0].pluginPath, plugin);
        EXPECT_TRUE(rows[0].hasMenu());
        EXPECT_TRUE(status.anyFileManagerHasMenu());

        answers = false;
        EXPECT_FALSE(status.anyFileManagerHasMenu());
        answers = true;
    }
}

TEST_F(ExtensionStatusTest, TheBusIsAskedOnceForAllFileManagers) {
    for (const auto& info : supportedFileManagers()) {
        install(info, true);
    }
    const auto rows = ExtensionStatus(env).check();
    EXPECT_EQ(rows.size(), 3u);
    EXPECT_EQ(probes, 1);
    // Nothing installed: nothing to ask the bus about.
    fs::remove_all(files().path() / "bin");
    probes = 0;
    EXPECT_FALSE(ExtensionStatus(env).anyFileManagerHasMenu());
    EXPECT_EQ(probes, 0);
}

TEST_F(ExtensionStatusTest, DolphinsOwnSwitchTurnsTheMenuOffAndBackOn) {
    const auto& dolphin = fileManagerInfo(FileManager::Dolphin);
    install(dolphin, true);
    const ExtensionStatus status(env);
    const fs::path rc = env.configHome / "kservicemenurc";
    const std::string before =
        "[General]\nfoo=1\n\n[Show]\nopenInTerminal=false\n trackfolio_dolphin = False \n"
        "zip=true\n\n[Other]\ntrackfolio_dolphin=false\n";
    files().write(rc, before);
    EXPECT_FALSE(status.check()[0].enabled);
    EXPECT_FALSE(status.anyFileManagerHasMenu());

    ASSERT_TRUE(status.enableDolphinPlugin(nullptr));
    EXPECT_TRUE(status.check()[0].enabled);
    EXPECT_EQ(readFile(rc),
              "[General]\nfoo=1\n\n[Show]\nopenInTerminal=false\ntrackfolio_dolphin=true\n"
              "zip=true\n\n[Other]\ntrackfolio_dolphin=false\n");

    // Only a key in [Show] counts; a file without the group gets one.
    files().write(rc, "[Other]\ntrackfolio_dolphin=false\n");
    EXPECT_TRUE(status.check()[0].enabled);
    fs::remove(rc);
    ASSERT_TRUE(status.enableDolphinPlugin(nullptr));
    EXPECT_EQ(readFile(rc), "[Show]\ntrackfolio_dolphin=true\n");
}

TEST_F(ExtensionStatusTest, ADolphinPluginOutsideItsFoldersIsAddedToTheUserPluginPath) {
    const auto& dolphin = fileManagerInfo(FileManager::Dolphin);
    install(dolphin, false);
    const fs::path shipped = files().mkdir("prefix/qt5/plugins");
    files().write("prefix/qt5/plugins/kf5/kfileitemaction/trackfolio_dolphin.so", "ELF");
    env.shippedDolphinRoots = {files().path() / "elsewhere", shipped};
    const ExtensionStatus status(env);
    auto rows = status.check();
    EXPECT_FALSE(rows[0].pluginInstalled);
    EXPECT_EQ(rows[0].shippedRoot, shipped);

    ASSERT_TRUE(status.installDolphinPluginPath(shipped, nullptr));
    ASSERT_TRUE(status.installDolphinPluginPath(shipped, nullptr)) << "twice is harmless";
    const fs::path other = files().mkdir("other root");
    ASSERT_TRUE(status.installDolphinPluginPath(other, nullptr));
    EXPECT_EQ(readFile(env.configHome / "environment.d/60-trackfolio.conf"),
              "# Where Dolphin finds the Trackfolio plugin.\nQT_PLUGIN_PATH=" + shipped.string() +
                  ":" + other.string() + "${QT_PLUGIN_PATH:+:$QT_PLUGIN_PATH}\n");
    rows = status.check();
    EXPECT_TRUE(rows[0].pluginInstalled);
    EXPECT_TRUE(rows[0].hasMenu());

    // A root that would break the list is refused.
    std::string error;
    EXPECT_FALSE(status.installDolphinPluginPath(files().path() / "a:b", &error));
    EXPECT_FALSE(error.empty());
}

TEST_F(ExtensionStatusTest, TheActivationFileIsFoundInAnyDataFolderAndInstalledForTheUser) {
    const ExtensionStatus status(env);
    EXPECT_FALSE(status.activationFileInstalled());
    files().write("system-data/dbus-1/services/org.trackfolio.Trackfolio.extension.service",
                  "[D-BUS Service]\n");
    EXPECT_TRUE(status.activationFileInstalled());
    fs::remove_all(files().path() / "system-data/dbus-1");

    std::string error;
    EXPECT_FALSE(status.installActivationFile("/opt/my apps/trackfolio-sync", &error))
        << "the bus would split the program at the blank";
    EXPECT_FALSE(status.installActivationFile("trackfolio-sync", &error));
    EXPECT_FALSE(status.activationFileInstalled());

    ASSERT_TRUE(status.installActivationFile("/opt/tf/bin/trackfolio-sync", &error)) << error;
    EXPECT_TRUE(status.activationFileInstalled());
    EXPECT_EQ(
        readFile(env.dataHome / "dbus-1/services/org.trackfolio.Trackfolio.extension.service"),
        "[D-BUS Service]\nName=org.trackfolio.Trackfolio.extension\n"
        "Exec=/opt/tf/bin/trackfolio-sync serve\n");
}

class RecordingBus : public ExtensionBus {
  public:
    void quit() override { quitAt = clock.elapsed(); }
    void activate() override { activateAt = clock.elapsed(); }
    QElapsedTimer clock;
    qint64 quitAt = -1;
    qint64 activateAt = -1;
};

TEST(ExtensionRestart, QuitsAtOnceAndStartsAgainHalfASecondLater) {
    RecordingBus bus;
    bus.clock.start();
    restartExtension(bus);
    EXPECT_GE(bus.quitAt, 0);
    EXPECT_EQ(bus.activateAt, -1) << "the fresh service is asked for only after the delay";
    ASSERT_TRUE(test::waitFor([&] { return bus.activateAt >= 0; }, 5000));
    EXPECT_GE(bus.activateAt - bus.quitAt, 450);
}

}  // namespace
}  // namespace tf
