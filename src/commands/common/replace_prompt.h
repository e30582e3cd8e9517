// The overwrite question asked before a new or copied item lands on an existing name, and
// the path checks that keep a copy or move from destroying its own source.
#pragma once

#include <functional>
#include <string>

namespace tf {

class FinderSync;

// How the question ended.
enum class PlaceAnswer {
    // `then` was called: with the free path, the "Keep Both" variant, or for "Replace".
    Placed,
    // "Replace" was refused ("Same Item Tip" shown); the caller goes on with its next item.
    Refused,
    // "Stop" or no answer: the caller ends its whole batch.
    Stopped,
};

// Where a new item goes. With `replace` an item exists at `path` and is still there: the new
// item takes its place through replaceItem (fs/replace_item.h), which removes the old one only
// once the new one is complete.
struct Placement {
    std::string path;
    bool replace = false;
};
using PlaceFunction = std::function<void(const Placement& placement)>;

// Calls `then` with the path at once when nothing exists there. Otherwise asks (critical
// style, "Same FileName Tip" with the name): "Keep Both" calls `then` with the first free
// variant (name-1.ext, name-2.ext, ...), "Replace" calls it with the path to replace, "Stop"
// (or no answer) does nothing.
PlaceAnswer replaceFileAlert(FinderSync& sync, const std::string& path, const PlaceFunction& then);

// The same question before `sourcePath` is copied or moved to `path`. "Replace" is refused
// ("Same Item Tip") when the existing item is the source itself or a folder holding it:
// replacing it would destroy what is about to be copied or moved.
PlaceAnswer replaceFileAlert(FinderSync& sync, const std::string& path,
                             const std::string& sourcePath, const PlaceFunction& then);

// Both paths name the same file-system item (links not followed).
bool isSameItem(const std::string& first, const std::string& second);
// `folder` is the folder `source` or lies inside it (by device and inode, so through any
// alias), so copying or moving `source` into `folder` would put it inside itself. False
// when `source` is not a folder.
bool isInsideItself(const std::string& source, const std::string& folder);

}  // namespace tf
