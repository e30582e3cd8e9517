#include <gtest/gtest.h>

#include <set>

#include "commands/builtin_commands.h"
#include "model/default_data.h"

namespace tf {
namespace {

// Every entry of the built-in main list names a row of the key table and runs a command that
// is registered, or one of those still to come, which tell the user they are not available.
TEST(BuiltinCommands, EveryDefaultMainEntryRunsARegisteredCommandOrOneStillToCome) {
    const std::set<CommandId> toCome = {};
    CommandTable table;
    registerBuiltinCommands(table);
    for (const Value& entry : RCDefaultData::defaultMainMenu()) {
        const std::string key = dictString(*entry.dict(), "key");
        const MenuKey id = menuKeyIn(KeyList::Main, key);
        ASSERT_NE(id, MenuKey::None) << key;
        const std::optional<CommandId> command = menuKeyRow(id).command;
        ASSERT_TRUE(command) << key;
        EXPECT_NE(table.find(*command) != nullptr, toCome.contains(*command))
            << key << " runs " << commandName(*command);
    }
}

}  // namespace
}  // namespace tf
