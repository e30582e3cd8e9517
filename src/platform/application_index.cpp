#include "platform/application_index.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <utility>

#include "util/posix.h"
#include "util/text.h"

namespace tf {

namespace {

constexpr std::string_view kSuffix = ".desktop";

// File times come from a coarse clock: a folder read in the same tick as a change could
// carry the time of that change and hide a second one, so the index is trusted only once
// every folder has been left alone this long. Until then each request reads them again.
constexpr std::chrono::seconds kMinimumAge{1};

// Answers about applications given by path, kept per file; more than this and they start over.
constexpr std::size_t kMaxFileAnswers = 256;

struct Stamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
};

Stamp stampOf(const std::string& path) {
    struct stat info {};
    Stamp stamp;
    if (::stat(path.c_str(), &info) != 0) {
        return stamp;
    }
    stamp.exists = true;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modified = info.st_mtim;
    stamp.changed = info.st_ctim;
    return stamp;
}

// An entry added, removed or renamed changes its folder's modification time.
bool sameFolder(const Stamp& a, const Stamp& b) {
    return a.exists == b.exists && a.device == b.device && a.inode == b.inode &&
           sameTime(a.modified, b.modified);
}

bool sameFile(const Stamp& a, const Stamp& b) {
    return sameFolder(a, b) && a.size == b.size && sameTime(a.changed, b.changed);
}

bool isRecent(const timespec& time) {
    const auto at = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec)));
    return std::chrono::system_clock::now() - at < kMinimumAge;
}

// Everything the answers depend on besides the folders: where they are, and the PATH that
// TryExec programs are looked up in.
std::string environmentKey() {
    std::string key;
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_DATA_DIRS", "PATH"}) {
        const char* value = std::getenv(name);
        key += value != nullptr ? '=' : '!';
        if (value != nullptr) {
            key += value;
        }
        key += '\0';
    }
    return key;
}

struct Cache {
    std::mutex mutex;
    std::string environment;
    std::optional<ApplicationIndex> index;
    std::vector<std::pair<std::string, Stamp>> folders;
    bool settled = false;
    std::unordered_map<std::string, std::pair<Stamp, bool>> files;

    bool isCurrent(const std::string& now) const {
        if (!index || !settled || environment != now) {
            return false;
        }
        for (const auto& [path, stamp] : folders) {
            if (!sameFolder(stamp, stampOf(path))) {
                return false;
            }
        }
        return true;
    }

    void rescan(std::string now) {
        std::vector<std::filesystem::path> read;
        std::vector<DesktopEntry> entries = installedDesktopEntries(&read);
        // Stamped after reading: a change made meanwhile is recent, so it is read again.
        folders.clear();
        settled = true;
        for (const auto& folder : read) {
            Stamp stamp = stampOf(folder.string());
            settled = settled && !(stamp.exists && isRecent(stamp.modified));
            folders.emplace_back(folder.string(), stamp);
        }
        index.emplace(std::move(entries));
        if (environment != now) {
            files.clear();
        }
        environment = std::move(now);
    }

    bool fileAnswer(const std::string& path) {
        if (path.front() != '/') {
            // Relative to the folder we run in: not worth keeping.
            return findDesktopEntry(path).has_value();
        }
        const Stamp stamp = stampOf(path);
        const auto kept = files.find(path);
        if (kept != files.end() && sameFile(kept->second.first, stamp)) {
            return kept->second.second;
        }
        const bool found = stamp.exists && findDesktopEntry(path).has_value();
        if (!isRecent(stamp.modified) && !isRecent(stamp.changed)) {
            if (files.size() >= kMaxFileAnswers) {
                files.clear();
            }
            files.insert_or_assign(path, std::make_pair(stamp, found));
        }
        return found;
    }
};

Cache& cache() {
    static Cache instance;
    return instance;
}

}  // namespace

ApplicationIndex::ApplicationIndex(std::vector<DesktopEntry> entries)
    : entries_(std::move(entries)) {
    launchable_.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const DesktopEntry& entry = entries_[i];
        ids_.emplace(entry.id, i);
        const bool launchable = isLaunchable(entry);
        launchable_.push_back(launchable);
        if (launchable) {
            names_.emplace(entry.name, i);
            lowerNames_.emplace(toLower(entry.name), i);
        }
    }
}

std::optional<std::size_t> ApplicationIndex::position(std::string_view application) const {
    if (application.empty() || application.find('/') != std::string_view::npos) {
        return std::nullopt;
    }
    std::string id(application);
    if (!endsWith(id, kSuffix)) {
        id += kSuffix;
    }
    if (const auto found = ids_.find(id); found != ids_.end() && launchable_[found->second]) {
        return found->second;
    }
    if (const auto found = names_.find(std::string(application)); found != names_.end()) {
        return found->second;
    }
    if (const auto found = lowerNames_.find(toLower(application)); found != lowerNames_.end()) {
        return found->second;
    }
    return std::nullopt;
}

std::optional<DesktopEntry> ApplicationIndex::find(std::string_view application) const {
    const std::optional<std::size_t> at = position(application);
    if (!at) {
        return std::nullopt;
    }
    return entries_[*at];
}

std::vector<bool> installedApplications(const std::vector<std::string>& applications) {
    Cache& c = cache();
    const std::lock_guard guard(c.mutex);
    std::string now = environmentKey();
    if (!c.isCurrent(now)) {
        c.rescan(std::move(now));
    }
    std::vector<bool> answers;
    answers.reserve(applications.size());
    for (const std::string& application : applications) {
        if (application.find('/') != std::string::npos) {
            answers.push_back(c.fileAnswer(application));
        } else {
            answers.push_back(c.index->contains(application));
        }
    }
    return answers;
}

bool isApplicationInstalled(std::string_view application) {
    return installedApplications({std::string(application)}).front();
}

}  // namespace tf
