// The two property-list encodings read from disk, behind parsePlist. Both readers are linear
// in the input and refuse (null) rather than follow input that would not be: nesting deeper
// than any settings file has, counts larger than the bytes that would hold them, and binary
// object graphs that expand far beyond their size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/value.h"

namespace tf::plist {

constexpr int kMaxNesting = 64;

// Property-list dates count from 2001-01-01.
constexpr double kEpochOffset = 978307200.0;

std::optional<Value> parseXml(std::string_view text);
std::optional<Value> parseBinary(std::string_view bytes);

void appendUtf8(std::string& out, std::uint32_t code);

}  // namespace tf::plist
