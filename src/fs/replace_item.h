// Putting a new item in the place of an existing one without ever losing the old one on the
// way: the new item is made complete beside the target under a hidden temporary name and only
// then takes the target's place; the old item goes last. Whatever fails before that point
// leaves the old item exactly where and as it was.
#pragma once

#include <functional>
#include <string>

#include "fs/file_copy.h"

namespace tf {

enum class ReplaceWay { Copy, Move };

// Copies or moves source to target, in place of whatever is at target (a file, link or whole
// folder, of either kind). Without anything at target this is copyItem or moveItem. Refused
// (EINVAL, nothing touched) when the existing item is the source or a folder holding it. When
// a move across file systems has copied everything but could not remove all of the source,
// the new item is in place and the result reports the source, as moveItem does.
CopyResult replaceItem(const std::string& source, const std::string& target, ReplaceWay way,
                       const CopyOptions& options = {});

// Makes the new item with `make`, which must create the (free) path it is given and report
// how that went, then puts it in place of target as replaceItem does. A failed `make` must
// leave nothing behind.
using MakeItem = std::function<CopyResult(const std::string& staged)>;
CopyResult replaceItemWith(const std::string& target, const MakeItem& make);

// `item` is `other` itself or a folder holding it at any depth. Decided by device and inode
// of `item` and of every folder above `other`, so aliases through links, ".." and bind mounts
// are seen through. False when either does not exist.
bool isOrHolds(const std::string& item, const std::string& other);

}  // namespace tf
