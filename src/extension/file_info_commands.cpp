#include "extension/builtin_commands.h"

namespace tf {

void registerFileInfoCommands(CommandTable&) {}

}  // namespace tf
