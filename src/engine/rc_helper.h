// RCHelper: the generated submenus under common paths, listed at menu-build time and capped
// so a large folder cannot slow the menu down.
#pragma once

#include <string>
#include <vector>

#include "model/menu_item.h"

namespace tf {

class RCHelper {
  public:
    // Submenu of one common path under "Common Path" ("common path next menu" decides).
    static std::vector<RCMenuItem> commomPathNextMenuWithPath(const std::string& path);
    // Up to `maxCount` visible entries of the folder, then "More Files" once the cap is hit.
    static std::vector<RCMenuItem> nextTypeSubMenuWithPath(const std::string& path, int maxCount);
    // Terminal windows and application twins of the main list, then the common apps.
    static std::vector<RCMenuItem> nextTypeAppMenu();
    // Submenu of one common path under "Copy to" / "Move to": up to 20 subfolders.
    static std::vector<RCMenuItem> commomPathChildFolderItemWithPath(const std::string& path);
};

}  // namespace tf
