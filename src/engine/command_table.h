// The table that maps each command (model/menu_keys.h) to its implementation. The key
// table says which command an entry stands for, dispatch with what arguments; this table
// says how it is carried out. A command without an implementation yet tells the user so.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "model/menu_item.h"
#include "model/menu_keys.h"

namespace tf {

class FinderSync;

// What dispatch hands a command.
struct CommandCall {
    CommandId id = CommandId::CreateFile;
    // The entry acted on: the top-level entry for plain commands; the chosen child for
    // submenu commands (its tag set to its 0-based position where the command needs it);
    // the chosen target for "Copy to" / "Move to".
    RCMenuItem item;
    // The top-level entry of a submenu command.
    std::optional<RCMenuItem> parent;
    // The chosen grandchild under a common path ("Show in Finder", a listed item, ...).
    std::optional<RCMenuItem> grandchild;
    // The folder or file a command is pointed at (common path, terminal folder).
    std::string path;
    // The terminal service of "Terminal To" and plain service entries.
    std::string serve;
    bool isCopy = false;
};

using CommandHandler = std::function<void(FinderSync& sync, const CommandCall& call)>;

class CommandTable {
  public:
    void set(CommandId id, CommandHandler handler);
    // The handler, or null when the command has none yet.
    const CommandHandler* find(CommandId id) const;

  private:
    std::array<CommandHandler, kCommandCount> handlers_;
};

}  // namespace tf
