#include "settings/add_back_window.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <string>

#include "model/default_data.h"
#include "model/menu_manager.h"
#include "platform/qt/qt_edge.h"
#include "settings/general_page.h"
#include "settings/settings_window.h"
#include "util/strings.h"

namespace tf {
namespace {

std::string stringAt(const Value& entry, std::string_view field) {
    if (const Dict* dict = entry.dict()) {
        if (const auto found = dict->find(field); found != dict->end()) {
            if (const std::string* text = found->second.string()) {
                return *text;
            }
        }
    }
    return {};
}

}  // namespace

RCAddRightMenuWinCtl::RCAddRightMenuWinCtl(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(qt::text(localized("Add Right Menu")));
    table_ = new QTableWidget(this);
    table_->setColumnCount(2);
    table_->setHorizontalHeaderLabels({qt::text(localized("Menu Name")), QString()});
    table_->verticalHeader()->hide();
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setShowGrid(false);
    table_->setFocusPolicy(Qt::NoFocus);
    table_->setIconSize(QSize(20, 20));
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    resize(380, 420);
    connect(&RefreshSignal::instance(), &RefreshSignal::refresh, this,
            &RCAddRightMenuWinCtl::refresh);
}

Array RCAddRightMenuWinCtl::diffData() {
    const Value stored = RCMenuManager::sharedInstance().sharedDefaults().value(kMainListKey);
    const Array* list = stored.array();
    Array missing;
    for (Value& entry : RCDefaultData::defaultMainMenu()) {
        const std::string key = stringAt(entry, "key");
        const bool present =
            list != nullptr && std::any_of(list->begin(), list->end(), [&](const Value& kept) {
                return stringAt(kept, "key") == key;
            });
        if (!present) {
            missing.push_back(std::move(entry));
        }
    }
    return missing;
}

void RCAddRightMenuWinCtl::open() {
    refresh();
    show();
    raise();
    activateWindow();
}

void RCAddRightMenuWinCtl::refresh() {
    tableData_ = diffData();
    table_->setRowCount(static_cast<int>(tableData_.size()));
    for (std::size_t i = 0; i < tableData_.size(); ++i) {
        const int row = static_cast<int>(i);
        const Value& entry = tableData_[i];
        auto* name = new QTableWidgetItem(iconOrBlank(resourceIcon(stringAt(entry, "icon"))),
                                          qt::text(localized(stringAt(entry, "key"))));
        name->setFlags(Qt::ItemIsEnabled);
        table_->setItem(row, 0, name);
        auto* add = new QPushButton(QIcon::fromTheme("list-add"), qt::text(localized("Add")));
        // Queued: the reload that follows removes this very button.
        connect(
            add, &QPushButton::clicked, this, [this, row] { addItem(row); }, Qt::QueuedConnection);
        table_->setCellWidget(row, 1, add);
    }
}

void RCAddRightMenuWinCtl::addItem(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= tableData_.size()) {
        return;
    }
    const Dict* entry = tableData_[static_cast<std::size_t>(row)].dict();
    if (entry == nullptr) {
        return;
    }
    Dict copy = *entry;
    copy["disabled"] = Value(false);
    RCMenuManager::sharedInstance().addMenuKey(kMainListKey, copy, true);
    // Reloads this window (the entry leaves it) and the general page (it appears at the top).
    RefreshSignal::post();
}

}  // namespace tf
