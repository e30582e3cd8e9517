#include "model/url_cache.h"

#include <algorithm>
#include <filesystem>

#include "model/menu_manager.h"
#include "util/log.h"
#include "util/text.h"

namespace tf {

namespace {

// A suite names a settings file beside the others, so it must be a plain file name.
bool isSuiteFileName(std::string_view name) {
    return isValid(name) && name.find('/') == std::string_view::npos && name != "." && name != "..";
}

Data bookmarkFor(const std::string& path) {
    return Data(path.begin(), path.end());
}

std::optional<std::string> resolveBookmark(const Data& bookmark) {
    if (bookmark.empty()) {
        return std::nullopt;
    }
    return std::string(bookmark.begin(), bookmark.end());
}

template <typename Map>
void eraseCoveredBy(Map& map, std::string_view folder) {
    std::erase_if(map, [&](const auto& entry) { return grantCovers(folder, entry.first); });
}

}  // namespace

bool grantCovers(std::string_view stored, std::string_view path) {
    if (stored.empty() || !path.starts_with(stored)) {
        return false;
    }
    return path.size() == stored.size() || stored.back() == '/' || path[stored.size()] == '/';
}

RCURLCache& RCURLCache::sharedInstance() {
    static RCURLCache instance;
    return instance;
}

RCURLCache::RCURLCache() {
    const std::lock_guard guard(mutex_);
    load();
}

void RCURLCache::setSuiteName(std::string_view name) {
    const std::lock_guard guard(mutex_);
    suiteName_ = std::string(name);
    load();
}

void RCURLCache::reload() {
    const std::lock_guard guard(mutex_);
    cachedURLs_.clear();
    cachedBookmarks_.clear();
    resolveCount_ = 0;
    providers_.clear();
    load();
}

void RCURLCache::load() {
    suiteStore_.reset();
    if (isValid(suiteName_)) {
        const auto& folder = RCMenuManager::sharedInstance().paths().configFolder;
        if (isSuiteFileName(suiteName_) && !folder.empty()) {
            suiteStore_ = std::make_unique<SettingsStore>(folder / (suiteName_ + ".plist"));
        } else {
            logWarning("grants kept in the program's own settings: unusable suite name \"" +
                       oneLine(suiteName_) + "\"");
        }
    }
    const Dict stored = store().readDict(kCachedURLsKey);
    for (const auto& [path, value] : stored) {
        // Bookmarks are data; a hand-edited file may hold the path as text.
        if (const Data* bookmark = value.data()) {
            cachedBookmarks_[path] = *bookmark;
        } else if (const std::string* text = value.string()) {
            cachedBookmarks_[path] = bookmarkFor(*text);
        }
    }
    if (std::find(providers_.begin(), providers_.end(), this) == providers_.end()) {
        providers_.push_back(this);
    }
}

SettingsStore& RCURLCache::store() {
    return suiteStore_ ? *suiteStore_ : RCMenuManager::sharedInstance().privateDefaults();
}

void RCURLCache::persist() {
    Dict stored;
    for (const auto& [path, bookmark] : cachedBookmarks_) {
        stored.emplace(path, Value(bookmark));
    }
    if (const WriteResult result = store().set(kCachedURLsKey, Value(std::move(stored))); !result) {
        logWarning("folder grants not saved: " + result.error);
    }
}

void RCURLCache::addURLProvider(URLProvider* provider) {
    const std::lock_guard guard(mutex_);
    if (provider != nullptr &&
        std::find(providers_.begin(), providers_.end(), provider) == providers_.end()) {
        providers_.push_back(provider);
    }
}

void RCURLCache::removeURLProvider(URLProvider* provider) {
    const std::lock_guard guard(mutex_);
    std::erase(providers_, provider);
}

void RCURLCache::saveSecurityURL(const std::string& folder) {
    const std::lock_guard guard(mutex_);
    if (folder.empty() || cachedBookmarks_.contains(folder)) {
        return;
    }
    eraseCoveredBy(cachedBookmarks_, folder);
    eraseCoveredBy(cachedURLs_, folder);
    cachedBookmarks_[folder] = bookmarkFor(folder);
    cachedURLs_[folder] = folder;
    persist();
}

void RCURLCache::removeCachedPath(const std::string& path) {
    const std::lock_guard guard(mutex_);
    const auto found =
        std::find_if(cachedBookmarks_.begin(), cachedBookmarks_.end(),
                     [&](const auto& entry) { return grantCovers(path, entry.first); });
    if (found == cachedBookmarks_.end()) {
        return;
    }
    cachedURLs_.erase(found->first);
    cachedBookmarks_.erase(found);
    persist();
}

void RCURLCache::clearAllCached() {
    const std::lock_guard guard(mutex_);
    cachedURLs_.clear();
    cachedBookmarks_.clear();
    persist();
}

std::optional<std::string> RCURLCache::urlWithAllowAccessToPath(const std::string& path) {
    if (path.empty()) {
        return std::nullopt;
    }
    std::vector<URLProvider*> providers;
    {
        const std::lock_guard guard(mutex_);
        providers = providers_;
    }
    std::vector<std::pair<URLProvider*, std::vector<std::string>>> grants;
    for (URLProvider* provider : providers) {
        std::vector<std::string> available = provider->availablePaths();
        if (!available.empty()) {
            grants.emplace_back(provider, std::move(available));
        }
    }
    // Menus ask this for every common path; with no grant stored there is nothing to resolve.
    if (grants.empty()) {
        return std::nullopt;
    }
    std::error_code ec;
    std::string resolved = std::filesystem::weakly_canonical(path, ec).string();
    if (ec || resolved.empty()) {
        resolved = path;
    }
    for (const auto& [provider, available] : grants) {
        for (const std::string& stored : available) {
            if (!grantCovers(stored, resolved)) {
                continue;
            }
            if (auto url = provider->securityScopedURLForPath(stored)) {
                return url;
            }
        }
    }
    return std::nullopt;
}

std::vector<std::string> RCURLCache::availablePaths() {
    const std::lock_guard guard(mutex_);
    std::vector<std::string> paths;
    paths.reserve(cachedBookmarks_.size());
    for (const auto& entry : cachedBookmarks_) {
        paths.push_back(entry.first);
    }
    return paths;
}

std::optional<std::string> RCURLCache::securityScopedURLForPath(const std::string& path) {
    const std::lock_guard guard(mutex_);
    if (const auto hit = cachedURLs_.find(path); hit != cachedURLs_.end()) {
        return hit->second;
    }
    const auto bookmark = cachedBookmarks_.find(path);
    if (bookmark == cachedBookmarks_.end()) {
        return std::nullopt;
    }
    auto url = resolveBookmark(bookmark->second);
    if (url) {
        ++resolveCount_;
        cachedURLs_[path] = *url;
    }
    return url;
}

}  // namespace tf
