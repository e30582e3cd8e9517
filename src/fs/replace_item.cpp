#include "fs/replace_item.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

#include "util/path_text.h"
#include "util/posix.h"
#include "util/text.h"

namespace tf {

namespace {

constexpr std::string_view kStagingPrefix = ".trackfolio-replace-";

bool sameItem(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool existsNoFollow(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

CopyResult failure(int error, std::string path) {
    CopyResult result;
    result.error = error;
    result.failedPath = std::move(path);
    return result;
}

// A free hidden name in the folder of target: the same file system, so putting the item in
// place later is a rename.
std::string stagingPath(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    for (;;) {
        std::string candidate = folder + std::string(kStagingPrefix) + uuid();
        // A folder that cannot even be looked into fails later, where the reason is reported.
        if (!existsNoFollow(candidate)) {
            return candidate;
        }
    }
}

void removeQuietly(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

struct Commit {
    // The new item is at the target.
    bool placed = false;
    // Why it is not, or, once placed, why the old item could not be removed.
    int error = 0;
    // Where the old item was left when it could not be removed.
    std::string leftover;
};

// Puts the staged item in the target's place, then removes the old item. Until the new item
// is in place the old one stays (or comes back) where it was.
Commit commit(const std::string& staged, const std::string& target) {
    Commit done;
    std::string old;
    if (::renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        old = staged;
    } else if (const int error = errno; error == ENOENT) {
        // The old item went away meanwhile.
        done.error = renameNoReplace(staged, target);
        done.placed = done.error == 0;
        return done;
    } else if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP) {
        done.error = error;
        return done;
    } else {
        // A file system without exchange: the old item steps aside under a name of its own,
        // so it can come back when the new one cannot take its place.
        old = stagingPath(target);
        done.error = renameNoReplace(target, old);
        if (done.error != 0) {
            return done;
        }
        done.error = renameNoReplace(staged, target);
        if (done.error != 0) {
            if (renameNoReplace(old, target) != 0) {
                done.leftover = old;
            }
            return done;
        }
    }
    done.placed = true;
    std::error_code ec;
    std::filesystem::remove_all(old, ec);
    if (ec) {
        done.error = ec.value();
        done.leftover = old;
    }
    return done;
}

// The result once the new item is in place: the old one may have resisted removal.
CopyResult placedResult(const Commit& done, CopyResult made) {
    return done.error != 0 ? failure(done.error, done.leftover) : made;
}

}  // namespace

CopyResult replaceItemWith(const std::string& target, const MakeItem& make) {
    const std::string trimmed = withoutTrailingSlashes(target);
    const std::string staged = stagingPath(trimmed);
    CopyResult made = make(staged);
    if (!made.ok) {
        return made;
    }
    const Commit done = commit(staged, trimmed);
    if (!done.placed) {
        removeQuietly(staged);
        return failure(done.error, done.leftover.empty() ? trimmed : done.leftover);
    }
    return placedResult(done, std::move(made));
}

CopyResult replaceItem(const std::string& source, const std::string& target, ReplaceWay way,
                       const CopyOptions& options) {
    const std::string trimmed = withoutTrailingSlashes(target);
    if (!existsNoFollow(trimmed)) {
        return way == ReplaceWay::Copy ? copyItem(source, trimmed, options)
                                       : moveItem(source, trimmed, options);
    }
    if (isOrHolds(trimmed, source)) {
        return failure(EINVAL, trimmed);
    }
    if (way == ReplaceWay::Copy) {
        return replaceItemWith(
            trimmed, [&](const std::string& staged) { return copyItem(source, staged, options); });
    }
    const std::string staged = stagingPath(trimmed);
    CopyResult moved = moveItem(source, staged, options);
    // A failed move leaves nothing at the staged name, unless only removing the source
    // failed: the copy is complete then and goes in place all the same.
    if (!moved.ok && !existsNoFollow(staged)) {
        return moved;
    }
    const Commit done = commit(staged, trimmed);
    if (!done.placed) {
        // Back where it came from, so nothing is lost.
        if (moved.ok && moveItem(staged, source).ok) {
            return failure(done.error, done.leftover.empty() ? trimmed : done.leftover);
        }
        return failure(done.error, staged);
    }
    return moved.ok ? placedResult(done, std::move(moved)) : moved;
}

bool isOrHolds(const std::string& item, const std::string& other) {
    struct stat held {};
    struct stat inner {};
    if (::lstat(item.c_str(), &held) != 0 || ::lstat(other.c_str(), &inner) != 0) {
        return false;
    }
    if (sameItem(held, inner)) {
        return true;
    }
    if (!S_ISDIR(held.st_mode)) {
        return false;
    }
    // Up from the folder of `other` through "..": the kernel's own idea of the parents,
    // whatever path text led there.
    const std::string trimmed = withoutTrailingSlashes(other);
    const std::size_t slash = trimmed.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : trimmed.substr(0, slash);
    UniqueFd current(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    // The bound only guards against a file system that never reaches its root.
    for (int depth = 0; current.valid() && depth < 4096; ++depth) {
        struct stat here {};
        if (::fstat(current.get(), &here) != 0) {
            return false;
        }
        if (sameItem(here, held)) {
            return true;
        }
        UniqueFd parent(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat above {};
        if (!parent.valid() || ::fstat(parent.get(), &above) != 0 || sameItem(above, here)) {
            return false;
        }
        current = std::move(parent);
    }
    return false;
}

}  // namespace tf
