#include "extension/replace_prompt.h"

#include <filesystem>
#include <system_error>

#include "extension/alerts.h"
#include "extension/finder_sync.h"
#include "util/path_text.h"
#include "util/strings.h"

namespace tf {

bool replaceFileAlert(FinderSync& sync, const std::string& path,
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

}  // namespace tf
