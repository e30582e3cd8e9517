#include <QApplication>

#include <gtest/gtest.h>

// The tests talk to the bus through QtDBus, which needs an application object; the pop-up
// menu's tests need a widget one, drawn off screen.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
