#include "fs/file_access.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>

#include "util/path_text.h"
#include "util/posix.h"
#include "util/text.h"

namespace tf {

namespace {

std::mutex g_seamMutex;
WritableCheck g_writableCheck;
FolderLister g_folderLister;
ReadableCheck g_readableCheck;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool isFolderNoFollow(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool realForEachFolderEntry(const std::string& path, const FolderEntryVisitor& visit) {
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(path.c_str()));
    if (!dir) {
        return false;
    }
    const int fd = ::dirfd(dir.get());
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            isFolder = ::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                       S_ISDIR(info.st_mode);
        }
        if (!visit(name, isFolder)) {
            break;
        }
    }
    return true;
}

std::optional<std::vector<std::string>> realListFolder(const std::string& path) {
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    ::closedir(dir);
    return names;
}

}  // namespace

bool isWritablePath(const std::string& path) {
    WritableCheck check;
    {
        const std::lock_guard guard(g_seamMutex);
        check = g_writableCheck;
    }
    return check ? check(path) : ::access(path.c_str(), W_OK) == 0;
}

std::optional<std::vector<std::string>> listFolder(const std::string& path) {
    FolderLister lister;
    {
        const std::lock_guard guard(g_seamMutex);
        lister = g_folderLister;
    }
    return lister ? lister(path) : realListFolder(path);
}

bool isReadableFolder(const std::string& path) {
    ReadableCheck check;
    {
        const std::lock_guard guard(g_seamMutex);
        check = g_readableCheck;
    }
    return check ? check(path) : ::access(path.c_str(), R_OK | X_OK) == 0;
}

namespace {

struct CachedListing {
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    timespec changed{};
    std::vector<std::pair<std::string, bool>> entries;
    bool complete = false;
};

// Enough entries for the longest capped listing a menu shows, plus hidden names.
constexpr std::size_t kCachedEntries = 256;
constexpr std::size_t kCachedFolders = 128;

std::mutex g_listingMutex;
std::atomic<std::int64_t> g_listingMinimumAgeMs{1000};
std::map<std::string, std::shared_ptr<const CachedListing>, std::less<>> g_listings;

bool hasFolderLister() {
    const std::lock_guard guard(g_seamMutex);
    return static_cast<bool>(g_folderLister);
}

}  // namespace

bool forEachFolderEntryCached(const std::string& path, const FolderEntryVisitor& visit) {
    struct stat info {};
    if (hasFolderLister() || ::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return forEachFolderEntry(path, visit);
    }
    std::shared_ptr<const CachedListing> cached;
    {
        const std::lock_guard guard(g_listingMutex);
        const auto found = g_listings.find(path);
        if (found != g_listings.end() && found->second->device == info.st_dev &&
            found->second->inode == info.st_ino &&
            sameTime(found->second->modified, info.st_mtim) &&
            sameTime(found->second->changed, info.st_ctim)) {
            cached = found->second;
        }
    }
    if (cached) {
        for (const auto& [name, isFolder] : cached->entries) {
            if (!visit(name, isFolder)) {
                return true;
            }
        }
        if (cached->complete) {
            return true;
        }
        // The visitor wants more than was kept: read on past the kept entries.
        std::size_t skipped = 0;
        const std::size_t keptCount = cached->entries.size();
        return forEachFolderEntry(path, [&](const std::string& name, bool isFolder) {
            return skipped++ < keptCount || visit(name, isFolder);
        });
    }

    CachedListing listing;
    listing.device = info.st_dev;
    listing.inode = info.st_ino;
    listing.modified = info.st_mtim;
    listing.changed = info.st_ctim;
    bool visiting = true;
    bool stoppedEarly = false;
    const bool listed = forEachFolderEntry(path, [&](const std::string& name, bool isFolder) {
        if (visiting) {
            visiting = visit(name, isFolder);
        }
        if (listing.entries.size() == kCachedEntries) {
            stoppedEarly = true;
            return visiting;
        }
        listing.entries.emplace_back(name, isFolder);
        return true;
    });
    if (!listed) {
        return false;
    }
    listing.complete = !stoppedEarly;
    // File times come from a coarse clock: a listing taken in the same tick as a change
    // could carry the times of that change and miss a second one, so only folders left
    // alone for a second are kept.
    const auto since = [](const timespec& t) {
        return std::chrono::system_clock::now() -
               std::chrono::system_clock::time_point(
                   std::chrono::duration_cast<std::chrono::system_clock::duration>(
                       std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec)));
    };
    const std::chrono::milliseconds minimumAge(g_listingMinimumAgeMs.load());
    if (since(info.st_mtim) >= minimumAge && since(info.st_ctim) >= minimumAge) {
        const std::lock_guard guard(g_listingMutex);
        if (g_listings.size() >= kCachedFolders) {
            g_listings.clear();
        }
        g_listings[path] = std::make_shared<const CachedListing>(std::move(listing));
    }
    return true;
}

void setListingCacheMinimumAge(std::chrono::milliseconds age) {
    g_listingMinimumAgeMs = age.count();
}

bool forEachFolderEntry(const std::string& path, const FolderEntryVisitor& visit) {
    FolderLister lister;
    {
        const std::lock_guard guard(g_seamMutex);
        lister = g_folderLister;
    }
    if (!lister) {
        return realForEachFolderEntry(path, visit);
    }
    const auto names = lister(path);
    if (!names) {
        return false;
    }
    for (const std::string& name : *names) {
        if (!visit(name, isFolderNoFollow(childPath(path, name)))) {
            break;
        }
    }
    return true;
}

void setReadableCheck(ReadableCheck check) {
    const std::lock_guard guard(g_seamMutex);
    g_readableCheck = std::move(check);
}

void setWritableCheck(WritableCheck check) {
    const std::lock_guard guard(g_seamMutex);
    g_writableCheck = std::move(check);
}

void setFolderLister(FolderLister lister) {
    const std::lock_guard guard(g_seamMutex);
    g_folderLister = std::move(lister);
}

std::string xdgUserDir(std::string_view kind) {
    const std::string home = homeFolder();
    const std::string variable = "XDG_" + std::string(kind) + "_DIR";
    if (const char* value = std::getenv(variable.c_str()); value != nullptr && value[0] == '/') {
        return standardizePath(value);
    }
    std::string configHome;
    if (const char* value = std::getenv("XDG_CONFIG_HOME"); value != nullptr && value[0] == '/') {
        configHome = value;
    } else if (!home.empty()) {
        configHome = home + "/.config";
    }
    // Lines look like: XDG_DESKTOP_DIR="$HOME/Desktop"
    std::ifstream in(configHome + "/user-dirs.dirs");
    for (std::string line; std::getline(in, line);) {
        line = trim(line);
        if (!startsWith(line, variable + "=")) {
            continue;
        }
        std::string value = line.substr(variable.size() + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (startsWith(value, "$HOME")) {
            value = home + value.substr(5);
        }
        if (!value.empty() && value[0] == '/') {
            return standardizePath(value);
        }
    }
    if (home.empty()) {
        return {};
    }
    static constexpr std::pair<std::string_view, std::string_view> kDefaults[] = {
        {"DESKTOP", "Desktop"},    {"DOWNLOAD", "Downloads"},  {"TEMPLATES", "Templates"},
        {"PUBLICSHARE", "Public"}, {"DOCUMENTS", "Documents"}, {"MUSIC", "Music"},
        {"PICTURES", "Pictures"},  {"VIDEOS", "Videos"}};
    for (const auto& [name, folder] : kDefaults) {
        if (name == kind) {
            return standardizePath(home + "/" + std::string(folder));
        }
    }
    return {};
}

}  // namespace tf
