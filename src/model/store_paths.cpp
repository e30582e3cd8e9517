#include "model/store_paths.h"

#include <cstdlib>
#include <string>

#include "util/path_text.h"

namespace tf {

namespace {

std::filesystem::path environmentPath(const char* name) {
    const char* value = std::getenv(name);
    // Relative XDG values are invalid by definition and must be ignored.
    if (value == nullptr || value[0] != '/') {
        return {};
    }
    return value;
}

}  // namespace

StorePaths StorePaths::fromEnvironment() {
    if (const auto root = environmentPath("TRACKFOLIO_HOME"); !root.empty()) {
        return {root / "config", root / "shared", root / "cache"};
    }
    const std::string home = homeFolder();
    auto base = [&](const char* variable, const char* fallback) -> std::filesystem::path {
        if (auto p = environmentPath(variable); !p.empty()) {
            return p;
        }
        if (home.empty()) {
            return {};
        }
        return std::filesystem::path(home) / fallback;
    };
    StorePaths paths;
    if (auto config = base("XDG_CONFIG_HOME", ".config"); !config.empty()) {
        paths.configFolder = config / "trackfolio";
    }
    if (auto data = base("XDG_DATA_HOME", ".local/share"); !data.empty()) {
        paths.sharedFolder = data / "trackfolio";
    }
    if (auto cache = base("XDG_CACHE_HOME", ".cache"); !cache.empty()) {
        paths.cacheFolder = cache / "trackfolio";
    }
    return paths;
}

std::filesystem::path StorePaths::privateSettingsFile(Deliverable deliverable) const {
    return configFolder / (std::string(deliverableName(deliverable)) + ".plist");
}

}  // namespace tf
