// Commands of the open family that other families call.
#pragma once

#include <string>

namespace tf {

class FinderSync;

// Runs a desktop service ("New Terminal at Folder", ...) on the path, or on the selection
// when the path is empty, or on the desktop folder when both are empty.
void openServe(FinderSync& sync, const std::string& serve, const std::string& path);

}  // namespace tf
