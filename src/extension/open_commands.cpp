#include "extension/open_commands.h"
#include "extension/builtin_commands.h"

namespace tf {

void registerOpenCommands(CommandTable&) {}

}  // namespace tf

namespace tf {

void openServe(FinderSync&, const std::string&, const std::string&) {}

}  // namespace tf
