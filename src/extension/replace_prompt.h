// The overwrite question asked before a new or copied item lands on an existing name.
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

}  // namespace tf
