#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "model/default_data.h"
#include "model/menu_manager.h"
#include "platform/qt/windows_test_support.h"
#include "settings/add_back_window.h"
#include "settings/general_page.h"
#include "settings/name_sheet.h"
#include "support/sandbox.h"

namespace tf {
namespace {

using Page = RCGeneralViewCtl;

RCMenuManager& manager() {
    return RCMenuManager::sharedInstance();
}

std::vector<std::string> storedKeys() {
    std::vector<std::string> keys;
    for (const RCMenuItem& item : manager().menuItemArray()) {
        keys.push_back(item.key);
    }
    return keys;
}

std::vector<std::string> defaultKeys() {
    std::vector<std::string> keys;
    for (const Value& entry : RCDefaultData::defaultMainMenu()) {
        keys.push_back(*entry.dict()->at("key").string());
    }
    return keys;
}

RCMenuItem stored(const std::string& key) {
    for (const RCMenuItem& item : manager().menuItemArray()) {
        if (item.key == key) {
            return item;
        }
    }
    ADD_FAILURE() << key << " is not stored";
    return {};
}

bool checked(QTableWidget* table, int row, int column) {
    return table->item(row, column)->checkState() == Qt::Checked;
}

// Every row shows what the store holds: title, on/off, fold mark (all ticked and greyed out
// while everything is folded).
void expectTableMatchesStore(const Page& page, const std::string& when) {
    SCOPED_TRACE(when);
    const std::vector<RCMenuItem> items = manager().menuItemArray();
    const bool foldAll = manager().sharedDefaults().readBool("pref check7");
    QTableWidget* table = page.table();
    ASSERT_EQ(table->rowCount(), static_cast<int>(items.size()));
    EXPECT_EQ(page.foldAllCheck()->isChecked(), foldAll);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const int row = static_cast<int>(i);
        EXPECT_EQ(table->item(row, Page::NameColumn)->text().toStdString(), items[i].menuTitle());
        EXPECT_EQ(checked(table, row, Page::EnableColumn), !items[i].disabled) << items[i].key;
        EXPECT_EQ(checked(table, row, Page::FoldColumn), items[i].isFoldUp || foldAll);
        EXPECT_EQ(table->item(row, Page::FoldColumn)->flags().testFlag(Qt::ItemIsEnabled),
                  !foldAll);
    }
}

class GeneralPage : public test::SandboxTest {
  protected:
    std::unique_ptr<Page> page;

    void SetUp() override {
        test::SandboxTest::SetUp();
        // The settings application keeps switched-off entries in its lists.
        setRunningDeliverable(Deliverable::Host);
        page = std::make_unique<Page>();
    }
    void TearDown() override {
        page.reset();
        test::SandboxTest::TearDown();
    }

    void select(const std::string& key) {
        const auto& data = page->tableData();
        const auto found = std::find_if(data.begin(), data.end(),
                                        [&](const RCMenuItem& item) { return item.key == key; });
        ASSERT_NE(found, data.end()) << key;
        page->table()->selectRow(static_cast<int>(found - data.begin()));
    }
    void rename(const std::string& key, const QString& name) {
        select(key);
        page->onEditName();
        ASSERT_NE(page->nameSheet(), nullptr);
        ASSERT_TRUE(page->nameSheet()->isVisible());
        page->nameSheet()->field()->setText(name);
        page->nameSheet()->onSure();
    }
};

TEST_F(GeneralPage, EveryActionLeavesTableAndStoreAgreeing) {
    const std::vector<std::string> initial = storedKeys();
    ASSERT_EQ(initial, defaultKeys()) << "the page sets up the built-in list first";
    ASSERT_GE(initial.size(), 6u);
    const std::string first = initial[0];
    const std::string second = initial[1];

    struct Step {
        const char* what;
        std::function<void()> act;
        std::function<void()> check;
    };
    const std::vector<Step> steps = {
        {"switch an entry off", [&] { page->onCheckMenu(0, false); },
         [&] { EXPECT_TRUE(stored(first).disabled); }},
        {"switch it on through its checkbox",
         [&] {
             page->table()->item(0, Page::EnableColumn)->setCheckState(Qt::Checked);
             test::waitFor([&] { return !stored(first).disabled; }, 2000);
         },
         [&] { EXPECT_FALSE(stored(first).disabled); }},
        {"fold an entry", [&] { page->onFoldMenu(1, true); },
         [&] { EXPECT_TRUE(stored(second).isFoldUp); }},
        {"drag row 0 between rows 2 and 3", [&] { page->moveEntry(0, 3); },
         [&] {
             std::vector<std::string> moved = initial;
             std::rotate(moved.begin(), moved.begin() + 1, moved.begin() + 3);
             EXPECT_EQ(storedKeys(), moved);
         }},
        {"rename", [&] { rename(first, QStringLiteral("My Entry")); },
         [&] { EXPECT_EQ(stored(first).menuTitle(), "My Entry"); }},
        {"an empty name brings back the usual title", [&] { rename(first, QString()); },
         [&] { EXPECT_TRUE(stored(first).displayName.empty()); }},
        {"fold everything", [&] { page->onCheckAction(7, true); },
         [&] { EXPECT_TRUE(manager().sharedDefaults().readBool("pref check7")); }},
        {"unfold everything: each entry's own mark is back", [&] { page->onCheckAction(7, false); },
         [&] { EXPECT_TRUE(stored(second).isFoldUp); }},
        {"ask before deleting", [&] { page->onCheckAction(0, true); },
         [&] { EXPECT_TRUE(manager().sharedDefaults().readBool("pref check0")); }},
        {"remove the selected entry",
         [&] {
             select(second);
             page->onDelete();
         },
         [&] { EXPECT_FALSE(RCMenuManager::existKey(second, manager().menuItemArray())); }},
        {"add it back: at the top, switched on",
         [&] {
             page->onAdd();
             ASSERT_NE(page->addMenuWindow(), nullptr);
             ASSERT_EQ(page->addMenuWindow()->tableData().size(), 1u);
             page->addMenuWindow()->addItem(0);
             test::waitFor([&] { return page->addMenuWindow()->tableData().empty(); }, 2000);
         },
         [&] {
             EXPECT_EQ(storedKeys().front(), second);
             EXPECT_FALSE(stored(second).disabled);
             EXPECT_EQ(page->addMenuWindow()->table()->rowCount(), 0);
         }},
        {"restore the built-in list after confirming",
         [&] {
             test::whenModal<QMessageBox>([](QMessageBox* box) {
                 test::buttonWithText(box, QStringLiteral("OK"))->click();
             });
             page->onRecover();
         },
         [&] { EXPECT_EQ(storedKeys(), defaultKeys()); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        step.check();
        expectTableMatchesStore(*page, step.what);
    }
}

TEST_F(GeneralPage, ActionsThatNeedASelectionDoNothingWithout) {
    const std::vector<std::string> before = storedKeys();
    page->table()->clearSelection();
    page->onDelete();
    page->onEditName();
    EXPECT_EQ(page->nameSheet(), nullptr);
    page->onCheckMenu(-1, false);
    page->onFoldMenu(static_cast<int>(before.size()), true);
    EXPECT_EQ(storedKeys(), before);
}

TEST_F(GeneralPage, CancelledRestoreChangesNothing) {
    page->moveEntry(0, 2);
    const std::vector<std::string> moved = storedKeys();
    test::whenModal<QMessageBox>(
        [](QMessageBox* box) { test::buttonWithText(box, QStringLiteral("Cancel"))->click(); });
    page->onRecover();
    EXPECT_EQ(storedKeys(), moved);
}

TEST_F(GeneralPage, RemovingAnApplicationEntryUnticksItInItsOwnList) {
    const std::vector<RCMenuItem> apps = manager().commonAppMenuArray();
    ASSERT_FALSE(apps.empty());
    const RCMenuItem& app = apps.front();
    manager().updateMenuKey(kAppListKey, app.key, "toMainMenu", Value(true));
    manager().addMenuKey(kMainListKey,
                         Dict{{"key", Value(app.key)}, {"appName", Value(app.appName)}}, true);
    page->refresh();

    select(app.key);
    page->onDelete();
    EXPECT_FALSE(RCMenuManager::existKey(app.key, manager().menuItemArray()));
    const std::vector<RCMenuItem> after = manager().commonAppMenuArray();
    ASSERT_EQ(after.size(), apps.size()) << "the application stays in its list";
    EXPECT_FALSE(after.front().isAddToMainMenu);
    expectTableMatchesStore(*page, "after removing");
}

TEST_F(GeneralPage, NothingToAddBackShowsAMessageInsteadOfAnEmptyWindow) {
    bool told = false;
    test::whenModal<QMessageBox>([&](QMessageBox* box) {
        told = true;
        box->accept();
    });
    page->onAdd();
    EXPECT_TRUE(told);
    EXPECT_EQ(page->addMenuWindow(), nullptr);
}

TEST_F(GeneralPage, SelectionShowsTheEntrysExplanationOrTheRestartTip) {
    const QString restartTip = page->tipLabel()->text();
    select(storedKeys()[0]);
    EXPECT_NE(page->tipLabel()->text(), restartTip);
    manager().addMenuKey(kMainListKey, Dict{{"key", Value("Plain")}, {"appName", Value("plain")}},
                         true);
    page->refresh();
    select("Plain");
    EXPECT_EQ(page->tipLabel()->text(), restartTip);
}

TEST_F(GeneralPage, AChangeMadeByAnotherProgramShowsUp) {
    const int rows = page->table()->rowCount();
    // A store of its own on the same file, as the command line would have.
    SettingsStore other(manager().paths().sharedSettingsFile());
    other.update([](Dict& settings) {
        Array& list = *settings.at(std::string(kMainListKey)).array();
        list.erase(list.begin());
    });
    EXPECT_TRUE(test::waitFor([&] { return page->table()->rowCount() == rows - 1; }));
    expectTableMatchesStore(*page, "after the outside change");
}

TEST_F(GeneralPage, WithTheMenuNotSetUpEntriesCannotBeSwitchedAndTheCheckboxLeadsToSetUp) {
    bool menuSetUp = false;
    int ledToSetUp = 0;
    page->extensionEnabled = [&] { return menuSetUp; };
    page->showExtensionManagement = [&] {
        ++ledToSetUp;
        menuSetUp = true;
    };
    page->refresh();
    EXPECT_FALSE(page->enableCheck()->isChecked());
    for (int row = 0; row < page->table()->rowCount(); ++row) {
        EXPECT_FALSE(
            page->table()->item(row, Page::EnableColumn)->flags().testFlag(Qt::ItemIsEnabled));
    }
    page->enableCheck()->click();
    EXPECT_EQ(ledToSetUp, 1);
    EXPECT_TRUE(page->enableCheck()->isChecked()) << "the page shows the state found again";
    EXPECT_TRUE(page->table()->item(0, Page::EnableColumn)->flags().testFlag(Qt::ItemIsEnabled));
}

TEST(DropTarget, DropsLandBetweenRowsOnly) {
    struct Case {
        int rowAt;
        DropPlace place;
        std::optional<int> target;
    };
    const Case cases[] = {
        {2, DropPlace::Above, 2},
        {2, DropPlace::Below, 3},
        {-1, DropPlace::Empty, 5},
        {2, DropPlace::OnRow, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dropTarget(c.rowAt, c.place, 5), c.target) << c.rowAt;
    }
}

}  // namespace
}  // namespace tf
