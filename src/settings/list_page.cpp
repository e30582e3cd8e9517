#include "settings/list_page.h"

#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>

#include "model/menu_manager.h"
#include "platform/qt/qt_edge.h"
#include "platform/qt/qt_user_interface.h"
#include "settings/general_page.h"
#include "settings/labels.h"
#include "settings/name_sheet.h"
#include "settings/settings_window.h"
#include "util/strings.h"

namespace tf {
namespace {

RCMenuManager& manager() {
    return RCMenuManager::sharedInstance();
}

}  // namespace

StoreWatch::StoreWatch(QObject* parent) : QObject(parent) {
    watcher_ = new QFileSystemWatcher(this);
    const auto folder = manager().paths().configFolder;
    std::error_code error;
    if (!folder.empty() && std::filesystem::is_directory(folder, error)) {
        watcher_->addPath(qt::pathText(folder.string()));
    }
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &StoreWatch::folderChanged);
}

void StoreWatch::shown() {
    shown_ = manager().sharedDefaults().snapshot();
}

void StoreWatch::folderChanged() {
    if (manager().sharedDefaults().snapshot() != shown_) {
        emit changed();
    }
}

ListPage::ListPage(Parts parts, QWidget* parent) : QWidget(parent), parts_(std::move(parts)) {
    table_ = new EntryTable(this);
    QStringList titles;
    for (const Column& column : parts_.columns) {
        titles << column.title;
    }
    table_->setColumns(titles, columnOf(ColumnKind::Name));
    connect(table_, &EntryTable::rowDropped, this, &ListPage::moveEntry);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        const ColumnKind kind = parts_.columns[static_cast<std::size_t>(column)].kind;
        if (kind == ColumnKind::Name || kind == ColumnKind::Text) {
            table_->selectRow(row);
            onEditName();
        }
    });
    connect(table_, &QTableWidget::itemSelectionChanged, this, &ListPage::selectionChanged);
    connect(table_, &QTableWidget::itemChanged, this, &ListPage::cellChanged);

    addButton_ = new QPushButton(QIcon::fromTheme("list-add"), label("Add Menu Entry"), this);
    deleteButton_ =
        new QPushButton(QIcon::fromTheme("list-remove"), label("Remove Menu Entry"), this);
    recoverButton_ = new QPushButton(label(parts_.recoverTitleKey), this);
    connect(addButton_, &QPushButton::clicked, this, &ListPage::onAdd);
    connect(deleteButton_, &QPushButton::clicked, this, &ListPage::onDelete);
    connect(recoverButton_, &QPushButton::clicked, this, &ListPage::onRecover);

    tipLabel_ = new QLabel(label("Restart Tip"), this);
    tipLabel_->setWordWrap(true);
    QPalette palette = tipLabel_->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    tipLabel_->setPalette(palette);

    topBar_ = new QHBoxLayout;
    buttonBar_ = new QHBoxLayout;
    buttonBar_->addWidget(addButton_);
    buttonBar_->addWidget(deleteButton_);
    buttonBar_->addStretch(1);
    buttonBar_->addWidget(recoverButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(topBar_);
    layout->addWidget(table_, 1);
    layout->addLayout(buttonBar_);
    layout->addWidget(tipLabel_);

    watch_ = new StoreWatch(this);
    connect(watch_, &StoreWatch::changed, this, &ListPage::refresh);
    connect(&RefreshSignal::instance(), &RefreshSignal::refresh, this, &ListPage::refresh);
}

ListPage::~ListPage() = default;

int ListPage::columnOf(ColumnKind kind) const {
    for (std::size_t i = 0; i < parts_.columns.size(); ++i) {
        if (parts_.columns[i].kind == kind) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const RCMenuItem* ListPage::itemAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= tableData_.size()) {
        return nullptr;
    }
    return &tableData_[static_cast<std::size_t>(row)];
}

const RCMenuItem* ListPage::selectItem() const {
    return selected_ ? itemAt(static_cast<int>(*selected_)) : nullptr;
}

void ListPage::refresh() {
    watch_->shown();
    loading_ = true;
    tableData_ = parts_.load();
    table_->clearSelection();
    selected_.reset();
    deleteButton_->setEnabled(false);
    table_->setRowCount(static_cast<int>(tableData_.size()));
    for (std::size_t row = 0; row < tableData_.size(); ++row) {
        fillRow(static_cast<int>(row), tableData_[row]);
    }
    refreshControls();
    loading_ = false;
}

void ListPage::fillRow(int row, const RCMenuItem& item) {
    const bool twin = parts_.mainMenuCopy && parts_.topLevelForcesEnable;
    for (std::size_t i = 0; i < parts_.columns.size(); ++i) {
        const Column& column = parts_.columns[i];
        const int at = static_cast<int>(i);
        QTableWidgetItem* cell = nullptr;
        switch (column.kind) {
            case ColumnKind::Name:
            case ColumnKind::Text: {
                const QString text = column.text ? column.text(item) : qt::text(item.menuTitle());
                cell = EntryTable::textCell(text, column.kind == ColumnKind::Name
                                                      ? std::optional<QIcon>(entryIcon(item))
                                                      : std::nullopt);
                break;
            }
            case ColumnKind::ToMainMenu:
                cell = EntryTable::checkCell(item.isAddToMainMenu, true);
                break;
            case ColumnKind::Enable:
                // An entry on top level is always shown: its box is ticked and cannot change.
                cell = twin ? EntryTable::checkCell(!item.disabled || item.isAddToMainMenu,
                                                    !item.isAddToMainMenu)
                            : EntryTable::checkCell(!item.disabled, true);
                break;
        }
        table_->setItem(row, at, cell);
    }
}

void ListPage::cellChanged(QTableWidgetItem* cell) {
    if (loading_) {
        return;
    }
    const ColumnKind kind = parts_.columns[static_cast<std::size_t>(cell->column())].kind;
    const bool on = cell->checkState() == Qt::Checked;
    const int row = cell->row();
    // The reload that follows an edit replaces this very cell: run it after the signal.
    QMetaObject::invokeMethod(
        this,
        [this, kind, row, on] {
            if (kind == ColumnKind::Enable) {
                onCheckMenu(row, on);
            } else if (kind == ColumnKind::ToMainMenu) {
                onCheckToMainMenu(row, on);
            }
        },
        Qt::QueuedConnection);
}

void ListPage::selectionChanged() {
    const QList<QTableWidgetSelectionRange> ranges = table_->selectedRanges();
    const int row = ranges.isEmpty() ? -1 : ranges.front().topRow();
    const RCMenuItem* item = itemAt(row);
    selected_ = item ? std::optional<std::size_t>(static_cast<std::size_t>(row)) : std::nullopt;
    deleteButton_->setEnabled(item != nullptr && (!parts_.deletable || parts_.deletable(*item)));
}

void ListPage::onCheckMenu(int row, bool enabled) {
    const RCMenuItem* item = itemAt(row);
    if (item == nullptr) {
        return;
    }
    manager().updateMenuKey(parts_.list, item->key, "disabled", Value(!enabled));
    afterEdit(false);
}

void ListPage::onCheckToMainMenu(int row, bool on) {
    const RCMenuItem* item = itemAt(row);
    if (item == nullptr || !parts_.mainMenuCopy) {
        return;
    }
    const std::string key = item->key;
    if (on) {
        RCMenuItem copy = *item;
        copy.isAddToMainMenu = true;
        manager().addMenuKey(kMainListKey, parts_.mainMenuCopy(copy), true);
    } else {
        manager().removeMenuKey(kMainListKey, key);
    }
    manager().updateMenuKey(parts_.list, key, "toMainMenu", Value(on));
    afterEdit(true);
}

void ListPage::moveEntry(int fromRow, int toRow) {
    manager().changePositionMenuKey(parts_.list, fromRow, toRow);
    afterEdit(false);
}

void ListPage::onAdd() {
    const Value stored = manager().sharedDefaults().value(parts_.list);
    if (stored.array() != nullptr && stored.array()->size() >= parts_.limit) {
        QtUserInterface ui(window());
        ui.runAlert({localized("Submenu Limit Tip"), {}, {}, AlertStyle::Informational});
        return;
    }
    addEntry();
}

void ListPage::onEditName() {
    if (const RCMenuItem* item = selectItem()) {
        // The page may reload while editing; it works on its own copy.
        const RCMenuItem copy = *item;
        editEntry(copy);
    }
}

void ListPage::onDelete() {
    const RCMenuItem* item = selectItem();
    if (item == nullptr || (parts_.deletable && !parts_.deletable(*item))) {
        return;
    }
    const RCMenuItem removed = *item;
    if (removed.isAddToMainMenu) {
        manager().removeMenuKey(kMainListKey, removed.key);
    }
    manager().removeMenuKey(parts_.list, removed.key);
    entryRemoved(removed);
    afterEdit(removed.isAddToMainMenu);
}

void ListPage::onRecover() {
    QtUserInterface ui(window());
    const int answer = ui.runAlert({localized(parts_.recoverTipKey),
                                    {},
                                    {localized("OK"), localized("Cancel")},
                                    AlertStyle::Warning});
    if (answer != 0) {
        return;
    }
    bool mainListChanged = false;
    const std::vector<RCMenuItem> before = parts_.load();
    for (const RCMenuItem& item : before) {
        if (item.isAddToMainMenu) {
            manager().removeMenuKey(kMainListKey, item.key);
            mainListChanged = true;
        }
    }
    if (parts_.recover) {
        parts_.recover();
    }
    const std::vector<RCMenuItem> after = parts_.load();
    for (const RCMenuItem& item : before) {
        if (!RCMenuManager::existKey(item.key, after)) {
            entryRemoved(item);
        }
    }
    afterEdit(mainListChanged);
}

void ListPage::appendEntry(const Dict& entry) {
    manager().addMenuKey(parts_.list, entry, false);
    afterEdit(false);
    table_->scrollToBottom();
}

void ListPage::updateEntry(const RCMenuItem& item, const Dict& changes) {
    manager().updateMenuKey(parts_.list, item.key, changes);
    if (item.isAddToMainMenu) {
        manager().updateMenuKey(kMainListKey, item.key, changes);
    }
    afterEdit(item.isAddToMainMenu);
}

void ListPage::renameEntry(const QString& current, bool required,
                           std::function<void(const std::string& typed)> store) {
    if (editNameWinCtl_ == nullptr) {
        editNameWinCtl_ = new RCEditNameWinCtl(this);
    }
    editNameWinCtl_->required = required;
    editNameWinCtl_->setDefaultAlias(current);
    editNameWinCtl_->editHandler = [store = std::move(store)](const QString& name) {
        store(qt::text(name));
    };
    editNameWinCtl_->openOnWindow(window());
}

void ListPage::afterEdit(bool mainListChanged) {
    if (mainListChanged) {
        RefreshSignal::post();  // reloads this page too
    } else {
        refresh();
    }
}

}  // namespace tf
