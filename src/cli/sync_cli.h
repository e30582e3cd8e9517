// The menu service's command line. Runs in-process on the engine, without a display.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tf {

int runSyncCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tf
