// "Extract Icon" (each selected item's desktop icon saved as a 1024 x 1024 PNG beside it)
// and "Folder Icon" / "Recover Icon" (a custom icon given to or taken from folders).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/menu_item.h"

namespace tf {

// Saves each item's icon at the first free "<folder>/<name without extension>.png"; returns
// the files written (an item whose icon cannot be found or saved is skipped silently).
std::vector<std::string> extractIcons(const std::vector<std::string>& paths);

// The image file a folder-icon entry applies, inside the shared RCFolderIcon folder: its own
// image when it has one there, otherwise its image copied in once. nullopt when it has none.
std::optional<std::string> folderIconImage(const RCMenuItem& entry);
// An image file placed in RCFolderIcon (itself when it is there already).
std::optional<std::string> folderIconImageFromFile(const std::string& image);

// Gives each folder the image (or, with nullopt, removes its custom icon); returns the paths
// that could not be changed.
std::vector<std::string> applyFolderIcon(const std::vector<std::string>& folders,
                                         const std::optional<std::string>& image);

}  // namespace tf
