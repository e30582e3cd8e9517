// The folder chooser, shared by the port and the save panel's "Where" button.
#pragma once

#include <optional>
#include <string>

#include "platform/user_interface.h"

class QWidget;

namespace tf {

// A modal directory dialog: the prompt titles the confirming button, the message is shown
// above the folders. The chosen folder, or nothing on cancel.
std::optional<std::string> runFolderDialog(const FolderRequest& request, QWidget* parent);

}  // namespace tf
