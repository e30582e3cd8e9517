#include "model/menu_manager.h"

#include <sys/stat.h>

#include <system_error>

#include "model/catalogue_edit.h"
#include "util/path_text.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {

namespace {

std::vector<std::string> stringArray(const Dict& d, std::string_view key) {
    std::vector<std::string> out;
    const Value* v = find(d, key);
    if (v == nullptr || v->array() == nullptr) {
        return out;
    }
    for (const Value& item : *v->array()) {
        if (const std::string* s = item.string()) {
            out.push_back(*s);
        }
    }
    return out;
}

// "formats" is stored as one comma-joined string; any other type is not split.
void readFormats(const Dict& d, RCMenuItem& r) {
    const Value* v = find(d, "formats");
    if (v != nullptr && v->string() != nullptr && isValid(*v->string())) {
        r.formats = split(*v->string(), ',');
    }
}

// A twin stands for an entry of another list and carries that entry's key, so its key is
// resolved in that list: a twin never takes the meaning of a built-in main-list key.
KeyList listOfMainListEntry(const RCMenuItem& r) {
    if (isValid(r.appName) || isValid(r.script)) {
        return KeyList::Other;
    }
    return r.isMainMenuNewFile ? KeyList::Templates : KeyList::Main;
}

// Derived fields of main-list entries: the key table's row, or the application twin's.
void deriveMainListFields(RCMenuItem& r, const Dict& d, std::vector<RCMenuItem>& belongApps) {
    if (isValid(r.appName)) {
        r.isNotNeedURL = true;
        belongApps.push_back(r);
        return;
    }
    const MenuKeyRow& row = menuKeyRow(r.menuKey);
    const auto has = [&row](KeyFlags flag) { return (row.flags & flag) != 0; };
    if (has(kNeedSelectURL)) {
        r.isNeedSelectURL = true;
    }
    if (has(kNotNeedURL)) {
        r.isNotNeedURL = true;
    }
    if (has(kNeedFolder)) {
        r.isNeedFolder = true;
    }
    if (has(kDisabledAuth)) {
        r.disabledAuth = true;
    }
    if (has(kShowHideFile)) {
        r.isShowHideFile = true;
    }
    if (!row.serve.empty()) {
        r.serve = std::string(row.serve);
    }
    if (!row.formats.empty()) {
        r.formats.assign(row.formats.begin(), row.formats.end());
    }
    if (!row.marker.empty()) {
        r.command = std::string(row.marker);
    }
    if (has(kKeepsCutPaths)) {
        r.cutPaths = stringArray(d, "cutPaths");
    }
    if (has(kBelongsToApps)) {
        belongApps.push_back(r);
    }
}

// Icon and template files of list entries are removed with the entry, but only our own
// copies in the shared folder: a path that points elsewhere names a file of the user's.
void deleteOwnedFile(const std::string& path, const std::string& sharedFolder) {
    if (!isValid(path) || sharedFolder.empty()) {
        return;
    }
    std::error_code ec;
    const auto file = std::filesystem::weakly_canonical(path, ec);
    const auto folder = std::filesystem::weakly_canonical(sharedFolder, ec);
    if (ec) {
        return;
    }
    const std::string prefix = folder.string() + "/";
    if (file.string().compare(0, prefix.size(), prefix) != 0) {
        return;
    }
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(path, ec))) {
        std::filesystem::remove(path, ec);
    }
}

}  // namespace

RCMenuManager& RCMenuManager::sharedInstance() {
    static RCMenuManager instance;
    return instance;
}

RCMenuManager::RCMenuManager() {
    reloadFromEnvironment();
}

void RCMenuManager::reloadFromEnvironment() {
    paths_ = StorePaths::fromEnvironment();
    shared_ = std::make_unique<SettingsStore>(paths_.sharedSettingsFile());
    privateHost_ = std::make_unique<SettingsStore>(paths_.privateSettingsFile(Deliverable::Host));
    privateExtension_ =
        std::make_unique<SettingsStore>(paths_.privateSettingsFile(Deliverable::Extension));
    belongAppMenuArray_.clear();
}

SettingsStore& RCMenuManager::sharedDefaults() {
    return *shared_;
}

SettingsStore& RCMenuManager::privateDefaults() {
    return runningDeliverable() == Deliverable::Host ? *privateHost_ : *privateExtension_;
}

std::string RCMenuManager::sharedFolder() {
    if (paths_.sharedFolder.empty()) {
        return {};
    }
    std::error_code ec;
    std::filesystem::create_directories(paths_.sharedFolder, ec);
    return paths_.sharedFolder.string();
}

std::string RCMenuManager::createFolderName(std::string_view name) {
    const std::string folder = sharedFolder();
    if (folder.empty()) {
        return {};
    }
    const std::string path = childPath(folder, name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        ::mkdir(path.c_str(), 0755);
    }
    return path;
}

bool RCMenuManager::existKey(std::string_view key, const std::vector<RCMenuItem>& items) {
    for (const RCMenuItem& item : items) {
        if (item.key == key) {
            return true;
        }
    }
    return false;
}

std::vector<RCMenuItem> RCMenuManager::loadList(
    std::string_view list, bool keepDisabled,
    const std::function<void(const Dict&, RCMenuItem&)>& fill) {
    const bool host = runningDeliverable() == Deliverable::Host;
    const auto settings = sharedDefaults().snapshot();
    std::vector<RCMenuItem> result;
    const Value* stored = find(*settings, list);
    if (stored == nullptr || stored->array() == nullptr) {
        return result;
    }
    result.reserve(stored->array()->size());
    for (const Value& entry : *stored->array()) {
        const Dict* d = entry.dict();
        if (d == nullptr) {
            continue;
        }
        RCMenuItem r;
        r.disabled = dictBool(*d, "disabled");
        if (r.disabled && !host && !keepDisabled) {
            continue;
        }
        fill(*d, r);
        result.push_back(std::move(r));
    }
    return result;
}

std::vector<RCMenuItem> RCMenuManager::menuItemArray() {
    belongAppMenuArray_.clear();
    const bool host = runningDeliverable() == Deliverable::Host;
    const auto settings = sharedDefaults().snapshot();
    std::vector<RCMenuItem> result;
    const Value* stored = find(*settings, kMainListKey);
    if (stored == nullptr || stored->array() == nullptr) {
        return result;
    }
    result.reserve(stored->array()->size());
    for (const Value& entry : *stored->array()) {
        const Dict* dp = entry.dict();
        if (dp == nullptr) {
            continue;
        }
        const Dict& d = *dp;
        RCMenuItem r;
        r.disabled = dictBool(d, "disabled");
        r.key = dictString(d, "key");
        if (!isValid(r.key) || (r.disabled && !host)) {
            continue;
        }
        r.icon = dictString(d, "icon");
        r.iconPath = dictString(d, "iconPath");
        r.appName = dictString(d, "appName");
        r.displayName = dictString(d, "displayName");
        r.isAddToMainMenu = dictBool(d, "toMainMenu");
        r.disabledAuth = dictBool(d, "disabledAuth");
        r.isFoldUp = dictBool(d, "foldUp");
        r.isMainMenuNewFile = dictBool(d, "mainMenuNewFile");
        r.ext = dictString(d, "ext");
        r.fileName = dictString(d, "fileName");
        r.templatePath = dictString(d, "templatePath");
        r.isSpecialFile = dictBool(d, "special");
        r.script = dictString(d, "script");
        if (isValid(r.script)) {
            r.isNeedFolder = dictBool(d, "needFolder");
            r.isNeedFile = dictBool(d, "needFile");
            readFormats(d, r);
        }
        r.menuKey = menuKeyIn(listOfMainListEntry(r), r.key);
        deriveMainListFields(r, d, belongAppMenuArray_);
        if (host) {
            const std::string introduceKey = r.key + " Introduce";
            if (hasTranslation(introduceKey)) {
                r.introduce = localized(introduceKey);
            }
        }
        result.push_back(std::move(r));
    }
    return result;
}

std::vector<RCMenuItem> RCMenuManager::newFileTemplateMenuArray(bool keepDisabled) {
    return loadList(kTemplateListKey, keepDisabled, [](const Dict& d, RCMenuItem& r) {
        r.setKey(dictString(d, "key"), KeyList::Templates);
        r.icon = dictString(d, "icon");
        r.ext = dictString(d, "ext");
        r.fileName = dictString(d, "fileName");
        r.displayName = dictString(d, "displayName");
        r.templatePath = dictString(d, "templatePath");
        r.iconPath = dictString(d, "iconPath");
        r.isSpecialFile = dictBool(d, "special");
        r.isAddToMainMenu = dictBool(d, "toMainMenu");
    });
}

std::vector<RCMenuItem> RCMenuManager::folderIconMenuArray() {
    return loadList(kFolderIconListKey, false, [](const Dict& d, RCMenuItem& r) {
        r.key = dictString(d, "key");
        r.icon = dictString(d, "icon");
        r.iconPath = dictString(d, "iconPath");
        r.displayName = dictString(d, "displayName");
    });
}

std::vector<RCMenuItem> RCMenuManager::commonAppMenuArray() {
    return loadList(kAppListKey, false, [](const Dict& d, RCMenuItem& r) {
        r.key = dictString(d, "key");
        r.icon = dictString(d, "icon");
        r.iconPath = dictString(d, "iconPath");
        r.displayName = dictString(d, "displayName");
        r.isAddToMainMenu = dictBool(d, "toMainMenu");
        r.appName = dictString(d, "appName");
        if (!isValid(r.appName)) {
            r.appName = r.key;
        }
    });
}

std::vector<RCMenuItem> RCMenuManager::commonPathMenuArray() {
    return loadList(kPathListKey, false, [](const Dict& d, RCMenuItem& r) {
        r.icon = "folder";
        r.iconPath = dictString(d, "iconPath");
        r.isAddToMainMenu = dictBool(d, "toMainMenu");
        r.displayName = dictString(d, "displayName");
        r.path = standardizePath(dictString(d, "path"));
        r.key = dictString(d, "key");
        if (!isValid(r.key)) {
            r.key = r.path;
        }
    });
}

std::vector<RCMenuItem> RCMenuManager::commonScriptMenuArray() {
    return loadList(kScriptListKey, false, [](const Dict& d, RCMenuItem& r) {
        r.key = dictString(d, "key");
        r.ext = dictString(d, "ext");
        r.icon = dictString(d, "icon");
        r.iconPath = dictString(d, "iconPath");
        r.isAddToMainMenu = dictBool(d, "toMainMenu");
        r.displayName = dictString(d, "displayName");
        r.script = dictString(d, "script");
        r.isNeedFolder = dictBool(d, "needFolder");
        r.isNeedFile = dictBool(d, "needFile");
        readFormats(d, r);
    });
}

void RCMenuManager::setApplicationLauncher(ApplicationLauncher launcher) {
    launcher_ = std::move(launcher);
}

bool RCMenuManager::openMainApp() {
    return launcher_ && launcher_(kHostIdentifier);
}

WriteResult RCMenuManager::editList(std::string_view list,
                                    const std::function<void(Array&)>& edit) {
    return sharedDefaults().update([&](Dict& settings) {
        const Value* before = find(settings, list);
        const bool existed = before != nullptr && before->array() != nullptr;
        Array& entries = catalogue::listIn(settings, list);
        edit(entries);
        // An edit that finds nothing to change must not create a list: an empty main list
        // would tell the first-run set-up that the catalogue already exists.
        if (!existed && entries.empty()) {
            settings.erase(settings.find(list));
        }
    });
}

WriteResult RCMenuManager::addMenuKey(std::string_view list, const Dict& item, bool toTop) {
    return editList(list, [&](Array& l) { catalogue::addMenuKey(l, item, toTop); });
}

WriteResult RCMenuManager::removeMenuKey(std::string_view list, std::string_view itemKey) {
    std::optional<Dict> removed;
    WriteResult result =
        editList(list, [&](Array& l) { removed = catalogue::removeMenuKey(l, itemKey); });
    // Files go only once the entry is gone for good; twins in the main list own no files.
    if (result && removed && list != kMainListKey) {
        const std::string folder = sharedFolder();
        deleteOwnedFile(dictString(*removed, "iconPath"), folder);
        deleteOwnedFile(dictString(*removed, "templatePath"), folder);
    }
    return result;
}

WriteResult RCMenuManager::updateMenuKey(std::string_view list, std::string_view itemKey,
                                         const Dict& changes) {
    return editList(list, [&](Array& l) { catalogue::updateMenuKey(l, itemKey, changes); });
}

WriteResult RCMenuManager::updateMenuKey(std::string_view list, std::string_view itemKey,
                                         std::string_view attrKey, const Value& attrValue) {
    return editList(list,
                    [&](Array& l) { catalogue::updateMenuKey(l, itemKey, attrKey, attrValue); });
}

WriteResult RCMenuManager::replaceMenuKey(std::string_view list, const Dict& item) {
    return editList(list, [&](Array& l) { catalogue::replaceMenuKey(l, item); });
}

WriteResult RCMenuManager::changePositionMenuKey(std::string_view list, std::int64_t fromIndex,
                                                 std::int64_t toIndex) {
    return editList(list,
                    [&](Array& l) { catalogue::changePositionMenuKey(l, fromIndex, toIndex); });
}

}  // namespace tf
