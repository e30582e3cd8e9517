// The menu a request produces, independent of any toolkit: what the file-manager plugins
// render and what `trackfolio-sync menu` prints. Its JSON form is the menu protocol's.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "model/menu_item.h"

namespace tf {

struct MenuNode {
    // The catalogue entry's key (scripts, tests and debugging; plugins show the title).
    std::string key;
    std::string title;
    ImageRef icon;
    // 0 for entries that are not clicked through the tag path (separators, the fold entry).
    std::int64_t tag = 0;
    bool separator = false;
    // The fold entry: clicking it (when it has no submenu) opens the settings.
    bool settingsAction = false;
    std::optional<std::vector<MenuNode>> children;
};

using MenuList = std::vector<MenuNode>;

// Icon-theme name or absolute image path; empty for no image.
std::string iconReference(const ImageRef& icon);

// [{key, title, icon, tag, separator, children?, action?}, ...]
nlohmann::json menuToJson(const MenuList& menu);

// The same JSON as compact text, written directly: the menu service sends it on every request,
// and building the document first costs several times more than the menu itself. Bytes that
// are not UTF-8 become U+FFFD.
std::string menuJsonText(const MenuList& menu);

// One line per entry: indentation by depth, title, tag in brackets; separators as a rule.
void printMenu(const MenuList& menu, std::ostream& out);

// True when some entry of the tree carries the tag.
bool menuHasTag(const MenuList& menu, std::int64_t tag);
const MenuNode* findTag(const MenuList& menu, std::int64_t tag);

}  // namespace tf
