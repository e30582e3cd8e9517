// Where the shared settings, the private settings and the shared folder live.
//
// Normally $XDG_CONFIG_HOME/trackfolio (settings) and $XDG_DATA_HOME/trackfolio (shared
// folder). TRACKFOLIO_HOME=DIR puts all of it under DIR: DIR/config, DIR/shared, DIR/cache.
#pragma once

#include <filesystem>

#include "model/product.h"

namespace tf {

struct StorePaths {
    std::filesystem::path configFolder;
    std::filesystem::path sharedFolder;
    std::filesystem::path cacheFolder;

    // Resolved from the environment now. Empty paths when no home folder can be found.
    static StorePaths fromEnvironment();

    std::filesystem::path sharedSettingsFile() const { return configFolder / "settings.plist"; }
    // "trackfolio.plist" or "trackfolio-sync.plist" beside the shared settings.
    std::filesystem::path privateSettingsFile(Deliverable deliverable) const;
};

}  // namespace tf
