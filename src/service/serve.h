// `trackfolio-sync serve`: the menu service on the session bus.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tf {

// Runs until Quit; 0 at once when another service already owns the bus name.
int runServe(int argc, char** argv, const std::vector<std::string>& args, std::ostream& err);

}  // namespace tf
