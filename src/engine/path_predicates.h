// Questions about one path that decide menu titles: is the item locked, does the folder
// carry a custom icon.
#pragma once

#include <string>
#include <string_view>

namespace tf {

// Extended attribute that keeps an item's mode from before it was locked with read-only
// permission bits (used where the immutable attribute cannot be set).
inline constexpr std::string_view kLockModeAttribute = "user.trackfolio.lock-mode";

// The immutable attribute is set, or the item was locked through its permission bits; false
// when the attributes cannot be read.
bool isLocked(const std::string& path);

// The folder has a custom icon: a ".directory" file with an Icon= entry, or an "Icon\r"
// file carried over from another system.
bool hasCustomIcon(const std::string& path);

}  // namespace tf
