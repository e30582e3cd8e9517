// Tag paths: a menu entry's integer tag spells its position in the menu tree as two-digit
// groups, top level first (entry 12 -> 12; its third child -> 1203). Dispatch decodes the
// tag and walks the same snapshot the menu was built from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tf {

// Positions are 1-based and must fit two digits; an entry past this is left out of the menu.
inline constexpr std::size_t kMaxTagPosition = 99;
// Eighteen digits always fit a signed 64-bit tag.
inline constexpr std::size_t kMaxTagGroups = 9;

// "%02ld" of a top-level tag: the parent tag string of its submenu.
std::string topTagString(std::int64_t tag);
// The tag string of the child at a 1-based position below a parent tag string, or nothing
// when the position or the depth cannot be encoded.
std::optional<std::string> childTagString(const std::string& parent, std::size_t position);
// Integer value of a tag string (leading zeros vanish).
std::int64_t tagValue(const std::string& tagString);
// "%ld", "0" prefixed when odd, cut into two-character groups from the left. Empty for a
// tag below 1.
std::vector<std::string> decodeTag(std::int64_t tag);

}  // namespace tf
