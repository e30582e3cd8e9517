// Property-list encoding of settings values (XML on write; XML or binary on read).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/value.h"

namespace tf {

// Null when the bytes are not a property list.
std::optional<Value> parsePlist(std::string_view bytes);

// XML property list text of a value.
std::string toXmlPlist(const Value& root);

}  // namespace tf
