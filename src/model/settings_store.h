// One property-list settings file shared between processes.
//
// Reads see the latest committed write of any process: each read checks the file's identity
// (device, inode, size, modification time) and parses only when it changed. Writes are
// atomic (temporary file, fsync, rename), and every read-modify-write runs under an advisory
// lock on a companion ".lock" file, so two processes editing the same list never lose each
// other's changes.
//
// A file that does not parse may be one another program is still rewriting in place, so it
// is only declared damaged once a second read fails too and it has not been modified for a
// while; then it is set aside under a new name and the store starts empty. Until then reads
// keep the last good contents, and writes refuse rather than replace what the other program
// is writing. A damaged file never stops a menu request.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "model/value.h"
#include "util/posix.h"

namespace tf {

// Time as the store sees it. Tests replace both to step through a slow writer without
// waiting for real.
struct StoreClock {
    std::function<std::chrono::system_clock::time_point()> now = [] {
        return std::chrono::system_clock::now();
    };
    std::function<void(std::chrono::milliseconds)> pause = [](std::chrono::milliseconds d) {
        std::this_thread::sleep_for(d);
    };
};

// Outcome of a write: nothing is thrown; a failed write leaves the file as it was.
struct WriteResult {
    bool ok = true;
    std::string error;

    explicit operator bool() const { return ok; }
    static WriteResult failure(std::string message) { return {false, std::move(message)}; }
};

class SettingsStore {
  public:
    explicit SettingsStore(std::filesystem::path file, StoreClock clock = {});
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    const std::filesystem::path& file() const { return file_; }

    // The whole contents as last committed; cheap when the file has not changed. While the
    // file is mid-rewrite by another program, the last contents read whole.
    std::shared_ptr<const Dict> snapshot() const;

    // Null when absent.
    Value value(std::string_view key) const;
    bool contains(std::string_view key) const;
    // Absent keys read false / 0 / empty; other types are converted (a number's truth value).
    bool readBool(std::string_view key) const;
    std::int64_t readInteger(std::string_view key) const;
    std::string readString(std::string_view key) const;
    Array readArray(std::string_view key) const;
    Dict readDict(std::string_view key) const;

    WriteResult set(std::string_view key, Value value);
    WriteResult remove(std::string_view key);

    // Locked read-modify-write: edit receives the latest contents; the file is rewritten
    // only when the edit changed something. Fails, changing nothing, while the file is one
    // another program has just modified and that does not parse yet.
    WriteResult update(const std::function<void(Dict&)>& edit);

    // Number of times the file was parsed (tests and benchmarks watch the fast path).
    std::uint64_t parseCount() const;

  private:
    struct Identity {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        std::int64_t mtimeNs = 0;
        bool operator==(const Identity&) const = default;
    };

    // What a read found: the contents, and whether they are the file's current ones (false
    // when the file did not parse and the contents are the last good ones, or empty).
    struct Loaded {
        std::shared_ptr<const Dict> contents;
        bool current = true;
    };

    Loaded load(bool holdingWriteLock) const;
    // Reads and parses the file once; null contents when it exists but does not parse.
    struct Attempt {
        Identity identity;
        UniqueFd fd;
        std::optional<Dict> contents;
    };
    Attempt readOnce() const;
    bool recentlyModified(const Identity& identity) const;
    Loaded install(std::shared_ptr<const Dict> contents, const Identity& identity,
                   UniqueFd fd) const;
    static Identity identityOf(const struct ::stat& st);
    void setAside(const Identity& damaged, bool holdingWriteLock) const;
    WriteResult commit(const Dict& contents);
    void removeStaleTemporaries() const;
    void keepOpen(UniqueFd fd) const;

    std::filesystem::path file_;
    std::filesystem::path lockFile_;
    StoreClock clock_;
    mutable std::mutex mutex_;
    mutable std::shared_ptr<const Dict> cache_;
    mutable Identity identity_;
    // The version that last failed to parse: read again only once it changes or grows old.
    mutable Identity unparsed_;
    mutable UniqueFd cachedFd_;
    mutable std::uint64_t parseCount_ = 0;
    mutable std::atomic<bool> temporariesChecked_{false};
};

}  // namespace tf
