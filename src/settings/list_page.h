// ListPage: what the pages that edit one catalogue list share. A table of the list's entries
// (drag to reorder, double-click to edit, on/off, optionally "put on top level"), add, remove
// and restore buttons, and a reload whenever the shared settings change. Each action is one
// catalogue operation on the shared store followed by a reload; the page keeps no data of its
// own between reloads.
//
// A page is a subclass that hands its Parts to the constructor and implements addEntry()
// (what "Add…" does once the size limit allows it) and editEntry() (a double-click). It may
// put controls of its own into topBar() and buttonBar(), refresh them in refreshControls(),
// and clean up in entryRemoved(). The subclass calls refresh() at the end of its constructor
// (the virtual hooks are not there before). Helpers for the subclass: appendEntry(), updateEntry(),
// renameEntry(), afterEdit().
//
// Entries on top level: when Parts::mainMenuCopy is set, the page has an "Add to main menu"
// column. Ticking it stores "toMainMenu" in the page's list and puts mainMenuCopy(entry) at
// the top of the main list (same key); unticking removes that copy. While an entry is on top
// level its "Enable" box shows ticked and greyed out. updateEntry(), onDelete() and
// onRecover() keep the copy in step.
#pragma once

#include <QObject>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/menu_item.h"
#include "model/settings_store.h"
#include "model/value.h"

class QFileSystemWatcher;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTableWidgetItem;

namespace tf {

class EntryTable;
class RCEditNameWinCtl;

// Tells when the shared settings changed under the page (another program, another window):
// the store replaces its file by a rename, which the folder's watch sees. Cheap when nothing
// shown changed, as the store reuses its contents unless the file did.
class StoreWatch : public QObject {
    Q_OBJECT
  public:
    explicit StoreWatch(QObject* parent);
    // The contents the page now shows; changed() fires only for different ones.
    void shown();

  signals:
    void changed();

  private:
    void folderChanged();

    QFileSystemWatcher* watcher_;
    std::shared_ptr<const Dict> shown_;
};

class ListPage : public QWidget {
    Q_OBJECT
  public:
    enum class ColumnKind {
        Name,        // icon and title; the title from Column::text, else menuTitle()
        Text,        // Column::text
        ToMainMenu,  // "Add to main menu" box (needs Parts::mainMenuCopy)
        Enable,      // on/off box
    };
    struct Column {
        ColumnKind kind;
        QString title;
        std::function<QString(const RCMenuItem&)> text = {};
    };
    struct Parts {
        std::string_view list;                          // the settings key of the list
        std::function<std::vector<RCMenuItem>()> load;  // the list as the page shows it
        std::vector<Column> columns;
        // "Add…" is refused with "Submenu Limit Tip" once the list holds this many entries.
        std::size_t limit = 60;
        // The main-list copy of an entry put on top level; empty: the page has no such column.
        std::function<Dict(const RCMenuItem&)> mainMenuCopy = {};
        // Restores the built-in list; the button asks first with recoverTipKey.
        std::function<WriteResult()> recover;
        std::string recoverTitleKey = "Recover Default";
        std::string recoverTipKey = "Recover Tip";
        // Entries the remove button may remove; empty: all.
        std::function<bool(const RCMenuItem&)> deletable = {};
        // An entry on top level shows "Enable" ticked and greyed out; false keeps its own
        // on/off box usable (a switched-off script stays off in its submenu).
        bool topLevelForcesEnable = true;
    };

    ListPage(Parts parts, QWidget* parent);
    ~ListPage() override;

    const std::vector<RCMenuItem>& tableData() const { return tableData_; }
    EntryTable* table() const { return table_; }
    const RCMenuItem* selectItem() const;
    // The table column of a kind (the first of it), or -1.
    int columnOf(ColumnKind kind) const;
    QPushButton* addButton() const { return addButton_; }
    QPushButton* deleteButton() const { return deleteButton_; }
    QPushButton* recoverButton() const { return recoverButton_; }
    QLabel* tipLabel() const { return tipLabel_; }
    // The rename sheet, created by the first renameEntry().
    RCEditNameWinCtl* nameSheet() const { return editNameWinCtl_; }

  public slots:
    void refresh();
    // Entry actions by row; out-of-range rows do nothing.
    void onCheckMenu(int row, bool enabled);
    void onCheckToMainMenu(int row, bool on);
    void moveEntry(int fromRow, int toRow);
    void onAdd();
    void onEditName();
    void onDelete();
    void onRecover();

  protected:
    virtual void addEntry() = 0;
    virtual void editEntry(const RCMenuItem& item) = 0;
    virtual void refreshControls() {}
    // After `item` left the list (removed or restored away); its icon and template files are
    // already gone.
    virtual void entryRemoved(const RCMenuItem& item) { (void)item; }

    QHBoxLayout* topBar() const { return topBar_; }
    QHBoxLayout* buttonBar() const { return buttonBar_; }
    const Parts& parts() const { return parts_; }

    // Appends an entry at the end of the list, reloads and shows the last row.
    void appendEntry(const Dict& entry);
    // Merges `changes` into the entry and, when it is on top level, into its main-menu copy.
    void updateEntry(const RCMenuItem& item, const Dict& changes);
    // Opens the rename sheet with `current`; a confirmed name goes through `store`.
    void renameEntry(const QString& current, bool required,
                     std::function<void(const std::string& typed)> store);
    // Reloads after an edit; an edit of the main list makes every page reload.
    void afterEdit(bool mainListChanged);

  private:
    void fillRow(int row, const RCMenuItem& item);
    void cellChanged(QTableWidgetItem* cell);
    void selectionChanged();
    const RCMenuItem* itemAt(int row) const;

    Parts parts_;
    std::vector<RCMenuItem> tableData_;
    std::optional<std::size_t> selected_;
    bool loading_ = false;

    EntryTable* table_;
    QHBoxLayout* topBar_;
    QHBoxLayout* buttonBar_;
    QPushButton* addButton_;
    QPushButton* deleteButton_;
    QPushButton* recoverButton_;
    QLabel* tipLabel_;
    StoreWatch* watch_;
    RCEditNameWinCtl* editNameWinCtl_ = nullptr;
};

}  // namespace tf
