// File-system questions that tests running as root cannot otherwise make fail: whether this
// process may write a path, and listing a folder. Programs use the real checks; tests
// replace them.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tf {

using WritableCheck = std::function<bool(const std::string& path)>;
// Names of a folder's direct entries in listing order, or nothing when it cannot be read.
using FolderLister = std::function<std::optional<std::vector<std::string>>(const std::string&)>;

bool isWritablePath(const std::string& path);
std::optional<std::vector<std::string>> listFolder(const std::string& path);

// Null restores the real behaviour.
void setWritableCheck(WritableCheck check);
void setFolderLister(FolderLister lister);

// The XDG user folder of a kind ("DESKTOP", "DOCUMENTS", ...) from user-dirs.dirs, with the
// usual defaults ("~/Desktop"); empty when unknown and no home folder exists.
std::string xdgUserDir(std::string_view kind);

}  // namespace tf
