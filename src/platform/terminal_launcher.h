// Finds the user's terminal emulators and builds the requests that open one at a folder or
// run a program in one. Every folder and command word is its own argument.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process_runner.h"

namespace tf {

enum class TerminalKind {
    // Unknown to us: started in the folder, without options.
    Generic,
    GnomeTerminal,
    Konsole,
    Xfce4Terminal,
    Kitty,
    Alacritty,
    WezTerm,
    Foot,
    Tilix,
};

struct Terminal {
    // The program to run (absolute path when found on PATH).
    std::string program;
    TerminalKind kind = TerminalKind::Generic;
    // Words that came after the program in $TERMINAL ("kitty --single-instance").
    std::vector<std::string> options;
};

// The kind a program's file name stands for; a Debian ".wrapper" suffix is ignored.
TerminalKind terminalKindOf(std::string_view program);
bool supportsTabs(TerminalKind kind);

// A terminal given by program name or path, optionally followed by blank-separated options;
// nothing when the program is not installed. A generic name that links to a known terminal
// (x-terminal-emulator, usually) is taken as that terminal.
std::optional<Terminal> findTerminal(std::string_view nameOrCommand);

// The terminals of this system in order of preference: $TERMINAL, x-terminal-emulator,
// gnome-terminal, konsole, xfce4-terminal, kitty, alacritty, wezterm, foot, tilix; each
// terminal once.
std::vector<Terminal> availableTerminals();

// Opens a window (or a tab, when asked and the terminal has tabs) at the folder.
ProcessRequest openFolderRequest(const Terminal& terminal, const std::string& folder, bool tab);
// Runs the command in a new window of the terminal, in the folder.
ProcessRequest runCommandRequest(const Terminal& terminal, const std::vector<std::string>& command,
                                 const std::string& folder);

}  // namespace tf
