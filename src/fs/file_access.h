// File-system questions that tests running as root cannot otherwise make fail: whether this
// process may write a path, and listing a folder. Programs use the real checks; tests
// replace them.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tf {

using WritableCheck = std::function<bool(const std::string& path)>;
// Names of a folder's direct entries in listing order, or nothing when it cannot be read.
using FolderLister = std::function<std::optional<std::vector<std::string>>(const std::string&)>;
using ReadableCheck = std::function<bool(const std::string& path)>;
// Receives one entry of a folder; returning false ends the listing.
using FolderEntryVisitor = std::function<bool(const std::string& name, bool isFolder)>;

bool isWritablePath(const std::string& path);
std::optional<std::vector<std::string>> listFolder(const std::string& path);
// Whether this process may list the folder and reach its entries.
bool isReadableFolder(const std::string& path);
// Streams the folder's entries in listing order ("." and ".." left out) and stops reading as
// soon as the visitor returns false, so a capped listing of a huge folder stays cheap.
// isFolder is true only for an entry that is itself a folder: a symbolic link to one is not.
// False when the folder cannot be read. Uses the FolderLister when one is installed.
bool forEachFolderEntry(const std::string& path, const FolderEntryVisitor& visit);

// The same, served from memory while the folder is unchanged (same device, inode,
// modification and change times), so menus that list the same folders on every request
// do not read them again. A folder changed within the last second is not kept, because a
// second change in the same clock tick would not show in its times.
bool forEachFolderEntryCached(const std::string& path, const FolderEntryVisitor& visit);
// How long a folder must have been left alone before its listing is kept (one second;
// tests shorten it).
void setListingCacheMinimumAge(std::chrono::milliseconds age);

// Null restores the real behaviour.
void setWritableCheck(WritableCheck check);
void setFolderLister(FolderLister lister);
void setReadableCheck(ReadableCheck check);

// The XDG user folder of a kind ("DESKTOP", "DOCUMENTS", ...) from user-dirs.dirs, with the
// usual defaults ("~/Desktop"); empty when unknown and no home folder exists.
std::string xdgUserDir(std::string_view kind);

}  // namespace tf
