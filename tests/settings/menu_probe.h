// What the menu service would show after a settings page's edit: `trackfolio-sync menu
// --json` run in-process on the same store.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace tf::test {

// The menu for `paths` selected (the menu service's view: switched-off entries left out).
nlohmann::json menuJson(const std::vector<std::string>& paths);
// The first entry with `key` at any depth, or null.
const nlohmann::json* findEntry(const nlohmann::json& menu, const std::string& key);
// The keys of a level of the menu, in order.
std::vector<std::string> keysOf(const nlohmann::json& level);

}  // namespace tf::test
