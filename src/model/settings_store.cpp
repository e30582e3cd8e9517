#include "model/settings_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>
#include <system_error>
#include <utility>

#include "model/plist_codec.h"
#include "util/log.h"

namespace tf {

namespace {

// Exclusive advisory lock on the companion lock file; held for a whole read-modify-write.
// flock locks belong to the open file description, so threads of one process exclude each
// other too.
class WriteLock {
  public:
    explicit WriteLock(const std::filesystem::path& lockFile)
        : fd_(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (!fd_.valid()) {
            error_ = errno;
            return;
        }
        while (::flock(fd_.get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                error_ = errno;
                return;
            }
        }
        locked_ = true;
    }
    ~WriteLock() {
        if (locked_) {
            ::flock(fd_.get(), LOCK_UN);
        }
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

    bool locked() const { return locked_; }
    int error() const { return error_; }

  private:
    UniqueFd fd_;
    bool locked_ = false;
    int error_ = 0;
};

std::string timestampForName() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

const std::string kTemporaryInfix = ".tmp-";

// How long after its last modification a file that does not parse is taken to be one another
// program is still writing, rather than damaged.
constexpr std::chrono::seconds kRecentWindow{5};
// How long a first load or a write waits before reading such a file again, and how often.
constexpr std::chrono::milliseconds kRetryPause{100};
constexpr int kRetries = 2;

}  // namespace

SettingsStore::SettingsStore(std::filesystem::path file, StoreClock clock)
    : file_(std::move(file)), lockFile_(file_.string() + ".lock"), clock_(std::move(clock)) {}

SettingsStore::Identity SettingsStore::identityOf(const struct ::stat& st) {
    return {true, st.st_dev, st.st_ino, st.st_size,
            st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
}

std::shared_ptr<const Dict> SettingsStore::snapshot() const {
    return load(false).contents;
}

SettingsStore::Loaded SettingsStore::load(bool holdingWriteLock) const {
    Identity current;
    struct stat st {};
    if (::stat(file_.c_str(), &st) == 0) {
        current = identityOf(st);
    }
    bool haveSnapshot = false;
    {
        const std::lock_guard guard(mutex_);
        if (cache_ && current == identity_) {
            return {cache_, true};
        }
        // The version that did not parse, still fresh: its writer is likely not done, and
        // parsing it again on every menu request would find the same.
        if (cache_ && !holdingWriteLock && current.exists && current == unparsed_ &&
            recentlyModified(current)) {
            return {cache_, false};
        }
        haveSnapshot = cache_ != nullptr;
    }

    // A menu request with something to show never waits: it retries at its next read. A first
    // load or a write pauses for a writer to finish before judging the file.
    const bool mayPause = holdingWriteLock || !haveSnapshot;
    for (int attempt = 0;; ++attempt) {
        Attempt read = readOnce();
        if (read.contents) {
            return install(std::make_shared<const Dict>(std::move(*read.contents)), read.identity,
                           std::move(read.fd));
        }
        bool failedBefore = attempt > 0;
        {
            const std::lock_guard guard(mutex_);
            failedBefore = failedBefore || read.identity == unparsed_;
        }
        if (failedBefore && !recentlyModified(read.identity)) {
            setAside(read.identity, holdingWriteLock);
            // A set-aside file is gone; one that could not be moved keeps its identity, so it
            // is not parsed again until it changes.
            const bool stillThere = ::stat(file_.c_str(), &st) == 0;
            return install(std::make_shared<const Dict>(), stillThere ? read.identity : Identity{},
                           stillThere ? std::move(read.fd) : UniqueFd());
        }
        if (mayPause && attempt < kRetries) {
            clock_.pause(kRetryPause);
            continue;
        }
        const std::lock_guard guard(mutex_);
        unparsed_ = read.identity;
        if (!cache_) {
            // Nothing good was ever read: serve empty settings, and read again next time.
            cache_ = std::make_shared<const Dict>();
            identity_ = Identity{};
        }
        return {cache_, false};
    }
}

// Parses what the descriptor shows and remembers that identity, so a replacement between
// stat and open is simply seen at the next read. A file that cannot be opened or read reads
// as empty, as an absent one does.
SettingsStore::Attempt SettingsStore::readOnce() const {
    Attempt attempt;
    UniqueFd fd(::open(file_.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    std::string bytes;
    if (fd.valid() && ::fstat(fd.get(), &st) == 0) {
        bytes.reserve(static_cast<std::size_t>(st.st_size));
        if (readAll(fd.get(), bytes) == 0) {
            attempt.identity = identityOf(st);
            attempt.fd = std::move(fd);
        }
    }
    {
        const std::lock_guard guard(mutex_);
        ++parseCount_;
    }
    if (!attempt.identity.exists) {
        attempt.contents = Dict{};
        return attempt;
    }
    std::optional<Value> parsed = parsePlist(bytes);
    if (parsed && parsed->dict() != nullptr) {
        attempt.contents = std::move(*parsed->dict());
    } else if (::fstat(attempt.fd.get(), &st) == 0) {
        // Judge freshness by the latest change: a writer may have started during the read.
        attempt.identity = identityOf(st);
    }
    return attempt;
}

bool SettingsStore::recentlyModified(const Identity& identity) const {
    const std::chrono::system_clock::time_point modified{
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds(identity.mtimeNs))};
    // A modification time in the future counts as recent too.
    return clock_.now() - modified < kRecentWindow;
}

SettingsStore::Loaded SettingsStore::install(std::shared_ptr<const Dict> contents,
                                             const Identity& identity, UniqueFd fd) const {
    const std::lock_guard guard(mutex_);
    cache_ = std::move(contents);
    identity_ = identity;
    unparsed_ = Identity{};
    keepOpen(identity.exists ? std::move(fd) : UniqueFd());
    return {cache_, true};
}

void SettingsStore::setAside(const Identity& damaged, bool holdingWriteLock) const {
    std::unique_ptr<WriteLock> lock;
    if (!holdingWriteLock) {
        lock = std::make_unique<WriteLock>(lockFile_);
    }
    // Another process may have set it aside or replaced it meanwhile.
    struct stat st {};
    if (::stat(file_.c_str(), &st) != 0 || !(identityOf(st) == damaged)) {
        return;
    }
    std::string target = file_.string() + ".damaged-" + timestampForName();
    for (int n = 1; ::access(target.c_str(), F_OK) == 0; ++n) {
        target = file_.string() + ".damaged-" + timestampForName() + "-" + std::to_string(n);
    }
    if (::rename(file_.c_str(), target.c_str()) == 0) {
        logWarning("settings file " + file_.string() + " could not be read; kept it as " + target +
                   " and started with empty settings");
    } else {
        logWarning("settings file " + file_.string() + " could not be read and not be moved (" +
                   errnoText(errno) + "); using empty settings");
    }
}

Value SettingsStore::value(std::string_view key) const {
    const auto contents = snapshot();
    const Value* v = find(*contents, key);
    return v != nullptr ? *v : Value();
}

bool SettingsStore::contains(std::string_view key) const {
    return find(*snapshot(), key) != nullptr;
}

bool SettingsStore::readBool(std::string_view key) const {
    return dictBool(*snapshot(), key);
}

std::int64_t SettingsStore::readInteger(std::string_view key) const {
    return dictInteger(*snapshot(), key);
}

std::string SettingsStore::readString(std::string_view key) const {
    return dictString(*snapshot(), key);
}

Array SettingsStore::readArray(std::string_view key) const {
    const auto contents = snapshot();
    const Value* v = find(*contents, key);
    return v != nullptr && v->array() != nullptr ? *v->array() : Array();
}

Dict SettingsStore::readDict(std::string_view key) const {
    const auto contents = snapshot();
    const Value* v = find(*contents, key);
    return v != nullptr && v->dict() != nullptr ? *v->dict() : Dict();
}

WriteResult SettingsStore::set(std::string_view key, Value value) {
    if (value.isNull()) {
        return remove(key);
    }
    return update([&](Dict& d) { d.insert_or_assign(std::string(key), std::move(value)); });
}

WriteResult SettingsStore::remove(std::string_view key) {
    return update([&](Dict& d) {
        if (const auto it = d.find(key); it != d.end()) {
            d.erase(it);
        }
    });
}

WriteResult SettingsStore::update(const std::function<void(Dict&)>& edit) {
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    if (ec) {
        return WriteResult::failure("cannot create " + file_.parent_path().string() + ": " +
                                    ec.message());
    }
    const WriteLock lock(lockFile_);
    if (!lock.locked()) {
        return WriteResult::failure("cannot lock " + lockFile_.string() + ": " +
                                    errnoText(lock.error()));
    }
    const Loaded loaded = load(true);
    if (!loaded.current) {
        // Committing now would replace what another program is in the middle of writing.
        return WriteResult::failure("settings file " + file_.string() +
                                    " is being rewritten by another program and cannot be read "
                                    "yet; nothing was changed");
    }
    const Dict& current = *loaded.contents;
    Dict changed = current;
    edit(changed);
    if (changed == current) {
        return {};
    }
    return commit(changed);
}

WriteResult SettingsStore::commit(const Dict& contents) {
    removeStaleTemporaries();
    const std::string text = toXmlPlist(Value(contents));
    std::string temporary = file_.string() + kTemporaryInfix + "XXXXXX";
    UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.valid()) {
        return WriteResult::failure("cannot write " + file_.string() + ": " + errnoText(errno));
    }
    struct stat st {};
    int error = writeAll(fd.get(), text);
    if (error == 0 && (::fsync(fd.get()) != 0 || ::fstat(fd.get(), &st) != 0)) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        return WriteResult::failure("cannot write " + file_.string() + ": " + errnoText(error));
    }
    if (::rename(temporary.c_str(), file_.c_str()) != 0) {
        error = errno;
        ::unlink(temporary.c_str());
        return WriteResult::failure("cannot replace " + file_.string() + ": " + errnoText(error));
    }
    // The rename itself must reach the disk before we call the write done.
    const UniqueFd folder(::open(file_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid()) {
        ::fsync(folder.get());
    }

    const std::lock_guard guard(mutex_);
    cache_ = std::make_shared<const Dict>(contents);
    identity_ = identityOf(st);
    unparsed_ = Identity{};
    keepOpen(std::move(fd));
    return {};
}

// A writer killed between creating its temporary file and renaming it leaves the temporary
// behind. Under the write lock no other writer has one open, so any we find is stale.
void SettingsStore::removeStaleTemporaries() const {
    if (temporariesChecked_.exchange(true)) {
        return;
    }
    const std::string prefix = file_.filename().string() + kTemporaryInfix;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(file_.parent_path(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) {
            std::filesystem::remove(entry.path(), ec);
        }
    }
}

// Holding the file we cached open keeps its inode allocated, so a later file can never reuse
// the inode number and, written within one clock tick with the same size, look unchanged.
void SettingsStore::keepOpen(UniqueFd fd) const {
    cachedFd_ = std::move(fd);
}

SettingsStore::~SettingsStore() = default;

std::uint64_t SettingsStore::parseCount() const {
    const std::lock_guard guard(mutex_);
    return parseCount_;
}

}  // namespace tf
