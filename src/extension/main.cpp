#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "extension/sync_cli.h"
#include "model/product.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    tf::setRunningDeliverable(tf::Deliverable::Extension);
    return tf::runSyncCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                              std::cerr);
}
