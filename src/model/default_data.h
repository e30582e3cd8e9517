// RCDefaultData: the built-in lists, the first-run set-up, the per-list reset and the
// upgrade that merges entries of newer versions into lists the user has already edited.
#pragma once

#include <string_view>

#include "model/product.h"
#include "model/settings_store.h"
#include "model/value.h"

namespace tf {

class RCDefaultData {
  public:
    // First run: writes all six lists; a new version: upgrades five of them. Then makes sure
    // "common path next menu" is set. One locked read-modify-write of the shared settings.
    static WriteResult setup(std::string_view currentVersion = kProductVersion);

    static WriteResult recover();
    static WriteResult recoverRightMenu();
    static WriteResult recoverNewFile();
    static WriteResult recoverCommonApp();
    static WriteResult recoverFolderIcon();
    static WriteResult recoverCommonPath();
    static WriteResult recoverCommonScript();
    static WriteResult update();

    // Fresh default tables (the script table gets new keys for its shell scripts each time).
    static Array defaultMainMenu();
    static Array defaultNewFileMenu();
    static Array defaultCommonAppMenu();
    static Array defaultFolderIconMenu();
    static Array defaultCommonScriptMenu();

    // The welcome script (Python 3) with its texts filled in.
    static std::string welcomeScript();

    // The same steps on settings contents, for use inside one store update.
    static void recoverAll(Dict& settings);
    static void updateAll(Dict& settings);
    // Reset one list: entries marked "delete" dropped, version marks removed.
    static void addMenuKey(Dict& settings, std::string_view list, const Array& defaults);
    // Upgrade one list against the stored "update version".
    static void updateMenuKey(Dict& settings, std::string_view list, const Array& defaults);
};

}  // namespace tf
