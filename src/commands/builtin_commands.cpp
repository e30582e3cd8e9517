#include "commands/builtin_commands.h"

namespace tf {

void registerBuiltinCommands(CommandTable& table) {
    registerScriptCommands(table);
    registerNewFileCommands(table);
    registerOpenCommands(table);
    registerHideLockCommands(table);
    registerFileInfoCommands(table);
    registerRelocateCommands(table);
    registerColourCommands(table);
    registerZipCommands(table);
    registerConvertCommands(table);
    registerImageCommands(table);
}

}  // namespace tf
