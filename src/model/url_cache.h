// RCURLCache: the folder grants of the menu service. Without a sandbox a grant is the
// folder's path itself and resolving it always succeeds; what stays is which folders the
// user has granted, the covering rule, the replacement of nested grants and the persistence
// under "rc cached urls" in the service's own settings.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/settings_store.h"
#include "model/value.h"

namespace tf {

inline constexpr std::string_view kCachedURLsKey = "rc cached urls";

// A source of grants searched by urlWithAllowAccessToPath (the cache itself is the first).
class URLProvider {
  public:
    virtual ~URLProvider() = default;
    virtual std::vector<std::string> availablePaths() = 0;
    virtual std::optional<std::string> securityScopedURLForPath(const std::string& path) = 0;
};

// True when `stored` covers `path`: the same path, "/", or a folder above it.
bool grantCovers(std::string_view stored, std::string_view path);

class RCURLCache : public URLProvider {
  public:
    static RCURLCache& sharedInstance();

    // An empty (or blank) name keeps the grants in this program's own settings; any other
    // name in the settings file of that name beside it. Loads the stored grants.
    void setSuiteName(std::string_view name);
    const std::string& suiteName() const { return suiteName_; }
    // Forgets everything in memory and loads the grants again (tests, after a sandbox
    // change; equivalent to a restart of the program).
    void reload();

    // Providers are not owned and must outlive their registration.
    void addURLProvider(URLProvider* provider);
    void removeURLProvider(URLProvider* provider);

    // Stores a grant for the folder (nothing for an empty path or one already stored);
    // grants below it are replaced by it.
    void saveSecurityURL(const std::string& folder);
    void removeCachedPath(const std::string& path);
    void clearAllCached();

    // The access path of a grant covering the path (symbolic links in the path resolved
    // first), or nothing.
    std::optional<std::string> urlWithAllowAccessToPath(const std::string& path);

    std::vector<std::string> availablePaths() override;
    std::optional<std::string> securityScopedURLForPath(const std::string& path) override;

    // How many grants were resolved from their stored form in this run (each at most once).
    int resolveCount() const { return resolveCount_; }

  private:
    RCURLCache();
    // Both expect mutex_ held.
    void load();
    SettingsStore& store();
    void persist();

    // Guards everything below; never held while another provider is asked.
    mutable std::mutex mutex_;
    std::string suiteName_;
    std::unique_ptr<SettingsStore> suiteStore_;
    std::vector<URLProvider*> providers_;
    std::map<std::string, std::string> cachedURLs_;
    std::map<std::string, Data> cachedBookmarks_;
    int resolveCount_ = 0;
};

}  // namespace tf
