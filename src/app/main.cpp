#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "cli/host_cli.h"
#include "model/product.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    tf::setRunningDeliverable(tf::Deliverable::Host);
    return tf::runHostCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                              std::cerr);
}
