#include "extension/builtin_commands.h"

namespace tf {

void registerRelocateCommands(CommandTable&) {}

}  // namespace tf
