// RCMenuManager: the single access point to the shared settings, the shared folder and the
// six catalogue lists, with the loaders that turn stored item dictionaries into
// RCMenuItem records and the editing operations that change the lists.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/menu_item.h"
#include "model/product.h"
#include "model/settings_store.h"
#include "model/store_paths.h"

namespace tf {

// Settings keys of the six lists.
inline constexpr std::string_view kMainListKey = "array right menu";
inline constexpr std::string_view kTemplateListKey = "array new file";
inline constexpr std::string_view kAppListKey = "array common app";
inline constexpr std::string_view kPathListKey = "array common path";
inline constexpr std::string_view kScriptListKey = "array common script";
inline constexpr std::string_view kFolderIconListKey = "array folder icon";

class RCMenuManager {
  public:
    // Launches an application by its identifier; true when something was started. Installed
    // by each program's main (the workspace port); absent in tests and one-shot tools.
    using ApplicationLauncher = std::function<bool(std::string_view identifier)>;

    static RCMenuManager& sharedInstance();

    // Re-resolves the store locations from the environment (TRACKFOLIO_HOME, XDG) and drops
    // every cached handle. Programs never need it; tests call it for each sandbox.
    void reloadFromEnvironment();

    SettingsStore& sharedDefaults();
    // The program's own settings ("trackfolio.plist" or "trackfolio-sync.plist").
    SettingsStore& privateDefaults();
    const StorePaths& paths() const { return paths_; }

    // Created on first request; empty when there is no home folder.
    std::string sharedFolder();
    std::string appIconFolder() { return createFolderName("RCAppIcon"); }
    std::string fileTemplateFolder() { return createFolderName("RCFileTemplate"); }
    std::string folderIconFolder() { return createFolderName("RCFolderIcon"); }
    std::string cacheFolder() { return createFolderName("RCCache"); }
    std::string configManagerFolder() { return createFolderName("RCConfigManager"); }
    // Shared folder + "/" + name, created when missing (parents are not created).
    std::string createFolderName(std::string_view name);

    static bool existKey(std::string_view key, const std::vector<RCMenuItem>& items);

    // Loaders. In the menu service switched-off entries are left out; the settings
    // application keeps them (its pages show them unchecked).
    std::vector<RCMenuItem> menuItemArray();
    std::vector<RCMenuItem> newFileTemplateMenuArray(bool keepDisabled);
    std::vector<RCMenuItem> folderIconMenuArray();
    std::vector<RCMenuItem> commonAppMenuArray();
    std::vector<RCMenuItem> commonPathMenuArray();
    std::vector<RCMenuItem> commonScriptMenuArray();
    // Terminal windows and application twins of the last main-list load, in list order.
    const std::vector<RCMenuItem>& belongAppMenuArray() const { return belongAppMenuArray_; }

    void setApplicationLauncher(ApplicationLauncher launcher);
    // Starts the settings application; false when no launcher could start it.
    bool openMainApp();

    // Catalogue editing: each is one locked read-copy-write of one list.
    WriteResult addMenuKey(std::string_view list, const Dict& item, bool toTop);
    WriteResult removeMenuKey(std::string_view list, std::string_view itemKey);
    WriteResult updateMenuKey(std::string_view list, std::string_view itemKey, const Dict& changes);
    // A null value removes the attribute.
    WriteResult updateMenuKey(std::string_view list, std::string_view itemKey,
                              std::string_view attrKey, const Value& attrValue);
    WriteResult replaceMenuKey(std::string_view list, const Dict& item);
    WriteResult changePositionMenuKey(std::string_view list, std::int64_t fromIndex,
                                      std::int64_t toIndex);

  private:
    RCMenuManager();

    std::vector<RCMenuItem> loadList(std::string_view list, bool keepDisabled,
                                     const std::function<void(const Dict&, RCMenuItem&)>& fill);
    WriteResult editList(std::string_view list, const std::function<void(Array&)>& edit);

    StorePaths paths_;
    std::unique_ptr<SettingsStore> shared_;
    std::unique_ptr<SettingsStore> privateHost_;
    std::unique_ptr<SettingsStore> privateExtension_;
    std::vector<RCMenuItem> belongAppMenuArray_;
    ApplicationLauncher launcher_;
};

}  // namespace tf
