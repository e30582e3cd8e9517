// The commands that come with Trackfolio, one family per file; each family puts its rows
// into the command table.
#pragma once

#include "engine/command_table.h"

namespace tf {

void registerBuiltinCommands(CommandTable& table);

// Scripts: catalogue scripts and "Execute Script".
void registerScriptCommands(CommandTable& table);
// New files from templates, "New File From Window", "Add to File Template".
void registerNewFileCommands(CommandTable& table);
// Open with, terminals, common paths, copy path, delete, hand-off to the settings app.
void registerOpenCommands(CommandTable& table);
// Hide, unhide, lock, unlock, show system files.
void registerHideLockCommands(CommandTable& table);
// File information and digests.
void registerFileInfoCommands(CommandTable& table);
// Embed, unembed, copy to, move to, cut and paste.
void registerRelocateCommands(CommandTable& table);
// The screen colour picker.
void registerColourCommands(CommandTable& table);
// "Encrypted Compression".
void registerZipCommands(CommandTable& table);
// "Convert to": images, PDF merge and split, app icon sets.
void registerConvertCommands(CommandTable& table);
// "Extract Icon", "Folder Icon" and "Recover Icon".
void registerImageCommands(CommandTable& table);

}  // namespace tf
