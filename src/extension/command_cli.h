// Command-line commands of trackfolio-sync that belong to a command family.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tf {

// `trackfolio-sync alert ...`: args[0] is "alert".
int runAlertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// `trackfolio-sync hash ...`: args[0] is "hash".
int runHashCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tf
