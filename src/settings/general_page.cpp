#include "settings/general_page.h"

#include <QCheckBox>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/default_data.h"
#include "model/menu_keys.h"
#include "model/menu_manager.h"
#include "platform/qt/qt_edge.h"
#include "platform/qt/qt_user_interface.h"
#include "settings/add_back_window.h"
#include "settings/labels.h"
#include "settings/list_page.h"
#include "settings/name_sheet.h"
#include "settings/settings_window.h"
#include "util/resources.h"
#include "util/strings.h"

namespace tf {
namespace {

std::string optionKey(int tag) {
    return "pref check" + std::to_string(tag);
}

constexpr int kDeleteSureTag = 0;
constexpr int kCopyHexTag = 6;
constexpr int kFoldAllTag = 7;

RCMenuManager& manager() {
    return RCMenuManager::sharedInstance();
}

}  // namespace

QIcon resourceIcon(std::string_view name) {
    const std::string icon = imageResourceIcon(name);
    if (icon.empty()) {
        return {};
    }
    return icon.front() == '/' ? QIcon(qt::pathText(icon)) : QIcon::fromTheme(qt::text(icon));
}

QIcon iconOrBlank(const QIcon& icon) {
    // A theme name the theme lacks still makes a QIcon that is not null, but draws nothing.
    if (!icon.isNull() && !icon.pixmap(QSize(20, 20)).isNull()) {
        return icon;
    }
    // An empty icon of the same size keeps the names of entries without one in line.
    QPixmap blank(64, 64);
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

QIcon entryIcon(const RCMenuItem& item) {
    const ImageRef ref = item.menuIcon();
    switch (ref.kind) {
        case ImageRef::Kind::File:
            return QIcon(qt::pathText(ref.value));
        case ImageRef::Kind::Resource:
            return resourceIcon(ref.value);
        case ImageRef::Kind::None:
            break;
    }
    return {};
}

std::optional<int> dropTarget(int rowAt, DropPlace place, int rowCount) {
    switch (place) {
        case DropPlace::Above:
            return rowAt;
        case DropPlace::Below:
            return rowAt + 1;
        case DropPlace::Empty:
            return rowCount;
        case DropPlace::OnRow:
            break;
    }
    return std::nullopt;
}

void EntryTable::setColumns(const QStringList& titles, int stretchColumn) {
    setColumnCount(static_cast<int>(titles.size()));
    setHorizontalHeaderLabels(titles);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    setIconSize(QSize(20, 20));
    setShowGrid(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    if (stretchColumn >= 0) {
        horizontalHeader()->setSectionResizeMode(stretchColumn, QHeaderView::Stretch);
    }
}

QTableWidgetItem* EntryTable::checkCell(bool on, bool enabled) {
    auto* cell = new QTableWidgetItem;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled;
    if (enabled) {
        flags |= Qt::ItemIsEnabled;
    }
    cell->setFlags(flags);
    cell->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    return cell;
}

QTableWidgetItem* EntryTable::textCell(const QString& text, std::optional<QIcon> icon) {
    auto* cell = icon ? new QTableWidgetItem(iconOrBlank(*icon), text) : new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled);
    return cell;
}

EntryTable::EntryTable(QWidget* parent) : QTableWidget(parent) {
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setDragDropOverwriteMode(false);
}

QStringList EntryTable::mimeTypes() const {
    return {QStringLiteral("text/plain")};
}

QMimeData* EntryTable::mimeData(const QList<QTableWidgetItem*>& items) const {
    if (items.isEmpty()) {
        return nullptr;
    }
    auto* mime = new QMimeData;
    mime->setText(QString::number(items.front()->row()));
    return mime;
}

std::optional<int> EntryTable::targetOf(const QPoint& position) const {
    DropPlace place = DropPlace::Empty;
    switch (dropIndicatorPosition()) {
        case AboveItem:
            place = DropPlace::Above;
            break;
        case BelowItem:
            place = DropPlace::Below;
            break;
        case OnItem:
            place = DropPlace::OnRow;
            break;
        case OnViewport:
            break;
    }
    return dropTarget(indexAt(position).row(), place, rowCount());
}

void EntryTable::dragMoveEvent(QDragMoveEvent* event) {
    QTableWidget::dragMoveEvent(event);
    if (event->source() != this || !event->mimeData()->hasText() ||
        !targetOf(event->position().toPoint())) {
        event->ignore();
    }
}

void EntryTable::dropEvent(QDropEvent* event) {
    bool fromOk = false;
    const int from = event->mimeData()->text().toInt(&fromOk);
    const auto to = targetOf(event->position().toPoint());
    // The list is rebuilt from the store; the view must not move anything itself.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    if (event->source() == this && fromOk && to) {
        emit rowDropped(from, *to);
    }
}

RCGeneralViewCtl::RCGeneralViewCtl(QWidget* parent) : QWidget(parent) {
    RCDefaultData::setup();

    enableButton_ = new QCheckBox(label("Enable the right-click menu"), this);
    QPalette pink = enableButton_->palette();
    pink.setColor(QPalette::WindowText, QColor(0xd9, 0x3f, 0x87));
    enableButton_->setPalette(pink);
    connect(enableButton_, &QCheckBox::clicked, this, &RCGeneralViewCtl::onEnable);

    foldAllCheck_ = new QCheckBox(label("Fold All Up"), this);
    connect(foldAllCheck_, &QCheckBox::clicked, this,
            [this](bool on) { onCheckAction(kFoldAllTag, on); });

    table_ = new EntryTable(this);
    table_->setColumns(
        {label("Enable"),
         qt::text(formatText("%@ (%@, %@)", {localized("Menu Name"), localized("Drag Sort"),
                                             localized("Double Click Change")})),
         label("Options"), label("Fold Up")},
        NameColumn);
    connect(table_, &EntryTable::rowDropped, this, &RCGeneralViewCtl::moveEntry);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        if (column != EnableColumn && column != FoldColumn) {
            table_->selectRow(row);
            onEditName();
        }
    });
    connect(table_, &QTableWidget::itemSelectionChanged, this, &RCGeneralViewCtl::selectionChanged);
    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (loading_) {
            return;
        }
        // The reload that follows an edit replaces this very item: run it after the signal.
        const bool on = item->checkState() == Qt::Checked;
        const int row = item->row();
        const int column = item->column();
        QMetaObject::invokeMethod(
            this,
            [this, row, column, on] {
                if (column == EnableColumn) {
                    onCheckMenu(row, on);
                } else if (column == FoldColumn) {
                    onFoldMenu(row, on);
                }
            },
            Qt::QueuedConnection);
    });

    addButton_ = new QPushButton(QIcon::fromTheme("list-add"), label("Add Menu Entry"), this);
    deleteButton_ =
        new QPushButton(QIcon::fromTheme("list-remove"), label("Remove Menu Entry"), this);
    recoverButton_ = new QPushButton(label("Recover Default"), this);
    connect(addButton_, &QPushButton::clicked, this, &RCGeneralViewCtl::onAdd);
    connect(deleteButton_, &QPushButton::clicked, this, &RCGeneralViewCtl::onDelete);
    connect(recoverButton_, &QPushButton::clicked, this, &RCGeneralViewCtl::onRecover);

    tipLabel_ = new QLabel(this);
    tipLabel_->setWordWrap(true);

    auto* top = new QHBoxLayout;
    top->addWidget(enableButton_);
    top->addStretch(1);
    top->addWidget(foldAllCheck_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addButton_);
    buttons->addWidget(deleteButton_);
    buttons->addStretch(1);
    buttons->addWidget(recoverButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);
    layout->addWidget(tipLabel_);

    // Another program (the command line, the menu service) may change the list meanwhile.
    watch_ = new StoreWatch(this);
    connect(watch_, &StoreWatch::changed, this, &RCGeneralViewCtl::refresh);
    connect(&RefreshSignal::instance(), &RefreshSignal::refresh, this, &RCGeneralViewCtl::refresh);

    refresh();
}

RCGeneralViewCtl::~RCGeneralViewCtl() = default;

const RCMenuItem* RCGeneralViewCtl::selectItem() const {
    return selected_ && *selected_ < tableData_.size() ? &tableData_[*selected_] : nullptr;
}

void RCGeneralViewCtl::refresh() {
    SettingsStore& store = manager().sharedDefaults();
    watch_->shown();
    const bool foldAll = store.readBool(optionKey(kFoldAllTag));
    const bool menuEnabled = extensionEnabled ? extensionEnabled() : true;

    loading_ = true;
    foldAllCheck_->setChecked(foldAll);
    enableButton_->setChecked(menuEnabled);
    tableData_ = manager().menuItemArray();
    table_->clearSelection();
    selected_.reset();
    deleteButton_->setEnabled(false);
    table_->setRowCount(static_cast<int>(tableData_.size()));
    for (std::size_t row = 0; row < tableData_.size(); ++row) {
        fillRow(static_cast<int>(row), tableData_[row], foldAll, menuEnabled);
    }
    loading_ = false;
    showIntroduce(nullptr);
}

void RCGeneralViewCtl::fillRow(int row, const RCMenuItem& item, bool foldAll, bool menuEnabled) {
    const auto check = &EntryTable::checkCell;
    table_->setItem(row, EnableColumn, check(!item.disabled, menuEnabled));
    table_->setItem(row, NameColumn,
                    EntryTable::textCell(qt::text(item.menuTitle()), entryIcon(item)));
    table_->removeCellWidget(row, OptionsColumn);
    auto* options = new QTableWidgetItem;
    options->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled);
    table_->setItem(row, OptionsColumn, options);
    if (item.menuKey == MenuKey::Delete) {
        table_->setCellWidget(row, OptionsColumn, optionCell(kDeleteSureTag, "Check Delete Sure"));
    } else if (item.menuKey == MenuKey::ColorPicker) {
        table_->setCellWidget(row, OptionsColumn, optionCell(kCopyHexTag, "Check Copy HEX"));
    }
    table_->setItem(row, FoldColumn, check(item.isFoldUp || foldAll, !foldAll));
}

QWidget* RCGeneralViewCtl::optionCell(int tag, std::string_view labelKey) {
    auto* cell = new QWidget;
    auto* box = new QCheckBox(label(labelKey), cell);
    box->setObjectName(QString::fromStdString(optionKey(tag)));
    box->setChecked(manager().sharedDefaults().readBool(optionKey(tag)));
    connect(box, &QCheckBox::clicked, this, [this, tag](bool on) { onCheckAction(tag, on); });
    auto* layout = new QHBoxLayout(cell);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(box);
    return cell;
}

void RCGeneralViewCtl::selectionChanged() {
    const QList<QTableWidgetSelectionRange> ranges = table_->selectedRanges();
    const int row = ranges.isEmpty() ? -1 : ranges.front().topRow();
    if (row >= 0 && static_cast<std::size_t>(row) < tableData_.size()) {
        selected_ = static_cast<std::size_t>(row);
    } else {
        selected_.reset();
    }
    deleteButton_->setEnabled(selected_.has_value());
    showIntroduce(selectItem());
}

void RCGeneralViewCtl::showIntroduce(const RCMenuItem* item) {
    QPalette palette = tipLabel_->palette();
    if (item != nullptr && !item->introduce.empty()) {
        tipLabel_->setText(qt::text(item->introduce));
        palette.setColor(QPalette::WindowText, QColor(0xc8, 0x6a, 0x00));
    } else {
        tipLabel_->setText(label("Restart Tip"));
        palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    }
    tipLabel_->setPalette(palette);
}

void RCGeneralViewCtl::onCheckMenu(int row, bool enabled) {
    if (row < 0 || static_cast<std::size_t>(row) >= tableData_.size()) {
        return;
    }
    RCMenuItem& item = tableData_[static_cast<std::size_t>(row)];
    item.disabled = !enabled;
    manager().updateMenuKey(kMainListKey, item.key, "disabled", Value(item.disabled));
    refresh();
    showIntroduce(&tableData_[static_cast<std::size_t>(row)]);
}

void RCGeneralViewCtl::onFoldMenu(int row, bool folded) {
    if (row < 0 || static_cast<std::size_t>(row) >= tableData_.size()) {
        return;
    }
    RCMenuItem& item = tableData_[static_cast<std::size_t>(row)];
    item.isFoldUp = folded;
    manager().updateMenuKey(kMainListKey, item.key, "foldUp", Value(folded));
    refresh();
    showIntroduce(&tableData_[static_cast<std::size_t>(row)]);
}

void RCGeneralViewCtl::moveEntry(int fromRow, int toRow) {
    manager().changePositionMenuKey(kMainListKey, fromRow, toRow);
    refresh();
}

void RCGeneralViewCtl::onCheckAction(int tag, bool on) {
    manager().sharedDefaults().set(optionKey(tag), Value(on));
    if (tag == kFoldAllTag) {
        refresh();
    }
}

void RCGeneralViewCtl::onEditName() {
    const RCMenuItem* item = selectItem();
    if (item == nullptr) {
        return;
    }
    if (editNameWinCtl_ == nullptr) {
        editNameWinCtl_ = new RCEditNameWinCtl(this);
    }
    const std::string key = item->key;
    editNameWinCtl_->required = false;
    editNameWinCtl_->setDefaultAlias(qt::text(item->menuTitle()));
    editNameWinCtl_->editHandler = [this, key](const QString& name) {
        // An empty name clears the custom one, so the entry shows its own title again.
        const std::string text = qt::text(name);
        manager().updateMenuKey(kMainListKey, key, "displayName",
                                text.empty() ? Value() : Value(text));
        refresh();
    };
    editNameWinCtl_->openOnWindow(window());
}

void RCGeneralViewCtl::onAdd() {
    if (RCAddRightMenuWinCtl::diffData().empty()) {
        QtUserInterface ui(window());
        ui.runAlert({localized("No Menu To Add Tip"), {}, {}, AlertStyle::Informational});
        return;
    }
    if (addMenuWinCtl_ == nullptr) {
        addMenuWinCtl_ = new RCAddRightMenuWinCtl(this);
    }
    addMenuWinCtl_->open();
}

void RCGeneralViewCtl::onDelete() {
    const RCMenuItem* item = selectItem();
    if (item == nullptr) {
        return;
    }
    // An entry that stands for an item of another page's list is marked as no longer in the
    // main menu there, so that page shows it unticked.
    std::string_view source;
    if (!item->appName.empty()) {
        source = kAppListKey;
    } else if (item->isMainMenuNewFile) {
        source = kTemplateListKey;
    } else if (!item->script.empty()) {
        source = kScriptListKey;
    }
    const std::string key = item->key;
    if (!source.empty()) {
        manager().updateMenuKey(source, key, "toMainMenu", Value(false));
    }
    manager().removeMenuKey(kMainListKey, key);
    RefreshSignal::post();
}

void RCGeneralViewCtl::onRecover() {
    QtUserInterface ui(window());
    const int answer = ui.runAlert({localized("Recover Tip"),
                                    {},
                                    {localized("OK"), localized("Cancel")},
                                    AlertStyle::Warning});
    if (answer != 0) {
        return;
    }
    const auto untick = [](std::string_view list, const std::vector<RCMenuItem>& items) {
        for (const RCMenuItem& item : items) {
            if (item.isAddToMainMenu) {
                manager().updateMenuKey(list, item.key, "toMainMenu", Value(false));
            }
        }
    };
    untick(kAppListKey, manager().commonAppMenuArray());
    untick(kTemplateListKey, manager().newFileTemplateMenuArray(true));
    untick(kScriptListKey, manager().commonScriptMenuArray());
    RCDefaultData::recoverRightMenu();
    RefreshSignal::post();
}

void RCGeneralViewCtl::onEnable() {
    if (showExtensionManagement) {
        showExtensionManagement();
    }
    refresh();
}

}  // namespace tf
