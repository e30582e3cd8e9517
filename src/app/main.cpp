#include <clocale>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/host_cli.h"
#include "model/product.h"
#if TRACKFOLIO_WINDOW
#include "app/settings_app.h"
#endif

namespace {

bool haveDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    tf::setRunningDeliverable(tf::Deliverable::Host);
    const std::vector<std::string> args(argv + 1, argv + argc);
#if TRACKFOLIO_WINDOW
    // Without a display the bare program keeps printing its usage, as the command line did.
    if (haveDisplay() && tf::isWindowLaunch(args)) {
        return tf::runSettingsApp(argc, argv, args);
    }
#else
    (void)haveDisplay;
#endif
    return tf::runHostCommand(args, std::cout, std::cerr);
}
