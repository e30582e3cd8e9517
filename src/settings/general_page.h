// RCGeneralViewCtl: the main list as a table (switch on/off, drag to reorder, double-click to
// rename, fold marks), removing entries, adding hidden built-in entries back, restoring the
// built-in list, and the three options that belong to particular entries. The page owns no
// data: every action is one catalogue operation on the shared store followed by a reload.
#pragma once

#include <QIcon>
#include <QTableWidget>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/menu_item.h"
#include "model/value.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace tf {

class RCAddRightMenuWinCtl;
class RCEditNameWinCtl;
class StoreWatch;

// The icon of an image resource name (theme name or one of our SVGs), or of an entry.
QIcon resourceIcon(std::string_view name);
QIcon entryIcon(const RCMenuItem& item);
// The icon, or a transparent one when it is null, so that names line up in a list.
QIcon iconOrBlank(const QIcon& icon);

// Where a drop lands in the list as it was before the move: `rowAt` is the row under the
// pointer (-1 below the last row). A drop onto a row is refused.
enum class DropPlace { Above, Below, OnRow, Empty };
std::optional<int> dropTarget(int rowAt, DropPlace place, int rowCount);

// The entries table: drags carry the source row as plain text; drops go between rows only.
class EntryTable : public QTableWidget {
    Q_OBJECT
  public:
    explicit EntryTable(QWidget* parent = nullptr);

    // Titled columns, whole rows selected one at a time, no editing in place; the stretch
    // column takes the room left.
    void setColumns(const QStringList& titles, int stretchColumn);
    // An on/off box, greyed out unless `enabled`; and a text (with an icon, blank when it
    // draws nothing, so names line up).
    static QTableWidgetItem* checkCell(bool on, bool enabled);
    static QTableWidgetItem* textCell(const QString& text, std::optional<QIcon> icon);

  signals:
    void rowDropped(int fromRow, int toRow);

  protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QTableWidgetItem*>& items) const override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    std::optional<int> targetOf(const QPoint& position) const;
};

class RCGeneralViewCtl : public QWidget {
    Q_OBJECT
  public:
    // Table columns, left to right.
    enum Column { EnableColumn, NameColumn, OptionsColumn, FoldColumn, ColumnCount };

    // Runs the first-run set-up or upgrade of the built-in lists before anything reads them.
    explicit RCGeneralViewCtl(QWidget* parent = nullptr);
    ~RCGeneralViewCtl() override;

    // Whether the menu is set up for some file manager, and what leads the user to set it up;
    // without them the menu counts as enabled and the checkbox does nothing.
    std::function<bool()> extensionEnabled;
    std::function<void()> showExtensionManagement;

    const std::vector<RCMenuItem>& tableData() const { return tableData_; }
    EntryTable* table() const { return table_; }
    const RCMenuItem* selectItem() const;
    RCAddRightMenuWinCtl* addMenuWindow() const { return addMenuWinCtl_; }
    RCEditNameWinCtl* nameSheet() const { return editNameWinCtl_; }
    QCheckBox* foldAllCheck() const { return foldAllCheck_; }
    QCheckBox* enableCheck() const { return enableButton_; }
    QLabel* tipLabel() const { return tipLabel_; }

  public slots:
    void refresh();
    // Entry actions by row; out-of-range rows do nothing.
    void onCheckMenu(int row, bool enabled);
    void onFoldMenu(int row, bool folded);
    void moveEntry(int fromRow, int toRow);
    // "pref check<tag>" options: 0 ask before deleting, 6 "#" before colour codes, 7 fold all.
    void onCheckAction(int tag, bool on);
    void onEditName();
    void onAdd();
    void onDelete();
    void onRecover();
    void onEnable();

  private:
    void fillRow(int row, const RCMenuItem& item, bool foldAll, bool menuEnabled);
    QWidget* optionCell(int tag, std::string_view labelKey);
    void selectionChanged();
    void showIntroduce(const RCMenuItem* item);

    std::vector<RCMenuItem> tableData_;
    std::optional<std::size_t> selected_;
    bool loading_ = false;

    QCheckBox* enableButton_;
    QCheckBox* foldAllCheck_;
    EntryTable* table_;
    QPushButton* addButton_;
    QPushButton* deleteButton_;
    QPushButton* recoverButton_;
    QLabel* tipLabel_;
    StoreWatch* watch_;
    RCEditNameWinCtl* editNameWinCtl_ = nullptr;
    RCAddRightMenuWinCtl* addMenuWinCtl_ = nullptr;
};

}  // namespace tf
