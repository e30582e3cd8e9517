#include "service/windowed_alert.h"

#include "cli/command_cli.h"

#ifdef TRACKFOLIO_HAVE_WINDOWS
#include <QApplication>

#include "platform/qt/qt_user_interface.h"
#endif

namespace tf {

void installWindowedAlert() {
#ifdef TRACKFOLIO_HAVE_WINDOWS
    setWindowedAlert([](const AlertRequest& request) {
        // Created only when a window is shown, so alerts answered from a script stay fast.
        int argc = 1;
        char name[] = "trackfolio-sync";
        char* argv[] = {name, nullptr};
        QApplication app(argc, argv);
        QtUserInterface ui;
        return ui.runAlert(request);
    });
#endif
}

}  // namespace tf
