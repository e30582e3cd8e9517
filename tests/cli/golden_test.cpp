// Golden files: the stored default catalogue and the default menus for a file and a folder
// background must not change by accident (the plugins and stored settings rely on both).
// After an intended change, regenerate with TRACKFOLIO_UPDATE_GOLDEN=1 and review the diff.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "cli/sync_cli.h"
#include "model/default_data.h"
#include "model/store_paths.h"
#include "support/sandbox.h"

namespace tf::test {
namespace {

const std::filesystem::path kGolden = std::filesystem::path(TRACKFOLIO_TEST_ASSETS) / "golden";

void expectGolden(const std::string& actual, const std::string& name) {
    const std::filesystem::path path = kGolden / name;
    if (std::getenv("TRACKFOLIO_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(path, std::ios::binary) << actual;
        return;
    }
    EXPECT_EQ(actual, readFile(path)) << "differs from " << path;
}

class Golden : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        // Which applications count as installed must not depend on this machine: here one
        // of the default "Open With" list is, so the menus show it and leave the rest out.
        ::setenv("XDG_DATA_DIRS", files().mkdir("system-data").c_str(), 1);
        ::setenv("XDG_DATA_HOME", files().mkdir("user-data").c_str(), 1);
        files().write("system-data/applications/code.desktop",
                      "[Desktop Entry]\nType=Application\nName=Visual Studio Code\n"
                      "Exec=code %F\n");
        ASSERT_TRUE(RCDefaultData::setup().ok);
    }
    void TearDown() override {
        ::unsetenv("XDG_DATA_DIRS");
        ::unsetenv("XDG_DATA_HOME");
        SandboxTest::TearDown();
    }
};

TEST_F(Golden, DefaultCatalogueAndMenus) {
    expectGolden(readFile(StorePaths::fromEnvironment().sharedSettingsFile()),
                 "settings-default.plist");

    const std::filesystem::path file = files().write("Report.txt", "hi\n");
    CliResult r = runCli(&runSyncCommand, {"menu", "--json", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    expectGolden(r.out, "menu-default-file.json");

    r = runCli(&runSyncCommand, {"menu", "--json", "--target", files().path().string()});
    ASSERT_EQ(r.status, 0) << r.err;
    expectGolden(r.out, "menu-default-background.json");
}

}  // namespace
}  // namespace tf::test
