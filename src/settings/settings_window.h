// The settings window: one page at a time, chosen from a side list in a fixed order, with the
// application menu (About, Feedback, Help, Quit) and its shortcuts.
#pragma once

#include <QIcon>
#include <QMainWindow>
#include <QObject>
#include <QString>

#include <vector>

class QListWidget;
class QStackedWidget;

namespace tf {

// The seven pages in window order.
enum class PageId {
    General,
    NewFile,
    CommonPath,
    CommonApp,
    FolderIcon,
    CommonScript,
    Preferences
};

struct PageInfo {
    PageId id;
    const char* identifier;  // "general", "newfile", ...: also the --page argument
    const char* labelKey;    // strings-table key of the side list label
    const char* iconName;    // theme icon of the side list
};

// Every page, in window order.
const std::vector<PageInfo>& pageTable();
const PageInfo* pageInfo(PageId id);
const PageInfo* pageInfo(const QString& identifier);

// The shared "something changed, read the store again" signal: any window of the application
// becoming active sends it, and pages send it after an edit that another window shows.
class RefreshSignal : public QObject {
    Q_OBJECT
  public:
    static RefreshSignal& instance();
    static void post() { emit instance().refresh(); }

  signals:
    void refresh();

  private:
    RefreshSignal();
};

class SettingsWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit SettingsWindow(QWidget* parent = nullptr);

    // Adds a page at its place in the window order, whatever order pages are added in; the
    // window takes ownership. An empty icon or title takes the table's. A second page with
    // the same id replaces nothing and is ignored (it is deleted).
    void addPage(PageId id, QWidget* page, const QIcon& icon = {}, const QString& title = {});

    // The ids of the pages present, in window order.
    std::vector<PageId> pageOrder() const;
    QWidget* page(PageId id) const;
    PageId currentPage() const;
    // False when no such page is present.
    bool showPage(PageId id);

    // Brings the window to the front (shown, raised, activated).
    void open();
    // A start of the application: reads and removes "main open key" and brings the window to
    // the front unless the menu service started us only to share files (7 or 8 there).
    // True when the window was brought up.
    bool openWindow();
    void refreshWindowTitle();

  public slots:
    void showAbout();
    void openFeedback();
    void openHelp();

  private:
    struct Entry {
        PageId id;
        QWidget* page;
    };
    void buildMenus();

    QListWidget* sideList_;
    QStackedWidget* stack_;
    std::vector<Entry> pages_;
};

}  // namespace tf
