// The shared settings keys the programs know, with the type each must hold. Tools use it to
// refuse a value of the wrong type before it reaches the store.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/value.h"

namespace tf {

struct SettingKeyInfo {
    std::string_view name;
    Value::Type type;
    // For arrays: every element must be a dictionary (the catalogue lists).
    bool listOfDictionaries = false;
};

// Nothing for a key the programs do not define. (Any other key may still hold a bool: an
// entry's key switches its submenu entries off.)
std::optional<SettingKeyInfo> knownSettingKey(std::string_view name);

// The value an absent key reads as: false, 0, empty text or an empty list.
Value defaultValueFor(const SettingKeyInfo& info);

}  // namespace tf

namespace tf {

// Empty when the value may be stored under the key; otherwise why not.
std::string settingValueProblem(std::string_view key, const Value& value);

}  // namespace tf
