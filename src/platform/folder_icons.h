// Custom folder icons as the Linux file managers show them. Two mechanisms, always written
// and removed together:
// - GIO metadata "metadata::custom-icon" (a file URI), kept per user by gvfsd-metadata on the
//   session bus; Nautilus, Nemo and Caja show it.
// - the folder's ".directory" file, "[Desktop Entry]" "Icon=" (a path); Dolphin shows it.
// Thunar shows neither. Setting needs no write access to the folder for the first one, so a
// result counts as done when either mechanism took it.
#pragma once

#include <optional>
#include <string>

namespace tf {

struct FolderIconResult {
    bool metadata = false;   // metadata::custom-icon written or removed
    bool directory = false;  // .directory written or removed (or nothing to remove)
    bool ok() const { return metadata || directory; }
};

// Gives the folder the image as its icon; an absolute image path.
FolderIconResult setFolderIcon(const std::string& folder, const std::string& image);
// Removes the icon set either way. Other lines of .directory stay; a .directory left with
// nothing in it is deleted. A folder without a custom icon is not changed.
FolderIconResult removeFolderIcon(const std::string& folder);

// The folder's metadata::custom-icon, or nullopt when it has none (or metadata cannot be read).
std::optional<std::string> metadataCustomIcon(const std::string& folder);

// The Icon= value of the "[Desktop Entry]" group of a .directory text, and the text with
// that line set (value) or removed (nullopt). Removing the last key drops the group header.
std::optional<std::string> directoryIcon(const std::string& text);
std::string withDirectoryIcon(const std::string& text, const std::optional<std::string>& value);

}  // namespace tf
