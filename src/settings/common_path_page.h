// RCFavoriteViewCtl: the favourite folders ("array common path"): add a folder, give it a
// display name, switch it on or off, reorder, remove, clear the list, and choose what the
// submenu under each folder shows. Folders are stored by path only; the menu service offers
// the authorization entry for a folder it cannot read.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "model/value.h"
#include "settings/list_page.h"

class QComboBox;
class QLabel;

namespace tf {

// What the submenu under each folder lists, as stored in "common path next menu", in the
// order the pop-up offers them.
struct SubmenuMode {
    std::int64_t value;
    const char* titleKey;
};
inline constexpr std::array<SubmenuMode, 4> kSubmenuModes{{
    {1, "PopMenu Not Show Submenu"},
    {3, "PopMenu Show Sub-Files"},
    {2, "PopMenu Show Apps"},
    {4, "PopMenu Show Sub-Files And Apps"},
}};
// How many of a folder's entries the submenu lists in this mode; nothing when it lists none.
std::optional<int> listedEntries(std::int64_t mode);

// The path as the page shows it: the home folder and what lies inside it start with "~".
std::string abbreviateHome(const std::string& path, const std::string& home);
// The stored record of a newly added folder.
Dict commonPathEntry(const std::string& folder);

class RCFavoriteViewCtl : public ListPage {
    Q_OBJECT
  public:
    enum Column { PathColumn, DisplayColumn, EnableColumn };

    explicit RCFavoriteViewCtl(QWidget* parent = nullptr);

    // The folder the user picks; null opens the folder chooser.
    std::function<std::optional<std::string>()> chooseFolder;

    QComboBox* popUpButton() const { return popUpButton_; }
    QLabel* modeTipLabel() const { return modeTip_; }

  public slots:
    // The pop-up's item at `index` was chosen.
    void onSelectPopUpType(int index);

  protected:
    void addEntry() override;
    void editEntry(const RCMenuItem& item) override;
    void refreshControls() override;

  private:
    void showMode(std::int64_t mode);

    QComboBox* popUpButton_;
    QLabel* modeTip_;
};

}  // namespace tf
