#include "model/menu_item.h"

#include <sys/stat.h>

#include "model/menu_manager.h"
#include "util/path_text.h"
#include "util/resources.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {

void RCMenuItem::setKey(std::string text, KeyList list) {
    menuKey = menuKeyIn(list, text);
    key = std::move(text);
}

RCMenuItem RCMenuItem::builtIn(MenuKey builtInKey) {
    const MenuKeyRow& row = menuKeyRow(builtInKey);
    RCMenuItem item;
    item.key = std::string(row.text);
    item.menuKey = builtInKey;
    item.icon = std::string(row.icon);
    item.disabledAuth = (row.flags & kDisabledAuth) != 0;
    return item;
}

RCMenuItem RCMenuItem::sepLineItem() {
    RCMenuItem item = builtIn(MenuKey::SepLine);
    item.displayName = "--------------------------";
    return item;
}

std::string typeImageName(std::string_view path) {
    struct stat st {};
    const std::string p(path);
    return typeImageName(path, ::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

std::string typeImageName(std::string_view path, bool isFolder) {
    if (isFolder) {
        return "folder";
    }
    std::string ext = toLower(pathExtension(path));
    if (ext == "doc") {
        ext = "docx";
    } else if (ext == "xls") {
        ext = "xlsx";
    } else if (ext == "ppt") {
        ext = "pptx";
    }
    return !ext.empty() && hasImageResource(ext) ? ext : "file";
}

ImageRef RCMenuItem::menuIcon() const {
    if (isValid(iconPath) && looksLikeImageFile(iconPath)) {
        return ImageRef::file(iconPath);
    }
    if (isValid(icon) && hasImageResource(icon)) {
        return ImageRef::resource(icon);
    }
    if (isValid(path)) {
        return ImageRef::resource(typeImageName(path));
    }
    return ImageRef::none();
}

std::string RCMenuItem::menuTitle() const {
    if (isValid(displayName)) {
        return displayName;
    }
    if (isValid(appName)) {
        return localized("Open With") + localized(key);
    }
    return localized(key);
}

bool RCMenuItem::isValidParent() const {
    if (!children || children->empty()) {
        return true;
    }
    const auto settings = RCMenuManager::sharedInstance().sharedDefaults().snapshot();
    for (const RCMenuItem& child : *children) {
        if (!dictBool(*settings, child.key)) {
            return true;
        }
    }
    return false;
}

}  // namespace tf
