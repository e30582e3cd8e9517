#include "extension/builtin_commands.h"

namespace tf {

void registerHideLockCommands(CommandTable&) {}

}  // namespace tf
