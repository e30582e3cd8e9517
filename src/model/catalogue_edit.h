// The catalogue edits as pure functions on the settings contents, so that a caller can run
// several of them inside one locked read-modify-write of the store.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "model/value.h"

namespace tf::catalogue {

// The list under a key; created empty when absent (or when something else was stored there).
Array& listIn(Dict& settings, std::string_view list);

// An entry matches an item key when its "key" or its "path" equals it exactly.
bool matches(const Value& entry, std::string_view itemKey);

// Each returns true when it changed the list.
bool addMenuKey(Array& list, const Dict& item, bool toTop);
// The removed entry (every entry equal to the first match goes), or nothing.
std::optional<Dict> removeMenuKey(Array& list, std::string_view itemKey);
bool updateMenuKey(Array& list, std::string_view itemKey, const Dict& changes);
bool updateMenuKey(Array& list, std::string_view itemKey, std::string_view attrKey,
                   const Value& attrValue);
bool replaceMenuKey(Array& list, const Dict& item);
// Drag-and-drop indexes: "to" is the position before which the entry is dropped, counted
// before the removal. Out-of-range indexes change nothing.
bool changePositionMenuKey(Array& list, std::int64_t fromIndex, std::int64_t toIndex);

}  // namespace tf::catalogue
