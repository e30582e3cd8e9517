#include "fs/file_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "util/path_text.h"
#include "util/posix.h"

namespace tf {

namespace {

// Large steps keep the per-call cost out of the figures; progress still moves several times
// for a file of a few tens of megabytes.
constexpr std::size_t kDefaultChunk = std::size_t{16} << 20;
constexpr std::size_t kMaxBuffer = std::size_t{1} << 20;

std::mutex g_renameMutex;
RenameFunction g_rename;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Folder and last component; trailing slashes do not count. Empty name when there is none.
std::pair<std::string, std::string> splitPath(std::string_view given) {
    const std::string path = withoutTrailingSlashes(given);
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {".", path};
    }
    std::string name = path.substr(slash + 1);
    if (name == "." || name == "..") {
        name.clear();
    }
    return {slash == 0 ? std::string("/") : path.substr(0, slash), name};
}

int openFolder(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

bool isDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

int realRename(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    const int error = errno;
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP) {
        return error;
    }
    // Some file systems do not know RENAME_NOREPLACE (EINVAL is also a folder moved into
    // itself, which the plain rename reports again).
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0) {
        return EEXIST;
    }
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// A target folder being filled. Its mode and times are set once the walk has passed it and
// the last of its files has been copied (creating entries would change its times again).
struct TargetFolder {
    UniqueFd out;
    struct stat info {};
    std::mutex mutex;
    int pending = 0;
    bool walked = false;
};

using SourceFolder = std::shared_ptr<DIR>;

// A regular file of a tree, copied by one of the workers.
struct FileJob {
    SourceFolder source;
    std::string name;
    struct stat info {};
    std::shared_ptr<TargetFolder> target;
    std::string sourcePath;
};

// Copies one item. In a tree, one thread walks the source and makes folders, links and
// special files while a few workers copy the regular files: creating a file costs a
// round trip through the file system's journal (or the network), and several in flight
// hide most of that wait.
class Copier {
  public:
    explicit Copier(const CopyOptions& options)
        : options_(options), chunk_(options.chunkSize > 0 ? options.chunkSize : kDefaultChunk) {}

    ~Copier() { stopWorkers(); }
    Copier(const Copier&) = delete;
    Copier& operator=(const Copier&) = delete;

    CopyResult run(const std::string& source, const std::string& target) {
        const auto [sourceFolder, sourceName] = splitPath(source);
        const auto [targetFolder, targetName] = splitPath(target);
        if (sourceName.empty() || targetName.empty()) {
            fail(EINVAL, sourceName.empty() ? source : target);
            return result_;
        }
        const UniqueFd sourceParent(openFolder(sourceFolder));
        if (!sourceParent.valid()) {
            fail(errno, source);
            return result_;
        }
        const UniqueFd targetParent(openFolder(targetFolder));
        if (!targetParent.valid()) {
            fail(errno, target);
            return result_;
        }
        struct stat info {};
        if (::fstatat(sourceParent.get(), sourceName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            fail(errno, source);
            return result_;
        }
        if (options_.progress) {
            if (S_ISREG(info.st_mode)) {
                total_ = static_cast<std::uint64_t>(info.st_size);
            } else if (S_ISDIR(info.st_mode)) {
                const int folder = ::openat(sourceParent.get(), sourceName.c_str(),
                                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (folder >= 0) {
                    total_ = countBytes(folder);
                }
            }
            addDone(0);
        }
        copyEntry(sourceParent.get(), sourceName, info, targetParent.get(), targetName, source,
                  true);
        stopWorkers();
        const std::lock_guard guard(resultMutex_);
        result_.ok = result_.error == 0 && !result_.cancelled;
        if (!result_.ok && createdTop_) {
            std::error_code ec;
            std::filesystem::remove_all(target, ec);
        }
        return result_;
    }

  private:
    bool fail(int error, const std::string& path) {
        const std::lock_guard guard(resultMutex_);
        if (!result_.cancelled && result_.error == 0) {
            result_.error = error != 0 ? error : EIO;
            result_.failedPath = path;
        }
        stop_ = true;
        return false;
    }

    bool stopRequested() {
        if (stop_.load(std::memory_order_relaxed)) {
            return true;
        }
        if (options_.cancel != nullptr && options_.cancel->load(std::memory_order_relaxed)) {
            const std::lock_guard guard(resultMutex_);
            if (result_.error == 0) {
                result_.cancelled = true;
            }
            stop_ = true;
            return true;
        }
        return false;
    }

    // Bytes of the regular files below an open folder (takes the descriptor).
    std::uint64_t countBytes(int folderFd) {
        DirHandle dir(::fdopendir(folderFd));
        if (!dir) {
            ::close(folderFd);
            return 0;
        }
        std::uint64_t bytes = 0;
        const int fd = ::dirfd(dir.get());
        while (const dirent* entry = ::readdir(dir.get())) {
            if (isDot(entry->d_name)) {
                continue;
            }
            struct stat info {};
            if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                continue;
            }
            if (S_ISREG(info.st_mode)) {
                bytes += static_cast<std::uint64_t>(info.st_size);
            } else if (S_ISDIR(info.st_mode)) {
                const int child =
                    ::openat(fd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (child >= 0) {
                    bytes += countBytes(child);
                }
            }
        }
        return bytes;
    }

    void keepMetadata(int fd, const struct stat& info) {
        // Metadata is best effort: some file systems (FAT, network shares) refuse it, and the
        // content matters more than a mode bit. The owner goes first because changing it
        // clears set-id bits.
        if (options_.keepOwner) {
            [[maybe_unused]] const int owned = ::fchown(fd, info.st_uid, info.st_gid);
        }
        ::fchmod(fd, info.st_mode & 07777);
        const timespec times[2] = {info.st_atim, info.st_mtim};
        ::futimens(fd, times);
    }

    // Opens a regular file or folder without following a link, and makes sure it is still
    // the item that was looked at.
    int openSource(int sourceDir, const std::string& name, const struct stat& info,
                   const std::string& sourcePath) {
        // O_NONBLOCK: an entry swapped for a pipe does not hang the copy.
        const int fd =
            ::openat(sourceDir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            fail(errno, sourcePath);
            return -1;
        }
        struct stat opened {};
        if (::fstat(fd, &opened) != 0 || opened.st_dev != info.st_dev ||
            opened.st_ino != info.st_ino || (opened.st_mode & S_IFMT) != (info.st_mode & S_IFMT)) {
            ::close(fd);
            fail(EAGAIN, sourcePath);
            return -1;
        }
        return fd;
    }

    bool copyEntry(int sourceDir, const std::string& name, const struct stat& info, int targetDir,
                   const std::string& targetName, const std::string& sourcePath, bool top) {
        if (stopRequested()) {
            return false;
        }
        if (S_ISLNK(info.st_mode)) {
            return copyLink(sourceDir, name, info, targetDir, targetName, sourcePath, top);
        }
        if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
            return copySpecial(info, targetDir, targetName, sourcePath, top);
        }
        const int in = openSource(sourceDir, name, info, sourcePath);
        if (in < 0) {
            return false;
        }
        if (S_ISDIR(info.st_mode)) {
            return copyFolder(in, info, targetDir, targetName, sourcePath, top);
        }
        const UniqueFd file(in);
        return copyFile(in, info, targetDir, targetName, sourcePath, top);
    }

    bool copyFolder(int sourceFd, const struct stat& info, int targetDir,
                    const std::string& targetName, const std::string& sourcePath, bool top) {
        DIR* opened = ::fdopendir(sourceFd);
        if (opened == nullptr) {
            const int error = errno;
            ::close(sourceFd);
            return fail(error, sourcePath);
        }
        const SourceFolder dir(opened, [](DIR* open) { ::closedir(open); });
        if (haveTargetRoot_ && info.st_dev == targetRootDev_ && info.st_ino == targetRootIno_) {
            // The copy has reached itself: the target lies inside the source.
            return fail(EINVAL, sourcePath);
        }
        // Private until filled, then given the original's mode.
        if (::mkdirat(targetDir, targetName.c_str(), 0700) != 0) {
            return fail(errno, sourcePath);
        }
        if (top) {
            createdTop_ = true;
        }
        auto folder = std::make_shared<TargetFolder>();
        folder->info = info;
        folder->out.reset(::openat(targetDir, targetName.c_str(),
                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder->out.valid()) {
            return fail(errno, sourcePath);
        }
        if (top) {
            struct stat made {};
            if (::fstat(folder->out.get(), &made) == 0) {
                haveTargetRoot_ = true;
                targetRootDev_ = made.st_dev;
                targetRootIno_ = made.st_ino;
            }
        }
        const int fd = ::dirfd(dir.get());
        bool ok = true;
        while (ok && !stopRequested()) {
            errno = 0;
            const dirent* entry = ::readdir(dir.get());
            if (entry == nullptr) {
                if (errno != 0) {
                    ok = fail(errno, sourcePath);
                }
                break;
            }
            if (isDot(entry->d_name)) {
                continue;
            }
            std::string name = entry->d_name;
            std::string entryPath = childPath(sourcePath, name);
            struct stat child {};
            if (::fstatat(fd, name.c_str(), &child, AT_SYMLINK_NOFOLLOW) != 0) {
                ok = fail(errno, entryPath);
            } else if (S_ISREG(child.st_mode)) {
                {
                    const std::lock_guard guard(folder->mutex);
                    ++folder->pending;
                }
                submit(FileJob{dir, std::move(name), child, folder, std::move(entryPath)});
            } else {
                ok = copyEntry(fd, name, child, folder->out.get(), name, entryPath, false);
            }
        }
        bool finish = false;
        {
            const std::lock_guard guard(folder->mutex);
            folder->walked = true;
            finish = folder->pending == 0;
        }
        if (finish) {
            finishFolder(*folder);
        }
        return ok && !stop_;
    }

    void finishFolder(TargetFolder& folder) {
        if (!stop_) {
            keepMetadata(folder.out.get(), folder.info);
        }
        folder.out.reset();
    }

    void runJob(FileJob& job) {
        if (!stopRequested()) {
            const int in =
                openSource(::dirfd(job.source.get()), job.name, job.info, job.sourcePath);
            if (in >= 0) {
                const UniqueFd file(in);
                copyFile(in, job.info, job.target->out.get(), job.name, job.sourcePath, false);
            }
        }
        bool finish = false;
        {
            const std::lock_guard guard(job.target->mutex);
            finish = --job.target->pending == 0 && job.target->walked;
        }
        if (finish) {
            finishFolder(*job.target);
        }
    }

    void submit(FileJob job) {
        std::unique_lock lock(queueMutex_);
        if (workers_.empty()) {
            const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
            const unsigned count = std::clamp(cores * 2, 2U, kMaxWorkers);
            for (unsigned i = 0; i < count; ++i) {
                workers_.emplace_back([this] { work(); });
            }
        }
        // A bounded queue keeps the folders waiting on jobs (and their descriptors) few.
        spaceReady_.wait(lock, [this] { return queue_.size() < kMaxQueued; });
        queue_.push_back(std::move(job));
        jobReady_.notify_one();
    }

    void work() {
        while (true) {
            std::optional<FileJob> job;
            {
                std::unique_lock lock(queueMutex_);
                jobReady_.wait(lock, [this] { return closing_ || !queue_.empty(); });
                if (queue_.empty()) {
                    return;
                }
                job = std::move(queue_.front());
                queue_.pop_front();
                spaceReady_.notify_one();
            }
            runJob(*job);
        }
    }

    void stopWorkers() {
        {
            const std::lock_guard guard(queueMutex_);
            closing_ = true;
        }
        jobReady_.notify_all();
        for (std::thread& worker : workers_) {
            worker.join();
        }
        workers_.clear();
    }

    bool copyFile(int in, const struct stat& info, int targetDir, const std::string& targetName,
                  const std::string& sourcePath, bool top) {
        UniqueFd out(::openat(targetDir, targetName.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!out.valid()) {
            return fail(errno, sourcePath);
        }
        if (top) {
            createdTop_ = true;
        }
        if (!copyData(in, out.get(), static_cast<std::uint64_t>(info.st_size), sourcePath)) {
            return false;
        }
        keepMetadata(out.get(), info);
        // A network file system may only report a failed write when the file is closed.
        if (const int error = out.close(); error != 0) {
            return fail(error, sourcePath);
        }
        return true;
    }

    void addDone(std::uint64_t bytes) {
        if (!options_.progress) {
            return;
        }
        // One report at a time, in order: the receiver keeps state between reports.
        const std::lock_guard guard(progressMutex_);
        done_ += bytes;
        options_.progress(done_, std::max(done_, total_));
    }

    // `size` is what the file held when it was opened: once that much is copied the end is
    // not asked for again (a file that reports no size is read to its end).
    bool copyData(int in, int out, std::uint64_t size, const std::string& sourcePath) {
        std::uint64_t copied = 0;
        bool inKernel = !noCopyRange_.load(std::memory_order_relaxed);
        std::vector<char> buffer;
        while (true) {
            if (stopRequested()) {
                return false;
            }
            if (inKernel) {
                const ssize_t count = ::copy_file_range(in, nullptr, out, nullptr, chunk_, 0);
                if (count < 0) {
                    const int error = errno;
                    if (error == EINTR) {
                        continue;
                    }
                    const bool unsupported = error == EXDEV || error == ENOSYS ||
                                             error == EOPNOTSUPP || error == EINVAL ||
                                             error == EBADF || error == EPERM;
                    if (unsupported && copied == 0) {
                        if (error == ENOSYS) {
                            noCopyRange_ = true;
                        }
                        inKernel = false;
                        continue;
                    }
                    return fail(error, sourcePath);
                }
                if (count == 0) {
                    // Some files (in /proc, on FUSE) report nothing to copy this way but do
                    // give their content to read.
                    if (copied == 0) {
                        inKernel = false;
                        continue;
                    }
                    return true;
                }
                copied += static_cast<std::uint64_t>(count);
                addDone(static_cast<std::uint64_t>(count));
                if (size > 0 && copied >= size) {
                    return true;
                }
                continue;
            }
            if (buffer.empty()) {
                buffer.resize(std::min(chunk_, kMaxBuffer));
            }
            const ssize_t count = ::read(in, buffer.data(), buffer.size());
            if (count < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return fail(errno, sourcePath);
            }
            if (count == 0) {
                return true;
            }
            const auto wanted = static_cast<std::size_t>(count);
            if (const int error = writeAll(out, std::string_view(buffer.data(), wanted));
                error != 0) {
                return fail(error, sourcePath);
            }
            copied += wanted;
            addDone(wanted);
        }
    }

    bool copyLink(int sourceDir, const std::string& name, const struct stat& info, int targetDir,
                  const std::string& targetName, const std::string& sourcePath, bool top) {
        std::string text(static_cast<std::size_t>(std::max<off_t>(info.st_size, 0)) + 1, '\0');
        while (true) {
            const ssize_t length = ::readlinkat(sourceDir, name.c_str(), text.data(), text.size());
            if (length < 0) {
                return fail(errno, sourcePath);
            }
            if (static_cast<std::size_t>(length) < text.size()) {
                text.resize(static_cast<std::size_t>(length));
                break;
            }
            // The link grew since it was looked at.
            text.resize(text.size() * 2);
        }
        if (::symlinkat(text.c_str(), targetDir, targetName.c_str()) != 0) {
            return fail(errno, sourcePath);
        }
        if (top) {
            createdTop_ = true;
        }
        if (options_.keepOwner) {
            [[maybe_unused]] const int owned = ::fchownat(
                targetDir, targetName.c_str(), info.st_uid, info.st_gid, AT_SYMLINK_NOFOLLOW);
        }
        const timespec times[2] = {info.st_atim, info.st_mtim};
        ::utimensat(targetDir, targetName.c_str(), times, AT_SYMLINK_NOFOLLOW);
        return true;
    }

    // Pipes, sockets and device nodes are made anew, not opened (opening a device can have
    // effects of its own).
    bool copySpecial(const struct stat& info, int targetDir, const std::string& targetName,
                     const std::string& sourcePath, bool top) {
        if (::mknodat(targetDir, targetName.c_str(), (info.st_mode & S_IFMT) | 0600,
                      info.st_rdev) != 0) {
            return fail(errno, sourcePath);
        }
        if (top) {
            createdTop_ = true;
        }
        if (options_.keepOwner) {
            [[maybe_unused]] const int owned = ::fchownat(
                targetDir, targetName.c_str(), info.st_uid, info.st_gid, AT_SYMLINK_NOFOLLOW);
        }
        ::fchmodat(targetDir, targetName.c_str(), info.st_mode & 07777, 0);
        const timespec times[2] = {info.st_atim, info.st_mtim};
        ::utimensat(targetDir, targetName.c_str(), times, AT_SYMLINK_NOFOLLOW);
        return true;
    }

    static constexpr unsigned kMaxWorkers = 4;
    static constexpr std::size_t kMaxQueued = 64;

    const CopyOptions& options_;
    std::size_t chunk_;
    // Touched by the walking thread only.
    bool createdTop_ = false;
    bool haveTargetRoot_ = false;
    dev_t targetRootDev_ = 0;
    ino_t targetRootIno_ = 0;

    std::atomic<bool> stop_{false};
    std::atomic<bool> noCopyRange_{false};
    std::mutex resultMutex_;
    CopyResult result_;
    std::mutex progressMutex_;
    std::uint64_t done_ = 0;
    std::uint64_t total_ = 0;

    std::mutex queueMutex_;
    std::condition_variable jobReady_;
    std::condition_variable spaceReady_;
    std::deque<FileJob> queue_;
    std::vector<std::thread> workers_;
    bool closing_ = false;
};

}  // namespace

std::string CopyResult::reason() const {
    if (cancelled) {
        return "cancelled";
    }
    if (error == 0) {
        return {};
    }
    return errnoText(error);
}

CopyResult copyItem(const std::string& source, const std::string& target,
                    const CopyOptions& options) {
    Copier copier(options);
    return copier.run(source, target);
}

CopyResult moveItem(const std::string& source, const std::string& target,
                    const CopyOptions& options) {
    RenameFunction renamer;
    {
        const std::lock_guard guard(g_renameMutex);
        renamer = g_rename;
    }
    const int error = renamer ? renamer(source, target) : realRename(source, target);
    CopyResult result;
    if (error == 0) {
        result.ok = true;
        return result;
    }
    if (error != EXDEV) {
        result.error = error;
        result.failedPath = source;
        return result;
    }
    CopyOptions across = options;
    across.keepOwner = true;
    result = copyItem(source, target, across);
    if (!result.ok) {
        return result;
    }
    std::error_code ec;
    std::filesystem::remove_all(source, ec);
    if (ec) {
        result.ok = false;
        result.error = ec.value();
        result.failedPath = source;
    }
    return result;
}

void setRenameFunctionForTesting(RenameFunction rename) {
    const std::lock_guard guard(g_renameMutex);
    g_rename = std::move(rename);
}

}  // namespace tf
