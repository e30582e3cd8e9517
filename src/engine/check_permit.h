// RCCheckPermit: may the menu service work in a folder? A stored grant covers it, or this
// process may write there; otherwise the user is asked once for a folder to grant.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/ports.h"

namespace tf {

class RCCheckPermit {
  public:
    // A stored grant covers the path, or (no sandbox here) this process may read it.
    static bool checkPermitWithPath(const std::string& path);
    // Calls `success` when a grant covers the folder or it is writable; otherwise asks for a
    // folder with the chooser, stores the chosen one as a grant and calls `success`, or calls
    // `failure` on cancel. An empty path calls neither. Both run before this returns.
    static void checkPermitWithPath(const std::string& folder, UserInterface& ui,
                                    const std::function<void()>& success,
                                    const std::function<void()>& failure);
    // The chosen folder, or nothing on cancel.
    static std::optional<std::string> selectFolderWithPrompt(UserInterface& ui,
                                                             const std::string& prompt);
    // Explains that the folder cannot be read or written; the first button opens it in the
    // file manager so the user can change its permissions.
    static void accessPrivacy(UserInterface& ui, Workspace& workspace, const std::string& folder);
};

}  // namespace tf
