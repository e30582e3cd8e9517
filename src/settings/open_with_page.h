// RCOpenWithViewCtl: the open-with applications list (on/off, order, top level, rename,
// remove, restore). RCAppChooser: picks an installed application from its desktop entry, in
// a searchable list with icons, or any .desktop file or executable through "Other…".
//
// An application is stored as what the open command launches: "appName" is a desktop-file
// id for an installed entry, or the path of a .desktop file. A bare executable gets a small
// desktop entry of its own in the application-icon folder, which goes with its list entry.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "platform/desktop_entries.h"
#include "settings/list_page.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace tf {

struct ChosenApp {
    std::string appName;  // desktop-file id or .desktop path
    std::string name;     // what the list shows
    QIcon icon;
};

// The icon of a desktop entry's Icon= (a theme name or a path).
QIcon desktopEntryIcon(const DesktopEntry& entry);

// The text of a desktop entry that starts `program` with the selected files. Nothing in the
// path is read as an Exec field code or quote, whatever characters it holds.
std::string desktopEntryForProgram(const std::string& name, const std::string& program);

class RCAppChooser : public QDialog {
    Q_OBJECT
  public:
    explicit RCAppChooser(QWidget* parent = nullptr);

    // The launchable installed applications, by name.
    const std::vector<DesktopEntry>& entries() const { return entries_; }
    QLineEdit* searchField() const { return search_; }
    QListWidget* list() const { return list_; }
    QPushButton* otherButton() const { return other_; }
    QPushButton* sureButton() const { return sure_; }
    // Set once the user confirmed a choice.
    const std::optional<ChosenApp>& chosen() const { return chosen_; }

  public slots:
    void filter(const QString& text);
    void onSure();
    // A .desktop file or an executable from the file chooser.
    void onOther();

  private:
    std::vector<DesktopEntry> entries_;
    std::optional<ChosenApp> chosen_;
    QLineEdit* search_;
    QListWidget* list_;
    QPushButton* other_;
    QPushButton* sure_;
};

class RCOpenWithViewCtl : public ListPage {
    Q_OBJECT
  public:
    explicit RCOpenWithViewCtl(QWidget* parent = nullptr);

    // Stores a chosen application at the end of the list, with its icon as a 60 × 60 PNG in
    // the application-icon folder.
    void addApplication(const ChosenApp& app);

  protected:
    void addEntry() override;
    void editEntry(const RCMenuItem& item) override;
    void entryRemoved(const RCMenuItem& item) override;
};

}  // namespace tf
