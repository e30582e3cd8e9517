#include "fs/file_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
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

// Extended attributes of one item, name and value.
using Xattrs = std::vector<std::pair<std::string, std::string>>;

// An item reached by an open descriptor, or by its folder and name (links and special files,
// which are never opened).
struct Item {
    int fd = -1;
    int dir = -1;
    const char* name = "";
};

// For the attribute calls that take a path: the folder's descriptor stands in for its path,
// so nothing renamed meanwhile can redirect them, and the l* calls leave a link unfollowed.
std::string pathThroughFolder(const Item& item) {
    return "/proc/self/fd/" + std::to_string(item.dir) + "/" + item.name;
}

// Fills `out` through a call that reports the size it needs when given no buffer. The size
// can grow between the two calls (ERANGE), so a few rounds are allowed.
template <typename Call>
bool readSized(const Call& call, std::string& out) {
    for (int round = 0; round < 4; ++round) {
        const ssize_t wanted = call(nullptr, 0);
        if (wanted <= 0) {
            out.clear();
            return wanted == 0;
        }
        out.resize(static_cast<std::size_t>(wanted));
        const ssize_t got = call(out.data(), out.size());
        if (got >= 0) {
            out.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno != ERANGE) {
            return false;
        }
    }
    return false;
}

// The item's extended attributes, best effort: a file system without them gives none.
// security.* (labels, capabilities) is left to the new place unless asked for: a copy gets
// what its folder gives new items, a move keeps what the item had.
Xattrs readXattrs(const Item& item, bool withSecurity) {
    const std::string path = item.fd >= 0 ? std::string() : pathThroughFolder(item);
    std::string names;
    Xattrs found;
    const bool listed = readSized(
        [&](char* buffer, std::size_t size) {
            return item.fd >= 0 ? ::flistxattr(item.fd, buffer, size)
                                : ::llistxattr(path.c_str(), buffer, size);
        },
        names);
    if (!listed) {
        return found;
    }
    for (std::size_t at = 0; at < names.size();) {
        std::string key(names.c_str() + at);
        at += key.size() + 1;
        if (key.empty() || (!withSecurity && key.starts_with("security."))) {
            continue;
        }
        std::string value;
        const bool read = readSized(
            [&](char* buffer, std::size_t size) {
                return item.fd >= 0 ? ::fgetxattr(item.fd, key.c_str(), buffer, size)
                                    : ::lgetxattr(path.c_str(), key.c_str(), buffer, size);
            },
            value);
        if (read) {
            found.emplace_back(std::move(key), std::move(value));
        }
    }
    return found;
}

// 0, or the errno of an attribute the copy cannot do without. A target may refuse extended
// attributes altogether or for some kinds of item or name (ENOTSUP, EPERM); that is its
// nature, not a failure. A user.* attribute refused for another reason (no space left, too
// large) fails the copy: a move would lose it for good.
int writeXattrs(const Item& item, const Xattrs& xattrs) {
    if (xattrs.empty()) {
        return 0;
    }
    const std::string path = item.fd >= 0 ? std::string() : pathThroughFolder(item);
    for (const auto& [key, value] : xattrs) {
        const int written =
            item.fd >= 0 ? ::fsetxattr(item.fd, key.c_str(), value.data(), value.size(), 0)
                         : ::lsetxattr(path.c_str(), key.c_str(), value.data(), value.size(), 0);
        const int error = written == 0 ? 0 : errno;
        if (error != 0 && error != ENOTSUP && error != EPERM && key.starts_with("user.")) {
            return error;
        }
    }
    return 0;
}

// statx without following a link or setting off an automount.
bool statItem(int dir, const char* name, struct statx& out) {
    return ::statx(dir, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_SIZE,
                   &out) == 0;
}

bool statOpen(int fd, struct statx& out) {
    return ::statx(fd, "", AT_EMPTY_PATH, STATX_TYPE | STATX_SIZE, &out) == 0;
}

// Whether an item of a tree is the root of a mount of its own. The kernel says so directly
// (which also catches a bind mount from the same file system). Where it cannot, a folder on
// another device than the tree's is one; other items are not compared, as overlay file
// systems give their files the device of the layer they come from.
bool isMountPoint(const struct statx& item, const struct statx& root) {
    if ((item.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
        return (item.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    }
    return S_ISDIR(item.stx_mode) &&
           (item.stx_dev_major != root.stx_dev_major || item.stx_dev_minor != root.stx_dev_minor);
}

void refuseMountPoint(CopyResult& result, const std::string& path) {
    result.ok = false;
    result.error = EXDEV;
    result.failedPath = path;
    result.message = path + " is a mount point";
}

// What a look over a tree before copying it finds.
struct TreeScan {
    std::uint64_t bytes = 0;
    // The first mount point met, when asked to look for one.
    std::string mountPoint;
};

// Adds up the sizes of the regular files below an open folder (takes the descriptor) and, when
// asked, stops at the first mount point. Items it cannot look at are left to the copy.
void scanFolder(int folderFd, const std::string& path, const struct statx& root, bool findMounts,
                TreeScan& scan) {
    DirHandle dir(::fdopendir(folderFd));
    if (!dir) {
        ::close(folderFd);
        return;
    }
    const int fd = ::dirfd(dir.get());
    while (const dirent* entry = ::readdir(dir.get())) {
        struct statx info {};
        if (isDot(entry->d_name) || !statItem(fd, entry->d_name, info)) {
            continue;
        }
        if (findMounts && isMountPoint(info, root)) {
            scan.mountPoint = childPath(path, entry->d_name);
            return;
        }
        if (S_ISREG(info.stx_mode)) {
            scan.bytes += info.stx_size;
        } else if (S_ISDIR(info.stx_mode)) {
            const int child =
                ::openat(fd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0) {
                scanFolder(child, childPath(path, entry->d_name), root, findMounts, scan);
                if (!scan.mountPoint.empty()) {
                    return;
                }
            }
        }
    }
}

bool failRemoval(CopyResult& result, int error, const std::string& path) {
    if (error == ENOENT) {
        // Gone already: what a removal wants.
        return true;
    }
    result.ok = false;
    result.error = error != 0 ? error : EIO;
    result.failedPath = path;
    return false;
}

// Removes the source of a move once it is copied. It never leaves the source's mount: should
// something have been mounted inside since the copy looked, the removal stops there rather
// than empty what is mounted.
bool removeTree(int parentFd, const std::string& name, const std::string& path,
                const struct statx& root, CopyResult& result) {
    struct statx info {};
    if (!statItem(parentFd, name.c_str(), info)) {
        return failRemoval(result, errno, path);
    }
    if (isMountPoint(info, root)) {
        refuseMountPoint(result, path);
        return false;
    }
    if (S_ISDIR(info.stx_mode)) {
        const int fd =
            ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            return failRemoval(result, errno, path);
        }
        DirHandle dir(::fdopendir(fd));
        if (!dir) {
            const int error = errno;
            ::close(fd);
            return failRemoval(result, error, path);
        }
        // The opened folder is the one looked at, not something mounted on it since.
        if (!statOpen(fd, info) || isMountPoint(info, root)) {
            refuseMountPoint(result, path);
            return false;
        }
        // Names first: removing entries while reading the folder can skip some.
        std::vector<std::string> names;
        errno = 0;
        while (const dirent* entry = ::readdir(dir.get())) {
            if (!isDot(entry->d_name)) {
                names.emplace_back(entry->d_name);
            }
        }
        if (errno != 0) {
            return failRemoval(result, errno, path);
        }
        for (const std::string& child : names) {
            if (!removeTree(fd, child, childPath(path, child), root, result)) {
                return false;
            }
        }
    }
    const int flags = S_ISDIR(info.stx_mode) ? AT_REMOVEDIR : 0;
    return ::unlinkat(parentFd, name.c_str(), flags) == 0 || failRemoval(result, errno, path);
}

}  // namespace

int renameNoReplace(const std::string& from, const std::string& to) {
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

namespace {

// A target folder being filled. Its mode and times are set once the walk has passed it and
// the last of its files has been copied (creating entries would change its times again).
struct TargetFolder {
    UniqueFd out;
    struct stat info {};
    Xattrs xattrs;
    std::string sourcePath;
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
    // withinMount: refuse a source that is or holds a mount point (the copy of a move).
    Copier(const CopyOptions& options, bool withinMount)
        : options_(options),
          chunk_(options.chunkSize > 0 ? options.chunkSize : kDefaultChunk),
          withinMount_(withinMount) {}

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
        if (options_.progress || withinMount_) {
            const TreeScan scan = scanSource(sourceParent.get(), sourceName, info, source);
            if (!scan.mountPoint.empty()) {
                refuseMountPoint(result_, scan.mountPoint);
                return result_;
            }
            total_ = scan.bytes;
        }
        if (options_.progress) {
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

    // The bytes to copy and, for a move, the first mount point in the way.
    TreeScan scanSource(int sourceParent, const std::string& sourceName, const struct stat& info,
                        const std::string& source) {
        TreeScan scan;
        struct statx root {};
        struct statx top {};
        if (withinMount_ && statOpen(sourceParent, root) &&
            statItem(sourceParent, sourceName.c_str(), top) && isMountPoint(top, root)) {
            scan.mountPoint = source;
            return scan;
        }
        if (S_ISREG(info.st_mode)) {
            scan.bytes = static_cast<std::uint64_t>(info.st_size);
        } else if (S_ISDIR(info.st_mode)) {
            const int folder = ::openat(sourceParent, sourceName.c_str(),
                                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (folder >= 0) {
                scanFolder(folder, source, root, withinMount_, scan);
            }
        }
        return scan;
    }

    // Gives a copy the owner (when asked), extended attributes, mode and times of its
    // original. A new owner clears set-id bits and capabilities, so it goes first; the times go
    // last. Owner, mode and times are best effort: some file systems (FAT, network shares)
    // refuse them, and the content matters more than a mode bit. False when the copy failed.
    bool keepMetadata(const Item& target, const struct stat& info, const Xattrs& xattrs,
                      const std::string& sourcePath) {
        const bool opened = target.fd >= 0;
        if (options_.keepOwner) {
            [[maybe_unused]] const int owned =
                opened ? ::fchown(target.fd, info.st_uid, info.st_gid)
                       : ::fchownat(target.dir, target.name, info.st_uid, info.st_gid,
                                    AT_SYMLINK_NOFOLLOW);
        }
        if (const int error = writeXattrs(target, xattrs); error != 0) {
            return fail(error, sourcePath);
        }
        const mode_t mode = info.st_mode & 07777;
        if (opened) {
            ::fchmod(target.fd, mode);
        } else if (!S_ISLNK(info.st_mode)) {
            ::fchmodat(target.dir, target.name, mode, 0);
        }
        const timespec times[2] = {info.st_atim, info.st_mtim};
        if (opened) {
            ::futimens(target.fd, times);
        } else {
            ::utimensat(target.dir, target.name, times, AT_SYMLINK_NOFOLLOW);
        }
        return true;
    }

    Xattrs sourceXattrs(const Item& source) const {
        // Moves (which keep the owner) keep every attribute a rename would.
        return readXattrs(source, options_.keepOwner);
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
            return copySpecial(sourceDir, name, info, targetDir, targetName, sourcePath, top);
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
        folder->xattrs = sourceXattrs(Item{.fd = ::dirfd(dir.get())});
        folder->sourcePath = sourcePath;
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
            keepMetadata(Item{.fd = folder.out.get()}, folder.info, folder.xattrs,
                         folder.sourcePath);
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
        if (!copyData(in, out.get(), info, sourcePath) ||
            !keepMetadata(Item{.fd = out.get()}, info, sourceXattrs(Item{.fd = in}), sourcePath)) {
            return false;
        }
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

    // `info` is what the file was when it was opened: once that much is copied the end is not
    // asked for again (a file that reports no size is read to its end).
    bool copyData(int in, int out, const struct stat& info, const std::string& sourcePath) {
        const auto size = static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0));
        // Once refused for a file, the in-kernel copy is not asked again for its other pieces.
        bool inKernel = !noCopyRange_.load(std::memory_order_relaxed);
        // Fewer blocks than the size needs: there are holes to keep (or the file system packs
        // data, and the walk finds a single piece).
        if (size > 0 && static_cast<std::uint64_t>(info.st_blocks) * 512 < size) {
            const Pieces pieces =
                copyPieces(in, out, static_cast<off_t>(size), inKernel, sourcePath);
            if (pieces != Pieces::unsupported) {
                return pieces == Pieces::copied;
            }
        }
        return copyRange(in, out, 0, size, inKernel, sourcePath);
    }

    enum class Pieces { copied, failed, unsupported };

    // Copies the data of a sparse file piece by piece and leaves its holes as holes; the
    // size is set at the end, which makes a trailing hole. Holes count as done for progress.
    Pieces copyPieces(int in, int out, off_t size, bool& inKernel, const std::string& sourcePath) {
        off_t at = 0;
        while (at < size) {
            if (stopRequested()) {
                return Pieces::failed;
            }
            off_t data = ::lseek(in, at, SEEK_DATA);
            if (data < 0) {
                const int error = errno;
                if (error == ENXIO) {
                    data = size;  // nothing but a hole from here on
                } else if (at == 0 && (error == EINVAL || error == EOPNOTSUPP)) {
                    return Pieces::unsupported;
                } else {
                    fail(error, sourcePath);
                    return Pieces::failed;
                }
            }
            data = std::min(data, size);
            off_t hole = size;
            if (data < size) {
                hole = ::lseek(in, data, SEEK_HOLE);
                if (hole < 0) {
                    fail(errno, sourcePath);
                    return Pieces::failed;
                }
                // A file changing under the copy could report no data here; take the rest.
                hole = hole > data ? std::min(hole, size) : size;
            }
            if (data > at) {
                addDone(static_cast<std::uint64_t>(data - at));
            }
            if (hole > data && !copyRange(in, out, data, static_cast<std::uint64_t>(hole - data),
                                          inKernel, sourcePath)) {
                return Pieces::failed;
            }
            at = hole;
        }
        if (::ftruncate(out, size) != 0) {
            fail(errno, sourcePath);
            return Pieces::failed;
        }
        return Pieces::copied;
    }

    // Copies `length` bytes at `offset` to the same place in the copy (0: up to the end of
    // the input), in the kernel where it can.
    bool copyRange(int in, int out, off_t offset, std::uint64_t length, bool& inKernel,
                   const std::string& sourcePath) {
        std::uint64_t copied = 0;
        loff_t inAt = offset;
        loff_t outAt = offset;
        std::vector<char> buffer;
        while (length == 0 || copied < length) {
            if (stopRequested()) {
                return false;
            }
            const auto step = static_cast<std::size_t>(
                length == 0 ? chunk_ : std::min<std::uint64_t>(chunk_, length - copied));
            ssize_t count = 0;
            if (inKernel) {
                count = ::copy_file_range(in, &inAt, out, &outAt, step, 0);
                if (count < 0) {
                    const int error = errno;
                    if (error == EINTR) {
                        continue;
                    }
                    const bool unsupported = error == EXDEV || error == ENOSYS ||
                                             error == EOPNOTSUPP || error == EINVAL ||
                                             error == EBADF || error == EPERM;
                    if (!unsupported || copied > 0) {
                        return fail(error, sourcePath);
                    }
                    if (error == ENOSYS) {
                        noCopyRange_ = true;
                    }
                    inKernel = false;
                    continue;
                }
                if (count == 0 && copied == 0) {
                    // Some files (in /proc, on FUSE) report nothing to copy this way but do
                    // give their content to read.
                    inKernel = false;
                    continue;
                }
            } else {
                if (buffer.empty()) {
                    buffer.resize(std::min(chunk_, kMaxBuffer));
                    // The in-kernel calls left the positions alone; the walk over holes did
                    // not. An input that cannot seek is read from where it is (its start).
                    if ((::lseek(in, inAt, SEEK_SET) < 0 && (errno != ESPIPE || inAt != 0)) ||
                        ::lseek(out, outAt, SEEK_SET) < 0) {
                        return fail(errno, sourcePath);
                    }
                }
                count = ::read(in, buffer.data(), std::min(step, buffer.size()));
                if (count < 0) {
                    if (errno == EINTR) {
                        continue;
                    }
                    return fail(errno, sourcePath);
                }
                const auto got = static_cast<std::size_t>(count);
                if (const int error = writeAll(out, std::string_view(buffer.data(), got));
                    error != 0) {
                    return fail(error, sourcePath);
                }
            }
            if (count == 0) {
                return true;
            }
            copied += static_cast<std::uint64_t>(count);
            addDone(static_cast<std::uint64_t>(count));
        }
        return true;
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
        return keepMetadata(Item{.dir = targetDir, .name = targetName.c_str()}, info,
                            sourceXattrs(Item{.dir = sourceDir, .name = name.c_str()}), sourcePath);
    }

    // Pipes, sockets and device nodes are made anew, not opened (opening a device can have
    // effects of its own).
    bool copySpecial(int sourceDir, const std::string& name, const struct stat& info, int targetDir,
                     const std::string& targetName, const std::string& sourcePath, bool top) {
        if (::mknodat(targetDir, targetName.c_str(), (info.st_mode & S_IFMT) | 0600,
                      info.st_rdev) != 0) {
            return fail(errno, sourcePath);
        }
        if (top) {
            createdTop_ = true;
        }
        return keepMetadata(Item{.dir = targetDir, .name = targetName.c_str()}, info,
                            sourceXattrs(Item{.dir = sourceDir, .name = name.c_str()}), sourcePath);
    }

    static constexpr unsigned kMaxWorkers = 4;
    static constexpr std::size_t kMaxQueued = 64;

    const CopyOptions& options_;
    std::size_t chunk_;
    bool withinMount_;
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
    if (!message.empty()) {
        return message;
    }
    if (error == 0) {
        return {};
    }
    return errnoText(error);
}

CopyResult copyItem(const std::string& source, const std::string& target,
                    const CopyOptions& options) {
    Copier copier(options, false);
    return copier.run(source, target);
}

CopyResult moveItem(const std::string& source, const std::string& target,
                    const CopyOptions& options) {
    RenameFunction renamer;
    {
        const std::lock_guard guard(g_renameMutex);
        renamer = g_rename;
    }
    const int error = renamer ? renamer(source, target) : renameNoReplace(source, target);
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
    result = Copier(across, true).run(source, target);
    if (!result.ok) {
        return result;
    }
    const auto [folder, name] = splitPath(source);
    const UniqueFd parent(openFolder(folder));
    struct statx root {};
    if (!parent.valid() || !statOpen(parent.get(), root)) {
        failRemoval(result, errno, source);
        return result;
    }
    removeTree(parent.get(), name, source, root, result);
    return result;
}

void setRenameFunctionForTesting(RenameFunction rename) {
    const std::lock_guard guard(g_renameMutex);
    g_rename = std::move(rename);
}

}  // namespace tf
