// The windows and the settings application need a QApplication for the whole run, created
// before any test, in a session whose HOME and XDG folders are temporary.
#include <QApplication>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "support/sandbox.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Without a display of their own the tests never reach the user's screen.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const tf::test::TempDir session;
    const std::string root = session.path().string();
    ::setenv("HOME", root.c_str(), 1);
    ::setenv("TRACKFOLIO_HOME", root.c_str(), 1);
    const std::string runtime = session.mkdir("runtime").string();
    ::chmod(runtime.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", session.mkdir("config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", session.mkdir("data").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", session.mkdir("cache").c_str(), 1);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
