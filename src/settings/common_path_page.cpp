#include "settings/common_path_page.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "model/default_data.h"
#include "model/menu_keys.h"
#include "model/menu_manager.h"
#include "platform/qt/folder_dialog.h"
#include "platform/qt/qt_edge.h"
#include "settings/labels.h"
#include "util/path_text.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {
namespace {

constexpr std::string_view kModeKey = "common path next menu";
// What a missing or zero mode means, here and in the menu service.
constexpr std::int64_t kDefaultMode = 3;

RCMenuManager& manager() {
    return RCMenuManager::sharedInstance();
}

ListPage::Parts pathParts() {
    const std::string home = homeFolder();
    ListPage::Parts parts;
    parts.list = kPathListKey;
    parts.load = [] { return manager().commonPathMenuArray(); };
    parts.columns = {
        {ListPage::ColumnKind::Name,
         qt::text(formatText("%@ (%@, %@)", {localized("Common Path"), localized("Drag Sort"),
                                             localized("Double Click Change")})),
         [home](const RCMenuItem& item) { return qt::pathText(abbreviateHome(item.path, home)); }},
        {ListPage::ColumnKind::Text,
         qt::text(
             formatText("%@ (%@)", {localized("Display Name"), localized("Double Click Change")})),
         [](const RCMenuItem& item) { return qt::text(item.displayName); }},
        {ListPage::ColumnKind::Enable, label("Enable")},
    };
    parts.recover = [] { return RCDefaultData::recoverCommonPath(); };
    parts.recoverTitleKey = "Clear";
    parts.recoverTipKey = "Clear Tip";
    return parts;
}

}  // namespace

std::optional<int> listedEntries(std::int64_t mode) {
    switch (mode) {
        case 3:
            return 20;
        case 4:
            return 10;
        default:
            return std::nullopt;
    }
}

std::string abbreviateHome(const std::string& path, const std::string& home) {
    std::string prefix = home;
    while (prefix.size() > 1 && prefix.back() == '/') {
        prefix.pop_back();
    }
    if (prefix.empty() || prefix == "/" || !path.starts_with(prefix)) {
        return path;
    }
    if (path.size() == prefix.size()) {
        return "~";
    }
    return path[prefix.size()] == '/' ? "~" + path.substr(prefix.size()) : path;
}

Dict commonPathEntry(const std::string& folder) {
    return {{"key", uuid()},
            {"disabled", false},
            {"path", folder},
            {"displayName", lastPathComponent(folder)}};
}

RCFavoriteViewCtl::RCFavoriteViewCtl(QWidget* parent) : ListPage(pathParts(), parent) {
    popUpButton_ = new QComboBox(this);
    for (const SubmenuMode& mode : kSubmenuModes) {
        popUpButton_->addItem(label(mode.titleKey), QVariant::fromValue(mode.value));
    }
    // Only the user's choice is stored, not the reload's.
    connect(popUpButton_, &QComboBox::activated, this, &RCFavoriteViewCtl::onSelectPopUpType);
    modeTip_ = new QLabel(this);
    QPalette grey = modeTip_->palette();
    grey.setColor(QPalette::WindowText, grey.color(QPalette::PlaceholderText));
    modeTip_->setPalette(grey);
    topBar()->addWidget(new QLabel(label("Common Path Submenu"), this));
    topBar()->addWidget(popUpButton_);
    topBar()->addWidget(modeTip_, 1);
    addButton()->setText(label("Add Folder"));
    refresh();
}

void RCFavoriteViewCtl::refreshControls() {
    std::int64_t mode = manager().sharedDefaults().readInteger(kModeKey);
    if (mode == 0) {
        mode = kDefaultMode;
        manager().sharedDefaults().set(kModeKey, Value(mode));
    }
    showMode(mode);
}

void RCFavoriteViewCtl::showMode(std::int64_t mode) {
    const int index = popUpButton_->findData(QVariant::fromValue(mode));
    // A value no item has (set by hand) selects nothing rather than a wrong mode.
    popUpButton_->setCurrentIndex(index);
    const std::optional<int> count = listedEntries(mode);
    modeTip_->setVisible(count.has_value());
    modeTip_->setText(
        qt::text(localizedFormat("Only Show Sub-Files Tip", {std::to_string(count.value_or(10))})));
}

void RCFavoriteViewCtl::onSelectPopUpType(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= kSubmenuModes.size()) {
        return;
    }
    const std::int64_t mode = kSubmenuModes[static_cast<std::size_t>(index)].value;
    manager().sharedDefaults().set(kModeKey, Value(mode));
    showMode(mode);
}

void RCFavoriteViewCtl::addEntry() {
    std::optional<std::string> folder;
    if (chooseFolder) {
        folder = chooseFolder();
    } else {
        FolderRequest request;
        request.prompt = localized("Add");
        request.message = localized("Choose Common Path Tip");
        request.startFolder = homeFolder();
        folder = runFolderDialog(request, window());
    }
    if (folder && !folder->empty()) {
        appendEntry(commonPathEntry(standardizePath(*folder)));
    }
}

void RCFavoriteViewCtl::editEntry(const RCMenuItem& item) {
    const std::string key = item.key;
    const std::string folderName = lastPathComponent(item.path);
    renameEntry(qt::text(item.displayName), false,
                [this, key, folderName](const std::string& typed) {
                    // A display name is never stored empty: the folder's own name stands in.
                    manager().updateMenuKey(kPathListKey, key, "displayName",
                                            Value(isValid(typed) ? typed : folderName));
                    afterEdit(false);
                });
}

}  // namespace tf
