#include "engine/command_table.h"

namespace tf {

void CommandTable::set(CommandId id, CommandHandler handler) {
    handlers_[static_cast<std::size_t>(id)] = std::move(handler);
}

const CommandHandler* CommandTable::find(CommandId id) const {
    const CommandHandler& handler = handlers_[static_cast<std::size_t>(id)];
    return handler ? &handler : nullptr;
}

}  // namespace tf
