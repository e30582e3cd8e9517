// Every test runs offscreen, on a private session bus, with HOME, the XDG folders and
// TRACKFOLIO_HOME in a temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <cstdlib>

#include "harness.h"
#include "support/sandbox.h"

namespace {

void setEnv(const char* name, const std::filesystem::path& value) {
    std::filesystem::create_directories(value);
    ::setenv(name, value.c_str(), 1);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
    tf::test::TempDir root;
    setEnv("HOME", root.path() / "home");
    setEnv("XDG_RUNTIME_DIR", root.path() / "runtime");
    ::chmod((root.path() / "runtime").c_str(), 0700);
    setEnv("XDG_CONFIG_HOME", root.path() / "home/.config");
    setEnv("XDG_DATA_HOME", root.path() / "home/.local/share");
    setEnv("XDG_CACHE_HOME", root.path() / "home/.cache");
    setEnv("TRACKFOLIO_HOME", root.path() / "trackfolio");
    ::setenv("TRACKFOLIO_HEADLESS", "1", 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Lets KFileItemActions find the plugin in the build tree.
    ::setenv("QT_PLUGIN_PATH", TF_DOLPHIN_PLUGIN_ROOT, 1);

    tf::test::PrivateBus bus(root.path() / "runtime");
    if (!bus.running()) {
        std::fprintf(stderr, "cannot start a private dbus-daemon\n");
        return 1;
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
