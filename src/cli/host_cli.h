// The settings application's command line: first-run set-up and direct access to the shared
// settings. Bad input gives one line on err and exit status 2; nothing is changed then.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tf {

int runHostCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tf
