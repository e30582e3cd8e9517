#include "commands/common/replace_prompt.h"

#include <sys/stat.h>

#include "commands/common/alerts.h"
#include "engine/finder_sync.h"
#include "fs/replace_item.h"
#include "util/path_text.h"
#include "util/strings.h"

namespace tf {

namespace {

bool existsNoFollow(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

PlaceAnswer ask(FinderSync& sync, const std::string& path, const std::string* sourcePath,
                const PlaceFunction& then) {
    if (!existsNoFollow(path)) {
        then({path, false});
        return PlaceAnswer::Placed;
    }
    AlertRequest request;
    request.informative = localizedFormat("Same FileName Tip", {lastPathComponent(path)});
    request.buttons = {localized("Keep Both"), localized("Stop"), localized("Replace")};
    request.style = AlertStyle::Critical;
    switch (sync.showAlert(request)) {
        case 0:
            then({uniquePath(path), false});
            return PlaceAnswer::Placed;
        case 2:
            if (sourcePath != nullptr && isOrHolds(path, *sourcePath)) {
                alertWithMsg(sync,
                             localizedFormat("Same Item Tip", {lastPathComponent(*sourcePath)}));
                return PlaceAnswer::Refused;
            }
            then({path, true});
            return PlaceAnswer::Placed;
        default:
            return PlaceAnswer::Stopped;
    }
}

}  // namespace

PlaceAnswer replaceFileAlert(FinderSync& sync, const std::string& path, const PlaceFunction& then) {
    return ask(sync, path, nullptr, then);
}

PlaceAnswer replaceFileAlert(FinderSync& sync, const std::string& path,
                             const std::string& sourcePath, const PlaceFunction& then) {
    return ask(sync, path, &sourcePath, then);
}

bool isSameItem(const std::string& first, const std::string& second) {
    struct stat a {};
    struct stat b {};
    return ::lstat(first.c_str(), &a) == 0 && ::lstat(second.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool isInsideItself(const std::string& source, const std::string& folder) {
    struct stat info {};
    if (::lstat(source.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return false;
    }
    // The folder itself counts: its last component is followed, as a move into it would.
    return isOrHolds(source, withoutTrailingSlashes(folder) + "/.");
}

}  // namespace tf
