#include "engine/command_table.h"

namespace tf {

std::string_view commandName(CommandId id) {
    static constexpr std::array<std::string_view, kCommandCount> kNames = {
        "createFile",       "openCommonPath",       "openWithApp",      "executeScript",
        "setFolderIcon",    "convertItem",          "copyfileInfo",     "moveAndCopyItem",
        "openServe",        "deletePath",           "copyPath",         "showSystemFiles",
        "hideAndShowFiles", "lockUnlockFiles",      "cutPasteItem",     "encryptedCompress",
        "embedFolder",      "unembedFolder",        "startColorPicker", "executeSelectedScripts",
        "extractIcon",      "openFilesFromMainApp",
    };
    return kNames[static_cast<std::size_t>(id)];
}

void CommandTable::set(CommandId id, CommandHandler handler) {
    handlers_[static_cast<std::size_t>(id)] = std::move(handler);
}

const CommandHandler* CommandTable::find(CommandId id) const {
    const CommandHandler& handler = handlers_[static_cast<std::size_t>(id)];
    return handler ? &handler : nullptr;
}

}  // namespace tf
