// Image resources by name. The engine never decodes images for a menu: a resource name
// resolves to a freedesktop icon-theme name or to the absolute path of one of our own SVGs
// in the data folder (for names no icon theme has).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tf {

// True when the name is in the resource table.
bool hasImageResource(std::string_view name);

// Theme icon name or absolute SVG path for a resource name; empty when the name is unknown.
std::string imageResourceIcon(std::string_view name);

// Every name of the resource table (for tests and documentation).
std::vector<std::string> imageResourceNames();

// Where data files live: $TRACKFOLIO_DATA_DIR, else <exe>/../share/trackfolio when it
// exists, else the source tree's data folder.
std::filesystem::path dataFolder();

// True when a file exists at the path and starts like an image (PNG, JPEG, GIF, TIFF, BMP,
// WebP, ICO, ICNS, SVG, PDF): the cheap "an image can be loaded from that file" check.
bool looksLikeImageFile(const std::filesystem::path& path);

}  // namespace tf
