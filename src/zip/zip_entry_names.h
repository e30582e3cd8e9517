// Entry names of zip archives: decoding the stored bytes, and the checks that keep every
// entry, and every link's target, below the destination.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tf::zip {

// Decodes an entry name as stored: UTF-8 when it is valid UTF-8, otherwise as the DOS code
// page 437 (what archives without the UTF-8 flag were written in).
std::string decodeEntryName(std::string_view raw);

// An entry's place below the destination, or why it has none.
struct EntryPath {
    std::vector<std::string> parts;
    bool unsafe = false;
};

// Splits a name into its components. "\" separates too (names written on Windows), empty
// and "." components drop out; an absolute name (also a drive letter) or a ".." anywhere is
// unsafe rather than cleaned up, since no honest archive holds one.
EntryPath entryPath(std::string_view name);

// Whether a link placed at `at` (components below the destination) whose target is `target`
// stays inside the destination, read without looking at the disk.
bool linkStaysInside(const std::vector<std::string>& at, std::string_view target);

// The first `count` components joined with "/".
std::string joinParts(const std::vector<std::string>& parts, std::size_t count);

}  // namespace tf::zip
