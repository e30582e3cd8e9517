// Dispatch: a click decodes its tag against the kept snapshot, passes the permission gate
// and starts the entry's command from the command table.
#include "engine/check_permit.h"
#include "engine/finder_sync.h"
#include "engine/tag_path.h"
#include "model/menu_manager.h"
#include "util/log.h"
#include "util/path_text.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {

namespace {

int groupValue(const std::string& group) {
    return static_cast<int>(tagValue(group));
}

}  // namespace

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
    if (child.menuKey == MenuKey::GoSet) {
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

    const MenuKeyRow& row = menuKeyRow(e.menuKey);
    if (!row.command || (row.flags & kSubmenu) == 0) {
        useSuccess(e);
        return;
    }
    CommandCall call;
    call.id = *row.command;
    call.parent = e;
    call.item = child;
    switch (call.id) {
        case CommandId::OpenCommonPath:
            call.path = child.path;
            call.grandchild = grandchild;
            break;
        case CommandId::OpenWithApp:
            call.item.tag = n - 1;
            if (!isValid(child.appName)) {
                useSuccess(e);
                return;
            }
            break;
        case CommandId::Convert:
        case CommandId::FileInfo:
            call.item.tag = n - 1;
            break;
        case CommandId::MoveCopy:
            if (grandchild && isValid(grandchild->path)) {
                call.item = *grandchild;
            }
            call.isCopy = e.isCopy();
            break;
        case CommandId::OpenServe:
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
            break;
        default:
            break;
    }
    invoke(call);
    useSuccess(e);
}

// Twins run their own list's command; built-in entries the one of their key's row.
void FinderSync::dispatchPlain(const RCMenuItem& e) {
    CommandCall call;
    call.item = e;
    if (isValid(e.appName)) {
        call.id = CommandId::OpenWithApp;
    } else if (e.isMainMenuNewFile) {
        call.id = CommandId::CreateFile;
    } else if (isValid(e.script)) {
        call.id = CommandId::ExecuteScript;
    } else if (const MenuKeyRow& row = menuKeyRow(e.menuKey);
               row.command && (row.flags & kSubmenu) == 0) {
        call.id = *row.command;
        call.serve = e.serve;
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

}  // namespace tf
