// trackfolio-sync-service: the Qt side of trackfolio-sync, which starts it for `serve`,
// `pasteboard` and, with a display, for `alert` and `popup`.
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "cli/command_cli.h"
#include "model/product.h"
#include "service/pasteboard_client.h"
#include "service/popup.h"
#include "service/serve.h"
#include "service/windowed_alert.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    tf::setRunningDeliverable(tf::Deliverable::Extension);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "serve") {
        return tf::runServe(argc, argv, args, std::cerr);
    }
    if (!args.empty() && args[0] == "pasteboard") {
        return tf::runPasteboardClient(argc, argv, args);
    }
    if (!args.empty() && args[0] == "popup") {
        return tf::runPopup(argc, argv, args, std::cerr);
    }
    if (!args.empty() && args[0] == "alert") {
        tf::installWindowedAlert();
        return tf::runAlertCommand(args, std::cout, std::cerr);
    }
    std::cerr << "usage: trackfolio-sync-service serve | pasteboard | popup | alert ... (see "
                 "trackfolio-sync --help)\n";
    return 2;
}
