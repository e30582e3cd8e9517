// RCScriptViewCtl: the user's scripts ("array common script"): add and edit them in the
// script editor sheet, switch them on or off, reorder, put single scripts on the menu's top
// level, remove them and restore the built-in list. The page stores scripts; it never runs
// one.
#pragma once

#include <QObject>

#include "model/value.h"
#include "settings/list_page.h"

namespace tf {

class RCAddEditScriptWinCtl;

// The main-list copy of a script put on top level. It carries the script's conditions, so
// that the top-level entry shows for the same selections as its submenu entry.
Dict scriptMainMenuCopy(const RCMenuItem& script);

class RCScriptViewCtl : public ListPage {
    Q_OBJECT
  public:
    enum Column { NameColumn, TypeColumn, ToMainMenuColumn, EnableColumn };

    explicit RCScriptViewCtl(QWidget* parent = nullptr);

    // The editor sheet, created by the first add or edit and kept.
    RCAddEditScriptWinCtl* editor() const { return addEditScriptWinCtl_; }

  protected:
    void addEntry() override;
    void editEntry(const RCMenuItem& item) override;

  private:
    RCAddEditScriptWinCtl* openEditor(const RCMenuItem& item);

    RCAddEditScriptWinCtl* addEditScriptWinCtl_ = nullptr;
};

}  // namespace tf
