// What the per-language lexers of script placeholders share (placeholders.h is the
// interface).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tf::placeholders {

inline constexpr std::array<std::string_view, 5> kNames{"@rpath", "@rpos", "@rfname", "@rname",
                                                        "@rext"};

// The value of each placeholder, in the order of kNames.
using Values = std::array<std::string, kNames.size()>;

// The placeholder starting at `at`, if any. No placeholder is a prefix of another.
std::optional<std::size_t> placeholderAt(std::string_view text, std::size_t at);

inline bool isIdentStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
inline bool isIdentChar(char c) {
    return isIdentStart(c) || isDigit(c);
}
inline bool isOneOf(char c, std::string_view set) {
    return c != '\0' && set.find(c) != std::string_view::npos;
}

// The script with every placeholder written as that language reads it back exactly, or
// nothing when one has no exact form where it stands.
std::optional<std::string> expandShell(std::string_view script, const Values& values);
std::optional<std::string> expandPython(std::string_view script, const Values& values);

}  // namespace tf::placeholders
