#include "engine/rc_helper.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>

#include "engine/check_permit.h"
#include "fs/file_access.h"
#include "model/menu_manager.h"
#include "util/path_text.h"
#include "util/strings.h"

namespace tf {

namespace {

// Values of the shared setting "common path next menu".
constexpr std::int64_t kNextMenuApps = 2;
constexpr std::int64_t kNextMenuEntries = 3;
constexpr std::int64_t kNextMenuEntriesAndApps = 4;

constexpr int kSubMenuCap = 20;
constexpr int kMixedSubMenuCap = 10;
constexpr int kChildFolderCap = 20;

// The item's image follows from its path; the listing already knows whether it is a folder,
// so the image is named here and the menu pays no file-system call per entry.
RCMenuItem entryItem(const std::string& folder, const std::string& name, bool isFolder) {
    RCMenuItem item;
    item.key = childPath(folder, name);
    item.path = item.key;
    item.displayName = name;
    item.icon = typeImageName(item.path, isFolder);
    return item;
}

bool isHidden(const std::string& name) {
    return !name.empty() && name.front() == '.';
}

void append(std::vector<RCMenuItem>& to, std::vector<RCMenuItem> items) {
    to.insert(to.end(), std::make_move_iterator(items.begin()),
              std::make_move_iterator(items.end()));
}

}  // namespace

std::vector<RCMenuItem> RCHelper::commomPathNextMenuWithPath(const std::string& path) {
    if (!RCCheckPermit::checkPermitWithPath(path)) {
        return {RCMenuItem::builtIn(MenuKey::ToAuthorize)};
    }
    std::vector<RCMenuItem> items;
    switch (RCMenuManager::sharedInstance().sharedDefaults().readInteger("common path next menu")) {
        case kNextMenuApps:
            items = nextTypeAppMenu();
            break;
        case kNextMenuEntries:
            items = nextTypeSubMenuWithPath(path, kSubMenuCap);
            break;
        case kNextMenuEntriesAndApps:
            items = nextTypeSubMenuWithPath(path, kMixedSubMenuCap);
            items.push_back(RCMenuItem::sepLineItem());
            append(items, nextTypeAppMenu());
            break;
        default:
            break;
    }
    if (!items.empty()) {
        items.insert(items.begin(), RCMenuItem::builtIn(MenuKey::ShowInFolder));
    }
    return items;
}

std::vector<RCMenuItem> RCHelper::nextTypeSubMenuWithPath(const std::string& path, int maxCount) {
    std::vector<RCMenuItem> items;
    items.reserve(static_cast<std::size_t>(std::max(maxCount, 0)) + 3);
    int count = 0;
    const bool listed = forEachFolderEntryCached(path, [&](const std::string& name, bool isFolder) {
        if (isHidden(name)) {
            return true;
        }
        if (count >= maxCount) {
            // Only reached with a cap below one: there is more, but nothing to show.
            items.push_back(RCMenuItem::builtIn(MenuKey::MoreFiles));
            return false;
        }
        items.push_back(entryItem(path, name, isFolder));
        if (++count == maxCount) {
            items.push_back(RCMenuItem::builtIn(MenuKey::MoreFiles));
            return false;
        }
        return true;
    });
    if (!listed) {
        return {};
    }
    return items;
}

std::vector<RCMenuItem> RCHelper::nextTypeAppMenu() {
    RCMenuManager& manager = RCMenuManager::sharedInstance();
    std::vector<RCMenuItem> items = manager.belongAppMenuArray();
    append(items, manager.commonAppMenuArray());
    return items;
}

std::vector<RCMenuItem> RCHelper::commomPathChildFolderItemWithPath(const std::string& path) {
    if (!RCCheckPermit::checkPermitWithPath(path)) {
        return {RCMenuItem::builtIn(MenuKey::ToAuthorize)};
    }
    std::vector<RCMenuItem> items;
    int count = 0;
    const bool listed = forEachFolderEntryCached(path, [&](const std::string& name, bool isFolder) {
        if (isHidden(name) || !isFolder) {
            return true;
        }
        items.push_back(entryItem(path, name, true));
        if (++count == kChildFolderCap) {
            RCMenuItem tip = RCMenuItem::sepLineItem();
            tip.displayName =
                localizedFormat("Only Show Folder Tip", {std::to_string(kChildFolderCap)});
            items.push_back(std::move(tip));
            return false;
        }
        return true;
    });
    if (!listed || items.empty()) {
        return {};
    }
    items.insert(items.begin(), RCMenuItem::builtIn(MenuKey::CurrentDirectory));
    return items;
}

}  // namespace tf
