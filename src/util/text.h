// Text helpers shared by both programs: the validity rule for optional strings, trimming,
// identifiers and version ordering.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tf {

// A string carries content when it is not blank after trimming white space and line breaks
// and is not the text "(null)" (what an unset string prints as in stored settings).
bool isValid(std::string_view text);

// Removes leading and trailing white space and line breaks.
std::string trim(std::string_view text);

// A new random version-4 UUID in canonical upper-case form (8-4-4-4-12 hex digits).
std::string uuid();

// Compares dotted versions component by component (missing components count as 0, a
// component that is not a number counts as its leading integer value or 0).
// Returns -1, 0 or 1 for receiver <, ==, > other.
int compareVersion(std::string_view receiver, std::string_view other);

std::vector<std::string> split(std::string_view text, char separator);
std::string join(const std::vector<std::string>& parts, std::string_view separator);
std::string toLower(std::string_view text);
std::string toUpper(std::string_view text);
bool startsWith(std::string_view text, std::string_view prefix);
bool endsWith(std::string_view text, std::string_view suffix);

}  // namespace tf

namespace tf {

// The text made fit for a one-line message: line breaks and other control characters
// written as escapes (\n, \t, \x01), and cut to at most maxLength bytes with "..." appended.
std::string oneLine(std::string_view text, std::size_t maxLength = 160);

}  // namespace tf
