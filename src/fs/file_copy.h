// Copying and moving files and folder trees. A copy keeps permission bits, access and
// modification times, extended attributes and the holes of sparse files, recreates symbolic
// links as links (it never follows one, so a link cannot lead the copy out of the tree), and
// never writes over anything that already exists: the caller decides about existing items
// before asking for a copy.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tf {

struct CopyOptions {
    // Called with the bytes of file content copied so far and the total of the item (sizes
    // of its regular files). A tree is copied by several threads: the calls come from any of
    // them, but one at a time and with `done` never decreasing.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
    // Checked between steps; once set, the copy stops, removes what it made so far and
    // reports itself cancelled.
    const std::atomic<bool>* cancel = nullptr;
    // Bytes copied per step (0: a large default). Smaller steps report progress more often.
    std::size_t chunkSize = 0;
    // Give the copies the owner and group of the originals where allowed (moves do).
    bool keepOwner = false;
};

struct CopyResult {
    bool ok = false;
    bool cancelled = false;
    // errno of the failure (0 when ok or cancelled).
    int error = 0;
    // The path the failure concerns (an item inside a tree, or the target).
    std::string failedPath;
    // A reason no errno value tells ("<path> is a mount point"); empty otherwise.
    std::string message;

    // A short English reason for logs and alerts ("No such file or directory").
    std::string reason() const;
};

// Copies source (a file, link, special file or folder tree) to target, which must not exist
// yet; its folder must. A folder cannot be copied into itself (EINVAL). On failure or
// cancel, whatever the copy created is removed again and the source is untouched.
CopyResult copyItem(const std::string& source, const std::string& target,
                    const CopyOptions& options = {});

// Moves source to target without ever replacing an existing target (EEXIST). A rename
// where possible; across file systems a copy (owner kept where allowed) followed by removal
// of the source. Such a move never crosses a mount point: a source that is or holds one is
// refused before anything is made or removed (EXDEV, with the mount point as failedPath and
// a message). When the copy fails, the source stays as it was; when only the removal fails,
// the copy stays in place and the result reports the item that could not go.
CopyResult moveItem(const std::string& source, const std::string& target,
                    const CopyOptions& options = {});

// rename(2) that never replaces an existing target (EEXIST), also on file systems without
// RENAME_NOREPLACE. 0 on success, otherwise an errno value.
int renameNoReplace(const std::string& from, const std::string& to);

// What moveItem renames with: 0 on success, otherwise an errno value. It must not replace
// an existing target. Null restores the real one; tests use it to stand for another file
// system (EXDEV) or a refusal.
using RenameFunction = std::function<int(const std::string& from, const std::string& to)>;
void setRenameFunctionForTesting(RenameFunction rename);

}  // namespace tf
