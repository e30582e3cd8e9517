#include "service/windowed_alert.h"

#include "cli/command_cli.h"

#include <QApplication>

#include "platform/qt/qt_user_interface.h"

namespace tf {

void installWindowedAlert() {
    setWindowedAlert([](const AlertRequest& request) {
        // Created only when a window is shown, so alerts answered from a script stay fast.
        int argc = 1;
        char name[] = "trackfolio-sync";
        char* argv[] = {name, nullptr};
        QApplication app(argc, argv);
        QtUserInterface ui;
        return ui.runAlert(request);
    });
}

}  // namespace tf
