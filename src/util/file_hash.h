#pragma once

#include <filesystem>
#include <string>

namespace tf {

// MD5 of the file's contents in lower-case hexadecimal, read in chunks; empty when the
// file cannot be read.
std::string fileMD5(const std::filesystem::path& path);

}  // namespace tf
