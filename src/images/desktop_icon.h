// The icon the desktop shows for a file or folder, as an image file: a folder's custom icon
// (GIO's metadata::custom-icon, else the folder's .directory Icon=), a .desktop file's
// Icon=, otherwise the current icon theme's icon for the item's content type.
//
// The theme lookup is our own small one over the XDG data folders (icons/<theme>/index.theme,
// its Inherits chain, then hicolor, then pixmaps), preferring a scalable image and otherwise
// the largest bitmap, since the result is rendered at 1024 pixels. GTK is not a dependency
// and this layer has no Qt. The theme is KDE's (kdeglobals [Icons] Theme) in a KDE session,
// else GNOME's interface setting, else hicolor.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tf {

// The image file for the item's icon, or nullopt when none can be found.
std::optional<std::string> desktopIconFile(const std::string& path);

// The first of the icon names (or an absolute image path) that the current theme has, as a
// file path.
std::optional<std::string> themeIconFile(const std::vector<std::string>& names);

// The icon theme in use.
std::string currentIconTheme();

}  // namespace tf
