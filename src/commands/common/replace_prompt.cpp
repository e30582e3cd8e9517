#include "commands/common/replace_prompt.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#include "commands/common/alerts.h"
#include "engine/finder_sync.h"
#include "util/path_text.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {

namespace {

std::string realFolder(const std::string& path) {
    struct FreeDeleter {
        void operator()(char* text) const { std::free(text); }
    };
    const std::unique_ptr<char, FreeDeleter> resolved(::realpath(path.c_str(), nullptr));
    return resolved ? std::string(resolved.get()) : std::string();
}

bool isAtOrBelow(const std::string& path, const std::string& folder) {
    if (path.empty() || folder.empty()) {
        return false;
    }
    return path == folder || startsWith(path, folder == "/" ? folder : folder + "/");
}

bool ask(FinderSync& sync, const std::string& path, const std::string* sourcePath,
         const std::function<void(const std::string& finalPath)>& then) {
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
        then(path);
        return true;
    }
    AlertRequest request;
    request.informative = localizedFormat("Same FileName Tip", {lastPathComponent(path)});
    request.buttons = {localized("Keep Both"), localized("Stop"), localized("Replace")};
    request.style = AlertStyle::Critical;
    switch (sync.showAlert(request)) {
        case 0:
            then(uniquePath(path));
            return true;
        case 2:
            if (sourcePath != nullptr &&
                (isSameItem(path, *sourcePath) ||
                 isAtOrBelow(resolvedItemPath(*sourcePath), resolvedItemPath(path)))) {
                alertWithMsg(sync,
                             localizedFormat("Same Item Tip", {lastPathComponent(*sourcePath)}));
                return false;
            }
            std::filesystem::remove_all(path, ec);
            if (ec) {
                alertWithMsg(sync, localized("Error Common Tip"));
                return false;
            }
            then(path);
            return true;
        default:
            return false;
    }
}

}  // namespace

bool replaceFileAlert(FinderSync& sync, const std::string& path,
                      const std::function<void(const std::string& finalPath)>& then) {
    return ask(sync, path, nullptr, then);
}

bool replaceFileAlert(FinderSync& sync, const std::string& path, const std::string& sourcePath,
                      const std::function<void(const std::string& finalPath)>& then) {
    return ask(sync, path, &sourcePath, then);
}

std::string resolvedItemPath(const std::string& path) {
    const std::string trimmed = withoutTrailingSlashes(path);
    const std::string name = lastPathComponent(trimmed);
    if (trimmed == "/" || name.empty() || name == "." || name == "..") {
        return realFolder(trimmed);
    }
    const std::string folder = realFolder(deletingLastPathComponent(trimmed));
    if (folder.empty()) {
        return {};
    }
    return childPath(folder, name);
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
    return isAtOrBelow(realFolder(folder), resolvedItemPath(source));
}

}  // namespace tf
