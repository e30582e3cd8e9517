#include "settings/script_page.h"

#include <QLabel>

#include "model/default_data.h"
#include "model/menu_manager.h"
#include "platform/qt/qt_edge.h"
#include "settings/labels.h"
#include "settings/script_editor.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {
namespace {

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        out += (out.empty() ? "" : ",") + item;
    }
    return out;
}

ListPage::Parts scriptParts() {
    ListPage::Parts parts;
    parts.list = kScriptListKey;
    parts.load = [] { return RCMenuManager::sharedInstance().commonScriptMenuArray(); };
    parts.columns = {
        {ListPage::ColumnKind::Name,
         qt::text(formatText("%@ (%@, %@)", {localized("Script Name"), localized("Drag Sort"),
                                             localized("Double Click Edit")}))},
        {ListPage::ColumnKind::Text, label("Script Type"),
         [](const RCMenuItem& item) {
             return label(scriptKindOf(item) == ScriptKind::Shell ? "Script Kind Shell"
                                                                  : "Script Kind Python");
         }},
        {ListPage::ColumnKind::ToMainMenu, label("Add to main menu")},
        {ListPage::ColumnKind::Enable, label("Enable")},
    };
    parts.mainMenuCopy = scriptMainMenuCopy;
    // Switching a script off hides it in its submenu only; its top-level copy stays.
    parts.topLevelForcesEnable = false;
    parts.recover = [] { return RCDefaultData::recoverCommonScript(); };
    return parts;
}

}  // namespace

Dict scriptMainMenuCopy(const RCMenuItem& script) {
    return {{"key", script.key},
            {"ext", script.ext},
            {"icon", script.icon},
            {"iconPath", script.iconPath},
            {"displayName", script.displayName},
            {"script", script.script},
            {"formats", joined(script.formats)},
            {"needFolder", Value(script.isNeedFolder ? 1 : 0)},
            {"needFile", Value(script.isNeedFile ? 1 : 0)}};
}

RCScriptViewCtl::RCScriptViewCtl(QWidget* parent) : ListPage(scriptParts(), parent) {
    tipLabel()->setText(
        qt::text(formatText("%@: %@", {localized("Tip"), localized("Common Script Tip")})));
    refresh();
}

RCAddEditScriptWinCtl* RCScriptViewCtl::openEditor(const RCMenuItem& item) {
    if (addEditScriptWinCtl_ == nullptr) {
        addEditScriptWinCtl_ = new RCAddEditScriptWinCtl(this);
    }
    addEditScriptWinCtl_->editWithItem(item);
    addEditScriptWinCtl_->openOnWindow(window());
    return addEditScriptWinCtl_;
}

void RCScriptViewCtl::addEntry() {
    openEditor(RCMenuItem())->addEditSuccessBlock = [this](const Dict& script) {
        appendEntry(script);
    };
}

void RCScriptViewCtl::editEntry(const RCMenuItem& item) {
    openEditor(item)->addEditSuccessBlock = [this, item](const Dict& script) {
        // The key stays the entry's own, whatever the sheet was handed.
        Dict changes = script;
        changes.erase("key");
        updateEntry(item, changes);
    };
}

}  // namespace tf
