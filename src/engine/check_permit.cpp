#include "engine/check_permit.h"

#include "fs/file_access.h"
#include "model/url_cache.h"
#include "util/path_text.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {

namespace {

std::optional<std::string> chooseFolder(UserInterface& ui, const FolderRequest& request) {
    auto chosen = ui.chooseFolder(request);
    if (chosen && chosen->empty()) {
        return std::nullopt;
    }
    return chosen;
}

}  // namespace

bool RCCheckPermit::checkPermitWithPath(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    // Without a sandbox a folder this process can read needs no grant to be listed; that
    // check is also the cheaper one.
    return isReadableFolder(path) ||
           RCURLCache::sharedInstance().urlWithAllowAccessToPath(path).has_value();
}

void RCCheckPermit::checkPermitWithPath(const std::string& folder, UserInterface& ui,
                                        const std::function<void()>& success,
                                        const std::function<void()>& failure) {
    if (folder.empty()) {
        return;
    }
    const auto succeed = [&] {
        if (success) {
            success();
        }
    };
    if (RCURLCache::sharedInstance().urlWithAllowAccessToPath(folder) || isWritablePath(folder)) {
        succeed();
        return;
    }
    // Inside the home folder the chooser starts there; elsewhere at the root, with a word on
    // why the user is asked.
    const std::string home = homeFolder();
    const bool underHome = !home.empty() && (folder == home || startsWith(folder, home + "/"));
    const FolderRequest request{localized("Authorization"),
                                underHome ? std::string() : localized("Auth Root Tip"),
                                underHome ? home : std::string("/")};
    if (const auto chosen = chooseFolder(ui, request)) {
        // Whatever the user picked becomes a grant; the caller finds out on its next write
        // whether it covers the folder.
        RCURLCache::sharedInstance().saveSecurityURL(*chosen);
        succeed();
    } else if (failure) {
        failure();
    }
}

std::optional<std::string> RCCheckPermit::selectFolderWithPrompt(UserInterface& ui,
                                                                 const std::string& prompt) {
    FolderRequest request;
    request.prompt = prompt;
    return chooseFolder(ui, request);
}

void RCCheckPermit::accessPrivacy(UserInterface& ui, Workspace& workspace,
                                  const std::string& folder) {
    AlertRequest request;
    request.message = localized("Tip");
    request.informative = localized("Auth Full Disk Access Tip");
    request.buttons = {localized("Authorization"), localized("Cancel")};
    if (ui.runAlert(request) == 0 && !folder.empty()) {
        workspace.openPath(folder);
    }
}

}  // namespace tf
