#include "extension/builtin_commands.h"

namespace tf {

void registerNewFileCommands(CommandTable&) {}

}  // namespace tf
