#include "menu_probe.h"

#include <gtest/gtest.h>

#include "cli/sync_cli.h"
#include "model/product.h"
#include "support/sandbox.h"

namespace tf::test {

nlohmann::json menuJson(const std::vector<std::string>& paths) {
    std::vector<std::string> args{"menu", "--json"};
    args.insert(args.end(), paths.begin(), paths.end());
    const Deliverable was = runningDeliverable();
    setRunningDeliverable(Deliverable::Extension);
    const CliResult result = runCli(&runSyncCommand, args);
    setRunningDeliverable(was);
    EXPECT_EQ(result.status, 0) << result.err;
    return nlohmann::json::parse(result.out, nullptr, false);
}

const nlohmann::json* findEntry(const nlohmann::json& menu, const std::string& key) {
    if (!menu.is_array()) {
        return nullptr;
    }
    for (const nlohmann::json& entry : menu) {
        if (entry.value("key", "") == key) {
            return &entry;
        }
        if (const auto children = entry.find("children"); children != entry.end()) {
            if (const nlohmann::json* found = findEntry(*children, key)) {
                return found;
            }
        }
    }
    return nullptr;
}

std::vector<std::string> keysOf(const nlohmann::json& level) {
    std::vector<std::string> keys;
    if (level.is_array()) {
        for (const nlohmann::json& entry : level) {
            keys.push_back(entry.value("key", ""));
        }
    }
    return keys;
}

}  // namespace tf::test
