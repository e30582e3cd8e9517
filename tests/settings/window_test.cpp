#include <QAction>
#include <QListWidget>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

#include "model/menu_manager.h"
#include "platform/qt/windows_test_support.h"
#include "settings/settings_window.h"
#include "support/sandbox.h"

namespace tf {
namespace {

class Window : public test::SandboxTest {
  protected:
    SettingsWindow window;

    QStringList sideLabels() {
        auto* list = window.findChild<QListWidget*>("pageList");
        QStringList labels;
        for (int i = 0; i < list->count(); ++i) {
            labels << list->item(i)->text();
        }
        return labels;
    }
};

TEST_F(Window, PagesKeepTheWindowOrderWhateverOrderTheyAreAddedIn) {
    window.addPage(PageId::Preferences, new QWidget);
    window.addPage(PageId::General, new QWidget);
    window.addPage(PageId::CommonApp, new QWidget, QIcon(), QStringLiteral("Apps"));
    EXPECT_EQ(window.currentPage(), PageId::Preferences) << "the first page added is shown";

    QPointer<QWidget> duplicate = new QWidget;
    window.addPage(PageId::General, duplicate);
    EXPECT_TRUE(duplicate.isNull()) << "a second page with the same id is dropped";

    EXPECT_EQ(window.pageOrder(),
              (std::vector<PageId>{PageId::General, PageId::CommonApp, PageId::Preferences}));
    EXPECT_EQ(sideLabels(), (QStringList{QStringLiteral("General"), QStringLiteral("Apps"),
                                         QStringLiteral("Preferences")}));
    EXPECT_EQ(window.currentPage(), PageId::Preferences) << "adding pages keeps the shown one";

    EXPECT_TRUE(window.showPage(PageId::CommonApp));
    EXPECT_EQ(window.currentPage(), PageId::CommonApp);
    EXPECT_FALSE(window.showPage(PageId::FolderIcon));
    EXPECT_EQ(window.currentPage(), PageId::CommonApp);
}

TEST_F(Window, PageTableIdentifiersFindTheirPages) {
    std::vector<PageId> ids;
    for (const PageInfo& info : pageTable()) {
        ASSERT_EQ(pageInfo(QString::fromLatin1(info.identifier)), &info);
        ids.push_back(info.id);
    }
    EXPECT_EQ(ids.front(), PageId::General);
    EXPECT_EQ(ids.back(), PageId::Preferences);
    EXPECT_EQ(pageInfo(QStringLiteral("nosuchpage")), nullptr);
}

TEST_F(Window, ShortcutsQuitCloseAndHelp) {
    std::vector<QKeySequence> shortcuts;
    for (QAction* action : window.findChildren<QAction*>()) {
        if (!action->shortcut().isEmpty()) {
            shortcuts.push_back(action->shortcut());
        }
    }
    for (const QKeySequence& wanted :
         {QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::CTRL | Qt::Key_W),
          QKeySequence(Qt::Key_F1)}) {
        EXPECT_NE(std::find(shortcuts.begin(), shortcuts.end(), wanted), shortcuts.end())
            << wanted.toString().toStdString();
    }

    window.addPage(PageId::General, new QWidget);
    window.open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(test::waitFor([&] { return !window.isVisible(); }));
}

TEST_F(Window, AStartForSharingFilesKeepsTheWindowHiddenAndUsesUpTheReason) {
    SettingsStore& store = RCMenuManager::sharedInstance().sharedDefaults();
    struct Case {
        Value reason;
        bool shown;
    };
    const Case cases[] = {{Value(8), false},
                          {Value(7), false},
                          {Value(3), true},
                          {Value("8"), true},
                          {Value(), true}};
    for (const Case& c : cases) {
        window.hide();
        if (!c.reason.isNull()) {
            store.set("main open key", c.reason);
        }
        EXPECT_EQ(window.openWindow(), c.shown);
        EXPECT_EQ(window.isVisible(), c.shown);
        EXPECT_FALSE(store.contains("main open key"));
    }
}

}  // namespace
}  // namespace tf
