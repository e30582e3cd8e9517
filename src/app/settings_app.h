// The settings window as a program: one instance per user and store, the hand-off from the
// menu service, and the hidden options the screenshot and start-up scripts use.
#pragma once

#include <string>
#include <vector>

namespace tf {

// True when these arguments ask for the window rather than a command: none at all, files
// handed over by the menu service (absolute paths), or one of the window's own options
// (--page ID, --screenshots DIR, --exit-when-shown).
bool isWindowLaunch(const std::vector<std::string>& args);

int runSettingsApp(int argc, char** argv, const std::vector<std::string>& args);

}  // namespace tf
