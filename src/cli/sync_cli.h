// The menu service's command line. Runs in-process on the engine, without a display.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace tf {

// A path as given on the command line: a file:// URI (as file managers hand them over) is
// decoded, a relative path made absolute against the working folder. Nothing, with the
// reason, for a URI or path that cannot name a local item.
std::optional<std::string> commandLinePath(const std::string& text, std::string& error);

int runSyncCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tf
