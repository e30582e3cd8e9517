// The overwrite question asked before a new or copied item lands on an existing name, and
// the path checks that keep a copy or move from destroying its own source.
#pragma once

#include <functional>
#include <string>

namespace tf {

class FinderSync;

// Calls `then` with the path at once when nothing exists there. Otherwise asks (critical
// style, "Same FileName Tip" with the name): "Keep Both" calls `then` with the first free
// variant (name-1.ext, name-2.ext, ...), "Replace" removes the existing item and calls
// `then` with the path, "Stop" (or no answer) does nothing. A removal that fails is reported
// and `then` is not called. Returns whether `then` was called.
bool replaceFileAlert(FinderSync& sync, const std::string& path,
                      const std::function<void(const std::string& finalPath)>& then);

// The same question before `sourcePath` is copied or moved to `path`. "Replace" is refused
// ("Same Item Tip") when the existing item is the source itself or a folder holding it:
// removing it would destroy what is about to be copied or moved.
bool replaceFileAlert(FinderSync& sync, const std::string& path, const std::string& sourcePath,
                      const std::function<void(const std::string& finalPath)>& then);

// The path with the folders above its last component resolved (links, "." and ".."); the
// last component stays as it is, so a link there still names the link. Empty when that
// folder does not exist.
std::string resolvedItemPath(const std::string& path);
// Both paths name the same file-system item (links not followed).
bool isSameItem(const std::string& first, const std::string& second);
// `folder` is the folder `source` or lies inside it, so copying or moving `source` into
// `folder` would put it inside itself. False when `source` is not a folder.
bool isInsideItself(const std::string& source, const std::string& folder);

}  // namespace tf
