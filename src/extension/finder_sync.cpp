#include "extension/finder_sync.h"

#include <sys/stat.h>

#include <algorithm>

#include "extension/check_permit.h"
#include "extension/path_predicates.h"
#include "extension/rc_helper.h"
#include "extension/tag_path.h"
#include "model/menu_manager.h"
#include "model/queues.h"
#include "model/value.h"
#include "util/log.h"
#include "util/path_text.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {

std::optional<MenuKind> menuKindFromName(std::string_view name) {
    if (name == "items" || name == "0") {
        return MenuKind::Items;
    }
    if (name == "container" || name == "1") {
        return MenuKind::Container;
    }
    if (name == "sidebar" || name == "2") {
        return MenuKind::Sidebar;
    }
    if (name == "toolbar" || name == "3") {
        return MenuKind::Toolbar;
    }
    return std::nullopt;
}

namespace {

constexpr std::array<std::string_view, 6> kFileInfoKeys = {"All Info", "MD5",    "SHA1",
                                                           "SHA256",   "SHA512", "CRC32"};
constexpr std::array<std::string_view, 12> kConvertTargets = {"AppIcon.icns",
                                                              "OSX AppIconset",
                                                              "iOS AppIconset",
                                                              "iWatch AppIconset",
                                                              "Android AppIconset",
                                                              "PNG",
                                                              "JPEG",
                                                              "JP2",
                                                              "TIFF",
                                                              "BMP",
                                                              "GIF",
                                                              "PDF"};

RCMenuItem generatedItem(std::string_view key, std::string_view icon = {}) {
    RCMenuItem item;
    item.key = std::string(key);
    item.icon = std::string(icon);
    return item;
}

bool contains(const std::vector<std::string>& list, const std::string& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Trailing slashes go (a folder given as "/a/b/" is "/a/b"); "/" stays "/".
std::string normalisedPath(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

bool isFolderItem(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int groupValue(const std::string& group) {
    return static_cast<int>(tagValue(group));
}

}  // namespace

FinderSync::FinderSync(Ports ports) : ports_(ports) {
    // "Go Set" and the settings application's other starts go through this program's
    // workspace, so the headless one records them.
    Workspace* workspace = ports_.workspace;
    RCMenuManager::sharedInstance().setApplicationLauncher(
        [workspace](std::string_view) { return workspace->launchHostApplication({}); });
}

FinderSync::~FinderSync() {
    RCMenuManager::sharedInstance().setApplicationLauncher(nullptr);
}

void FinderSync::startService(const std::vector<std::string>& mountedVolumes) {
    setupDirectoryURLs(mountedVolumes);
    loadingCount_ = 0;
    const WriteResult cleared = RCMenuManager::sharedInstance().updateMenuKey(
        kMainListKey, "Cut Paste", "cutPaths", Value(Array{}));
    if (!cleared.ok) {
        logWarning("could not clear the cut list: " + cleared.error);
    }
}

std::vector<std::string> FinderSync::setupDirectoryURLs(
    const std::vector<std::string>& mountedVolumes) {
    std::vector<std::string> folders;
    if (RCMenuManager::sharedInstance().sharedDefaults().readBool("pref check3")) {
        for (const std::string& volume : mountedVolumes) {
            folders.push_back(normalisedPath(volume));
        }
    }
    folders.emplace_back("/");
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    directoryURLs_ = folders;
    return folders;
}

void FinderSync::setSelectedItemURLs(std::vector<std::string> paths) {
    selectedItemURLs_ = std::move(paths);
}

void FinderSync::setTargetURL(std::string path) {
    targetURL_ = std::move(path);
}

const std::vector<std::string>& FinderSync::selectURLs() {
    if (!selectURLs_) {
        std::vector<std::string> selection;
        for (const std::string& path : selectedItemURLs_) {
            selection.push_back(normalisedPath(path));
        }
        if (selection.empty() && isValid(targetURL_)) {
            selection.push_back(normalisedPath(targetURL_));
        }
        std::erase(selection, std::string("/"));
        selectURLs_ = std::move(selection);
    }
    return *selectURLs_;
}

// ---- Menu construction ------------------------------------------------------------------

bool FinderSync::isFiltered(const RCMenuItem& e, const CurrentFile& current) const {
    const std::size_t count = selectURLs_ ? selectURLs_->size() : 0;
    const bool hasCut = !e.cutPaths.empty();
    if (count == 0 && !e.isNotNeedURL) {
        return true;
    }
    if (isSelectURL_ && e.key == "Hide All Files") {
        return true;
    }
    if (e.isConvert() && !contains(e.formats, current.ext)) {
        return true;
    }
    if (e.isFileInfo() && (current.isFolder || !(count == 1 && isSelectURL_))) {
        return true;
    }
    if (e.isCutPaste() && !isSelectURL_ && !hasCut) {
        return true;
    }
    if (e.isColorPicker() && isSelectURL_) {
        return true;
    }
    if (!e.formats.empty() && !contains(e.formats, current.ext)) {
        return true;
    }
    if (e.isNeedFile && current.isFolder) {
        return true;
    }
    if (e.isNeedFolder && !current.isFolder) {
        return true;
    }
    if (e.isNeedSelectURL && !isSelectURL_) {
        return true;
    }
    if (e.children && e.children->empty()) {
        return true;
    }
    if (e.disabled) {
        return true;
    }
    if (!e.isValidParent()) {
        return true;
    }
    // Pasting into the folder the items were cut from would move nothing.
    if (!isSelectURL_ && e.isCutPaste() && hasCut &&
        current.path == deletingLastPathComponent(e.cutPaths.front())) {
        return true;
    }
    return false;
}

void FinderSync::fillChildren(RCMenuItem& e, const CurrentFile& current) {
    RCMenuManager& manager = RCMenuManager::sharedInstance();
    const std::vector<std::string>& selection = selectURLs();

    if (e.isFileInfo()) {
        std::vector<RCMenuItem> children;
        for (const std::string_view key : kFileInfoKeys) {
            children.push_back(generatedItem(key));
        }
        e.children = std::move(children);
    }
    if (e.isConvert()) {
        const std::string upperExt = toUpper(current.ext);
        std::vector<RCMenuItem> children;
        for (const std::string_view target : kConvertTargets) {
            const bool merge = target == "PDF" && selection.size() >= 2;
            if (target.find(upperExt) == std::string_view::npos || merge) {
                RCMenuItem child = generatedItem(target);
                if (merge) {
                    child.displayName = localized("Merge to PDF");
                }
                children.push_back(std::move(child));
            }
        }
        e.children = std::move(children);
    }

    if (e.isCommonPath()) {
        std::vector<RCMenuItem> paths = manager.commonPathMenuArray();
        for (RCMenuItem& path : paths) {
            path.children = RCHelper::commomPathNextMenuWithPath(path.path);
        }
        e.children = std::move(paths);
    } else if (e.isCommonApp()) {
        e.children = manager.commonAppMenuArray();
    } else if (e.isCommonScript()) {
        std::vector<RCMenuItem> scripts;
        for (RCMenuItem& s : manager.commonScriptMenuArray()) {
            if (s.isNeedFile && !s.isNeedFolder && current.isFolder) {
                continue;
            }
            if (s.isNeedFolder && !s.isNeedFile && !current.isFolder) {
                continue;
            }
            if (selection.empty() && (s.isNeedFile || s.isNeedFolder)) {
                continue;
            }
            if (!s.formats.empty() && !contains(s.formats, current.ext)) {
                continue;
            }
            scripts.push_back(std::move(s));
        }
        e.children = std::move(scripts);
    } else if (e.isFolderIcon()) {
        std::vector<RCMenuItem> icons = manager.folderIconMenuArray();
        if (hasCustomIcon(current.path)) {
            RCMenuItem recover = generatedItem("Recover Icon", "recover");
            recover.displayName = localized("Recover");
            icons.insert(icons.begin(), std::move(recover));
        }
        e.children = std::move(icons);
    }

    if (e.isMove() || e.isCopy() || e.isTerminalTo()) {
        std::vector<RCMenuItem> paths = manager.commonPathMenuArray();
        if (!e.isTerminalTo()) {
            for (RCMenuItem& path : paths) {
                // "Copy to" and "Move to" offer the same folders: list each once per menu.
                auto listed = childFolderListings_.find(path.path);
                if (listed == childFolderListings_.end()) {
                    listed = childFolderListings_
                                 .emplace(path.path,
                                          RCHelper::commomPathChildFolderItemWithPath(path.path))
                                 .first;
                }
                path.children = listed->second;
            }
        }
        paths.insert(paths.begin(), generatedItem("Select Folder", "choose"));
        e.children = std::move(paths);
    }

    if (e.isNewFile()) {
        std::vector<RCMenuItem> templates;
        for (RCMenuItem& t : manager.newFileTemplateMenuArray(false)) {
            if (t.isNewFileFromWindow() || !selection.empty()) {
                templates.push_back(std::move(t));
            }
        }
        if (isSelectURL_ && selection.size() == 1 && !current.isFolder) {
            templates.push_back(RCMenuItem::addToFileTemplate());
        }
        e.children = std::move(templates);
    }
}

std::optional<MenuList> FinderSync::getSubMenuWithChildren(const std::vector<RCMenuItem>& children,
                                                           const std::string& parentTag,
                                                           bool noImages) const {
    if (children.empty()) {
        return std::nullopt;
    }
    MenuList menu;
    menu.reserve(children.size());
    for (std::size_t j = 0; j < children.size(); ++j) {
        const RCMenuItem& k = children[j];
        if (k.disabled || k.isAddToMainMenu) {
            continue;
        }
        if (k.isSepLine()) {
            MenuNode separator;
            separator.key = k.key;
            separator.title = k.menuTitle();
            separator.separator = true;
            menu.push_back(std::move(separator));
            continue;
        }
        // Past the 99th position a tag would decode to another entry: leave it out.
        const std::optional<std::string> tagString = childTagString(parentTag, j + 1);
        if (!tagString) {
            continue;
        }
        MenuNode node;
        node.key = k.key;
        node.title = k.menuTitle();
        if (!noImages) {
            node.icon = k.menuIcon();
        }
        node.tag = tagValue(*tagString);
        if (k.children) {
            node.children = getSubMenuWithChildren(*k.children, *tagString, noImages);
        }
        menu.push_back(std::move(node));
    }
    return menu;
}

const MenuList& FinderSync::menuForMenuKind(MenuKind kind) {
    selectURLs_.reset();
    const std::vector<std::string>& selection = selectURLs();
    CurrentFile current;
    if (!selection.empty()) {
        isSelectURL_ = kind == MenuKind::Items;
        current.path = selection.front();
        current.ext = toLower(pathExtension(current.path));
        current.isFolder = isFolderItem(current.path);
    } else {
        // A flag left from an earlier request would change which entries show.
        isSelectURL_ = false;
    }

    RCMenuManager& manager = RCMenuManager::sharedInstance();
    auto entriesOwner = std::make_shared<std::vector<RCMenuItem>>(manager.menuItemArray());
    rightMenuArray_ = entriesOwner;
    menuId_ = ++lastMenuId_;
    childFolderListings_.clear();

    SettingsStore& settings = manager.sharedDefaults();
    const std::shared_ptr<const Dict> values = settings.snapshot();
    auto flag = [&values](std::string_view key) { return dictBool(*values, key); };
    const bool noTopImages = flag("pref check1");
    const bool noSettingsEntry = flag("pref check2");
    const bool noSubImages = flag("pref check4");
    const bool foldAll = flag("pref check7") && kind != MenuKind::Toolbar;
    const bool noFoldImage = flag("pref check8");
    const std::string foldName = dictString(*values, "fold menu name");

    MenuNode foldEntry;
    foldEntry.key = std::string(kFoldEntryKey);
    foldEntry.title = isValid(foldName) ? foldName : infoPlistText("CFBundleDisplayName");
    foldEntry.settingsAction = true;
    if (!noFoldImage) {
        foldEntry.icon = ImageRef::resource("trackfolio");
    }

    MenuList mainMenu;
    MenuList foldMenu;
    bool anyFolded = false;
    std::vector<RCMenuItem>& entries = *entriesOwner;
    // Positions past 99 cannot be encoded in a tag.
    const std::size_t count = std::min(entries.size(), kMaxTagPosition);
    for (std::size_t i = 0; i < count; ++i) {
        RCMenuItem& e = entries[i];
        if (isFiltered(e, current)) {
            continue;
        }
        std::string title = e.menuTitle();
        if (e.isCutPaste()) {
            const bool paste = !isSelectURL_ && !e.cutPaths.empty();
            title = localized(paste ? "Paste" : "Cut");
            e.icon = paste ? "paste" : "cut";
        } else if (e.isLockUnlock()) {
            const bool locked = isLocked(current.path);
            title = localized(locked ? "Unlock" : "Lock");
            e.icon = locked ? "unlock" : "lock";
        }

        MenuNode node;
        node.key = e.key;
        node.title = std::move(title);
        node.tag = static_cast<std::int64_t>(i + 1);
        const bool folded = e.isFoldUp && kind != MenuKind::Toolbar;
        if (!noTopImages) {
            node.icon = e.menuIcon();
        }
        fillChildren(e, current);
        if (e.children) {
            if (!noSettingsEntry && !folded && !foldAll) {
                e.children->push_back(RCMenuItem::setItem());
            }
            node.children =
                getSubMenuWithChildren(*e.children, topTagString(node.tag), noSubImages);
        }
        if (!foldAll && folded) {
            foldMenu.push_back(std::move(node));
            anyFolded = true;
        } else {
            mainMenu.push_back(std::move(node));
        }
    }

    menuHasFoldEntry_ = foldAll || anyFolded;
    if (foldAll) {
        foldEntry.children = std::move(mainMenu);
        menu_ = std::make_shared<const MenuList>(MenuList{std::move(foldEntry)});
    } else {
        if (anyFolded) {
            foldEntry.children = std::move(foldMenu);
            mainMenu.insert(mainMenu.begin(), std::move(foldEntry));
        }
        menu_ = std::make_shared<const MenuList>(std::move(mainMenu));
    }
    keepSnapshot(kind);
    return *menu_;
}

FinderSync::Snapshot FinderSync::currentRequest() const {
    Snapshot request;
    request.id = menuId_;
    request.selectedItemURLs = selectedItemURLs_;
    request.targetURL = targetURL_;
    request.selectURLs = selectURLs_;
    request.isSelectURL = isSelectURL_;
    request.rightMenuArray = rightMenuArray_;
    request.menu = menu_;
    request.menuHasFoldEntry = menuHasFoldEntry_;
    return request;
}

void FinderSync::resumeRequest(const Snapshot& request) {
    selectedItemURLs_ = request.selectedItemURLs;
    targetURL_ = request.targetURL;
    selectURLs_ = request.selectURLs;
    isSelectURL_ = request.isSelectURL;
    rightMenuArray_ = request.rightMenuArray;
    menu_ = request.menu;
    menuHasFoldEntry_ = request.menuHasFoldEntry;
    menuId_ = request.id;
}

void FinderSync::keepSnapshot(MenuKind kind) {
    Snapshot kept = currentRequest();
    kept.kind = kind;
    keptSnapshots_.push_back(std::move(kept));
    const auto sameKind = [kind](const Snapshot& s) { return s.kind == kind; };
    if (static_cast<std::size_t>(std::count_if(keptSnapshots_.begin(), keptSnapshots_.end(),
                                               sameKind)) > kKeptMenusPerKind) {
        keptSnapshots_.erase(std::find_if(keptSnapshots_.begin(), keptSnapshots_.end(), sameKind));
    }
}

bool FinderSync::restoreSnapshot(std::uint64_t id) {
    if (id == 0) {
        return false;
    }
    if (id == menuId()) {
        return true;
    }
    for (const Snapshot& kept : keptSnapshots_) {
        if (kept.id == id) {
            resumeRequest(kept);
            return true;
        }
    }
    return false;
}

void FinderSync::consumeSnapshot() {
    // One click per menu: neither the current state nor the kept copy answers it again.
    std::erase_if(keptSnapshots_, [this](const Snapshot& kept) { return kept.id == menuId_; });
    rightMenuArray_.reset();
}

// ---- Dispatch ---------------------------------------------------------------------------

bool FinderSync::activate(std::uint64_t id, std::int64_t tag) {
    if (!restoreSnapshot(id)) {
        logWarning("menu " + std::to_string(id) + " is not a current menu; nothing runs");
        return false;
    }
    if (tag == 0) {
        if (!menuHasFoldEntry_) {
            return false;
        }
        consumeSnapshot();
        goSet();
        return true;
    }
    return onMenuItemAction(tag);
}

bool FinderSync::canActivate(std::uint64_t id, std::int64_t tag) const {
    if (id == 0) {
        return false;
    }
    const MenuList* menu = nullptr;
    bool hasFoldEntry = false;
    if (id == menuId()) {
        menu = menu_.get();
        hasFoldEntry = menuHasFoldEntry_;
    } else {
        for (const Snapshot& kept : keptSnapshots_) {
            if (kept.id == id) {
                menu = kept.menu.get();
                hasFoldEntry = kept.menuHasFoldEntry;
                break;
            }
        }
    }
    if (!menu) {
        return false;
    }
    return tag == 0 ? hasFoldEntry : menuHasTag(*menu, tag);
}

bool FinderSync::onMenuItemAction(std::int64_t tag) {
    // Only tags of the menu just built decode against this snapshot; anything else (an old
    // menu, a hand-made tag) would run some other entry's command.
    if (!rightMenuArray_ || !menu_ || !menuHasTag(*menu_, tag)) {
        logWarning("tag " + std::to_string(tag) + " is not in the current menu; nothing runs");
        return false;
    }
    const std::vector<std::string> selection = selectURLs();
    std::vector<std::string> groups = decodeTag(tag);
    const int top = groupValue(groups.front());
    groups.erase(groups.begin());
    const RCMenuItem entry = (*rightMenuArray_)[static_cast<std::size_t>(top - 1)];
    // The snapshot belongs to this one click; commands hold copies of what they need.
    consumeSnapshot();

    if (entry.disabledAuth || selection.empty()) {
        readyStart(entry, std::move(groups));
    } else {
        const std::string folder = deletingLastPathComponent(selection.front());
        RCCheckPermit::checkPermitWithPath(
            folder, *ports_.ui, [&] { readyStart(entry, groups); }, [] {});
    }
    return true;
}

void FinderSync::readyStart(const RCMenuItem& entry, std::vector<std::string> groups) {
    if (entry.children && !entry.children->empty()) {
        dispatchSubmenu(entry, std::move(groups));
    } else {
        dispatchPlain(entry);
        useSuccess(entry);
    }
}

void FinderSync::dispatchSubmenu(const RCMenuItem& e, std::vector<std::string> groups) {
    const int n = groups.empty() ? 0 : groupValue(groups.front());
    if (n < 1) {
        return;
    }
    groups.erase(groups.begin());
    if (e.children->size() < static_cast<std::size_t>(n)) {
        return;
    }
    RCMenuItem child = (*e.children)[static_cast<std::size_t>(n - 1)];
    if (child.key == "Go Set") {
        goSet();
        return;
    }
    const int g = groups.empty() ? -1 : groupValue(groups.front()) - 1;
    std::optional<RCMenuItem> grandchild;
    if (child.children && g >= 0) {
        if (static_cast<std::size_t>(g) >= child.children->size()) {
            return;
        }
        grandchild = (*child.children)[static_cast<std::size_t>(g)];
    }

    CommandCall call;
    call.parent = e;
    call.item = child;
    if (e.isNewFile()) {
        call.id = CommandId::CreateFile;
    } else if (e.isCommonPath()) {
        call.id = CommandId::OpenCommonPath;
        call.path = child.path;
        call.grandchild = grandchild;
    } else if (e.isCommonApp()) {
        call.id = CommandId::OpenWithApp;
        call.item.tag = n - 1;
        if (!isValid(child.appName)) {
            useSuccess(e);
            return;
        }
    } else if (e.isCommonScript()) {
        call.id = CommandId::ExecuteScript;
    } else if (e.isFolderIcon()) {
        call.id = CommandId::SetFolderIcon;
    } else if (e.isConvert()) {
        call.id = CommandId::Convert;
        call.item.tag = n - 1;
    } else if (e.isFileInfo()) {
        call.id = CommandId::FileInfo;
        call.item.tag = n - 1;
    } else if (e.isCopy() || e.isMove()) {
        call.id = CommandId::MoveCopy;
        if (grandchild && isValid(grandchild->path)) {
            call.item = *grandchild;
        }
        call.isCopy = e.isCopy();
    } else if (e.isTerminalTo()) {
        call.id = CommandId::OpenServe;
        call.serve = e.serve;
        call.path = grandchild && isValid(grandchild->path) ? grandchild->path : child.path;
        if (!isValid(call.path)) {
            const std::optional<std::string> folder =
                RCCheckPermit::selectFolderWithPrompt(*ports_.ui, "");
            if (!folder) {
                useSuccess(e);
                return;
            }
            call.path = *folder;
        }
    } else {
        useSuccess(e);
        return;
    }
    invoke(call);
    useSuccess(e);
}

void FinderSync::dispatchPlain(const RCMenuItem& e) {
    CommandCall call;
    call.item = e;
    if (isValid(e.appName)) {
        call.id = CommandId::OpenWithApp;
    } else if (isValid(e.serve)) {
        call.id = CommandId::OpenServe;
        call.serve = e.serve;
    } else if (e.key == "Delete") {
        call.id = CommandId::DeletePath;
    } else if (e.key == "Copy Path") {
        call.id = CommandId::CopyPath;
    } else if (e.key == "System Hide Files") {
        call.id = CommandId::ShowSystemFiles;
    } else if (e.isShowHideFile) {
        call.id = CommandId::HideShowFiles;
    } else if (e.isLockUnlock()) {
        call.id = CommandId::LockUnlock;
    } else if (e.isCutPaste()) {
        call.id = CommandId::CutPaste;
    } else if (e.isMainMenuNewFile) {
        call.id = CommandId::CreateFile;
    } else if (isValid(e.script)) {
        call.id = CommandId::ExecuteScript;
    } else if (e.isCompress()) {
        call.id = CommandId::EncryptedCompress;
    } else if (e.isEmbedFolder()) {
        call.id = CommandId::EmbedFolder;
    } else if (e.isUnembedFolder()) {
        call.id = CommandId::UnembedFolder;
    } else if (e.isColorPicker()) {
        call.id = CommandId::ColorPicker;
    } else if (e.isExecuteScript()) {
        call.id = CommandId::ExecuteSelectedScripts;
    } else if (e.isExtractIcon()) {
        call.id = CommandId::ExtractIcon;
    } else if (e.isAirDrop() || e.isDesktopPicture()) {
        call.id = CommandId::HandOff;
    } else {
        return;
    }
    invoke(call);
}

void FinderSync::invoke(const CommandCall& call) {
    if (const CommandHandler* handler = commands_.find(call.id)) {
        (*handler)(*this, call);
    } else {
        notAvailable(call);
    }
}

void FinderSync::notAvailable(const CommandCall& call) {
    const RCMenuItem& shown = call.parent ? *call.parent : call.item;
    AlertRequest request;
    request.message = localized("Not Available");
    request.informative = localizedFormat("Not Available Tip", {shown.menuTitle()});
    request.style = AlertStyle::Informational;
    showAlert(request);
    logWarning("command " + std::string(commandName(call.id)) + " is not available yet");
}

void FinderSync::useSuccess(const RCMenuItem& entry) {
    SettingsStore& settings = RCMenuManager::sharedInstance().sharedDefaults();
    std::int64_t total = 0;
    bool reviewed = false;
    const WriteResult written = settings.update([&](Dict& values) {
        total = dictInteger(values, kUseCountKey) + 1;
        reviewed = dictBool(values, "is reviewed");
        values[std::string(kUseCountKey)] = Value(total);
        Dict perKey;
        if (const Value* stored = find(values, kUseCountByKeyKey); stored && stored->dict()) {
            perKey = *stored->dict();
        }
        perKey[entry.key] = Value(dictInteger(perKey, entry.key) + 1);
        values[std::string(kUseCountByKeyKey)] = Value(std::move(perKey));
    });
    if (!written.ok) {
        logWarning("usage tally not saved: " + written.error);
        return;
    }
    if (total % 30 == 3 && !reviewed) {
        foreQueue().post(
            [this] {
                AlertRequest request;
                request.message = localized("Review Tip");
                request.buttons = {localized("Go Review"), localized("Next Time")};
                request.style = AlertStyle::Informational;
                if (showAlert(request) == 0) {
                    goReview();
                }
            },
            reviewDelay_);
    }
}

void FinderSync::goSet() {
    if (!RCMenuManager::sharedInstance().openMainApp()) {
        AlertRequest request;
        request.message = localized("Open Settings Fail");
        request.informative = localized("Open Settings Fail Tip");
        showAlert(request);
    }
}

void FinderSync::goReview() {
    ports_.workspace->openUrl(std::string(kReviewPage));
    const WriteResult written =
        RCMenuManager::sharedInstance().sharedDefaults().set("is reviewed", Value(true));
    if (!written.ok) {
        logWarning("could not remember the review: " + written.error);
    }
}

int FinderSync::showAlert(const AlertRequest& request) {
    return ports_.ui->runAlert(request);
}

// ---- Busy counter -----------------------------------------------------------------------

void FinderSync::beginBusy() {
    ++loadingCount_;
    progressShown_ = true;
    ports_.progress->open();
}

void FinderSync::endBusy() {
    loadingCount_ = std::max(loadingCount_ - 1, 0);
    if (loadingCount_ == 0) {
        clean();
    }
}

void FinderSync::clean() {
    if (progressShown_) {
        progressShown_ = false;
        ports_.progress->close();
    }
}

void FinderSync::showSuccess(const std::string& message, std::function<void()> then) {
    progressShown_ = true;
    ports_.progress->showSuccess(message, [this, then = std::move(then)] {
        // The window has closed itself; `clean` must not close it a second time.
        progressShown_ = false;
        if (then) {
            then();
        }
    });
}

void FinderSync::runInBackground(std::function<void()> work, std::function<void()> done) {
    ++outstanding_;
    backQueue().post([this, work = std::move(work), done = std::move(done)]() mutable {
        work();
        foreQueue().post(
            [this, done = std::move(done)] {
                if (done) {
                    done();
                }
                --outstanding_;
            },
            {});
    });
}

}  // namespace tf
