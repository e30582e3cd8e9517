// Path helpers that work on path strings exactly as stored (bytes are kept; no re-encoding).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace tf {

// The last extension without its dot, case kept; empty when there is none. A leading dot
// names a hidden file, not an extension (".env" has none), and "x." has none either.
std::string pathExtension(std::string_view path);
// The path without its last extension (and without the dot).
std::string deletingPathExtension(std::string_view path);
std::string lastPathComponent(std::string_view path);
std::string deletingLastPathComponent(std::string_view path);
// "~" at the start expanded to the home folder, "." and ".." components resolved textually,
// repeated and trailing "/" removed ("/" itself stays "/").
std::string standardizePath(std::string_view path);
// The path without trailing slashes; "/" (or "//") stays "/" and "" stays "".
std::string withoutTrailingSlashes(std::string_view path);
// name inside folder, with one slash between them however the folder ends ("/" + "a" is
// "/a"). The name is taken as one component.
std::string childPath(std::string_view folder, std::string_view name);
// $HOME, or the password database's entry when HOME is unset.
std::string homeFolder();

// A path at which nothing exists yet: the path itself when free, otherwise
// "<path without extension>-<n>.<extension>" for the first free n = 1, 2, 3, ...
std::string uniquePath(std::string_view path);
// The same numbering, with `taken` saying which paths are in use (names inside an archive).
std::string uniquePath(std::string_view path, const std::function<bool(const std::string&)>& taken);

// Total bytes: 0 for a missing path, the size of a regular file, or the sum of the sizes of
// every entry below a directory (entries that cannot be read count 0).
std::uint64_t fileSize(const std::filesystem::path& path);

}  // namespace tf
