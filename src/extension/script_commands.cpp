#include "extension/builtin_commands.h"

namespace tf {

void registerScriptCommands(CommandTable&) {}

}  // namespace tf
