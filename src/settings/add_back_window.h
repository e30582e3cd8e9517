// RCAddRightMenuWinCtl: the built-in entries that are no longer in the main list, each with a
// button that puts it back at the top, switched on.
#pragma once

#include <QWidget>

#include "model/value.h"

class QTableWidget;

namespace tf {

class RCAddRightMenuWinCtl : public QWidget {
    Q_OBJECT
  public:
    explicit RCAddRightMenuWinCtl(QWidget* parent = nullptr);

    // Every entry of the built-in main list whose key no stored entry has, in built-in order.
    static Array diffData();

    const Array& tableData() const { return tableData_; }
    QTableWidget* table() const { return table_; }

    // Shows the window in front (an ordinary window, not a sheet) and reloads it.
    void open();

  public slots:
    void refresh();
    void addItem(int row);

  private:
    Array tableData_;
    QTableWidget* table_;
};

}  // namespace tf
