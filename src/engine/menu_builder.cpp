// Menu construction: which catalogue entries a request shows, their generated children and
// their tag paths.
#include <sys/stat.h>

#include <algorithm>

#include "engine/finder_sync.h"
#include "engine/path_predicates.h"
#include "engine/rc_helper.h"
#include "engine/tag_path.h"
#include "model/menu_manager.h"
#include "util/path_text.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {

namespace {

bool contains(const std::vector<std::string>& list, const std::string& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool isFolderItem(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool FinderSync::isFiltered(const RCMenuItem& e, const CurrentFile& current) const {
    const std::size_t count = selectURLs_ ? selectURLs_->size() : 0;
    const bool hasCut = !e.cutPaths.empty();
    if (count == 0 && !e.isNotNeedURL) {
        return true;
    }
    const KeyFlags flags = menuKeyRow(e.menuKey).flags;
    if (isSelectURL_ && (flags & kNotInItemMenu) != 0) {
        return true;
    }
    if (e.isConvert() && !contains(e.formats, current.ext)) {
        return true;
    }
    if ((flags & kSingleFileOnly) != 0 && (current.isFolder || !(count == 1 && isSelectURL_))) {
        return true;
    }
    if (e.isCutPaste() && !isSelectURL_ && !hasCut) {
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
    if (startsMissingApplication(e)) {
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
        for (const MenuKey key : kFileInfoChildren) {
            children.push_back(RCMenuItem::builtIn(key));
        }
        e.children = std::move(children);
    }
    if (e.isConvert()) {
        const std::string upperExt = toUpper(current.ext);
        std::vector<RCMenuItem> children;
        for (const MenuKey target : kConvertTargets) {
            const bool merge = target == MenuKey::PDF && selection.size() >= 2;
            if (menuKeyText(target).find(upperExt) == std::string_view::npos || merge) {
                RCMenuItem child = RCMenuItem::builtIn(target);
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
            std::vector<RCMenuItem> next = RCHelper::commomPathNextMenuWithPath(path.path);
            dropMissingApplications(next);
            path.children = std::move(next);
        }
        e.children = std::move(paths);
    } else if (e.isCommonApp()) {
        std::vector<RCMenuItem> apps = manager.commonAppMenuArray();
        dropMissingApplications(apps);
        e.children = std::move(apps);
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
            RCMenuItem recover = RCMenuItem::builtIn(MenuKey::RecoverIcon);
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
        paths.insert(paths.begin(), RCMenuItem::builtIn(MenuKey::SelectFolder));
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

void FinderSync::learnApplications(const std::vector<RCMenuItem>& entries) {
    std::vector<std::string> unknown;
    for (const RCMenuItem& e : entries) {
        if (isValid(e.appName) && !installedApplications_.contains(e.appName) &&
            std::find(unknown.begin(), unknown.end(), e.appName) == unknown.end()) {
            unknown.push_back(e.appName);
        }
    }
    if (unknown.empty()) {
        return;
    }
    const std::vector<bool> answers = ports_.workspace->hasApplications(unknown);
    for (std::size_t i = 0; i < unknown.size(); ++i) {
        // Without an answer the entry shows: a failed launch is reported.
        installedApplications_[unknown[i]] = i >= answers.size() || answers[i];
    }
}

bool FinderSync::startsMissingApplication(const RCMenuItem& e) const {
    if (!isValid(e.appName)) {
        return false;
    }
    const auto known = installedApplications_.find(e.appName);
    return known != installedApplications_.end() && !known->second;
}

void FinderSync::dropMissingApplications(std::vector<RCMenuItem>& entries) {
    learnApplications(entries);
    std::erase_if(entries, [this](const RCMenuItem& e) { return startsMissingApplication(e); });
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
    // Applications come and go between right-clicks: ask again for every menu.
    installedApplications_.clear();
    learnApplications(*entriesOwner);

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

}  // namespace tf
