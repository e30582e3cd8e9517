// The commands a menu entry can start, and the table that maps each to its implementation.
// Dispatch decides which command an entry stands for and with what arguments; the table
// says how it is carried out. A command without an implementation yet tells the user so.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "model/menu_item.h"

namespace tf {

class FinderSync;

enum class CommandId {
    CreateFile,
    OpenCommonPath,
    OpenWithApp,
    ExecuteScript,
    SetFolderIcon,
    Convert,
    FileInfo,
    MoveCopy,
    OpenServe,
    DeletePath,
    CopyPath,
    ShowSystemFiles,
    HideShowFiles,
    LockUnlock,
    CutPaste,
    EncryptedCompress,
    EmbedFolder,
    UnembedFolder,
    ColorPicker,
    ExecuteSelectedScripts,
    ExtractIcon,
    HandOff,
};
inline constexpr std::size_t kCommandCount = static_cast<std::size_t>(CommandId::HandOff) + 1;

std::string_view commandName(CommandId id);

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
