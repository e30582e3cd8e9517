// The favourite folders page, checked against the store and the menu the service builds.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "fs/file_access.h"
#include "menu_probe.h"
#include "model/default_data.h"
#include "model/menu_manager.h"
#include "platform/qt/windows_test_support.h"
#include "settings/common_path_page.h"
#include "settings/general_page.h"
#include "settings/name_sheet.h"
#include "support/sandbox.h"
#include "util/strings.h"

namespace tf {
namespace {

using Page = RCFavoriteViewCtl;

RCMenuManager& manager() {
    return RCMenuManager::sharedInstance();
}

std::int64_t storedMode() {
    return manager().sharedDefaults().readInteger("common path next menu");
}

class FavoritePage : public test::SandboxTest {
  protected:
    std::unique_ptr<Page> page;
    std::string shelf;  // a folder outside the home folder with twelve files

    void SetUp() override {
        test::SandboxTest::SetUp();
        setRunningDeliverable(Deliverable::Host);
        ASSERT_TRUE(RCDefaultData::setup().ok);
        manager().sharedDefaults().set("is reviewed", Value(true));
        // A first run of the page: the set-up's default mode is not there yet.
        manager().sharedDefaults().remove("common path next menu");
        for (int i = 0; i < 12; ++i) {
            files().write("shelf/file" + std::to_string(i) + ".txt");
        }
        shelf = (files().path() / "shelf").string();
        page = std::make_unique<Page>();
    }
    void TearDown() override {
        page.reset();
        setReadableCheck({});
        test::SandboxTest::TearDown();
    }

    std::string add(const std::string& folder) {
        page->chooseFolder = [folder] { return std::optional<std::string>(folder); };
        page->onAdd();
        const auto paths = manager().commonPathMenuArray();
        EXPECT_FALSE(paths.empty());
        return paths.empty() ? std::string() : paths.back().key;
    }
    QString cell(int row, int column) const { return page->table()->item(row, column)->text(); }
    // How many of the shelf's files the menu lists under the favourite folder `key`.
    int listedFiles(const std::string& key, bool* moreFiles = nullptr) {
        const nlohmann::json menu = test::menuJson({files().write("probe.txt").string()});
        const nlohmann::json* entry = test::findEntry(menu, key);
        EXPECT_NE(entry, nullptr) << menu.dump();
        if (entry == nullptr || !entry->contains("children")) {
            return 0;
        }
        const auto keys = test::keysOf((*entry)["children"]);
        if (moreFiles != nullptr) {
            *moreFiles = std::count(keys.begin(), keys.end(), "More Files") > 0;
        }
        return static_cast<int>(std::count_if(
            keys.begin(), keys.end(), [&](const auto& k) { return k.starts_with(shelf + "/"); }));
    }
};

TEST_F(FavoritePage, SubmenuModesAreStoredAndShapeTheMenu) {
    EXPECT_EQ(storedMode(), 3) << "a first run stores the default mode";
    EXPECT_EQ(page->popUpButton()->currentText().toStdString(),
              localized("PopMenu Show Sub-Files"));
    const std::string key = add(shelf);

    struct Case {
        int index;  // in the pop-up
        std::int64_t stored;
        const char* tipCount;  // nullptr: the tip is hidden
        int listed;
        bool more;
    };
    const Case cases[] = {
        {1, 3, "20", 12, false},
        {3, 4, "10", 10, true},
        {2, 2, nullptr, 0, false},
        {0, 1, nullptr, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        page->onSelectPopUpType(c.index);
        page->refresh();
        EXPECT_EQ(storedMode(), c.stored);
        EXPECT_EQ(page->popUpButton()->currentIndex(), c.index);
        EXPECT_EQ(page->modeTipLabel()->isVisibleTo(page.get()), c.tipCount != nullptr);
        if (c.tipCount != nullptr) {
            EXPECT_TRUE(page->modeTipLabel()->text().contains(QString::fromLatin1(c.tipCount)));
        }
        bool more = false;
        EXPECT_EQ(listedFiles(key, &more), c.listed);
        EXPECT_EQ(more, c.more);
    }
}

TEST_F(FavoritePage, FoldersAreShownWithHomeAbbreviatedAndNamedByTheUser) {
    const std::string inHome = (home() / "Projects").string();
    std::filesystem::create_directories(inHome);
    const std::string first = add(inHome);
    add(shelf);
    ASSERT_EQ(page->table()->rowCount(), 2);
    EXPECT_EQ(cell(0, Page::PathColumn), QStringLiteral("~/Projects"));
    EXPECT_EQ(cell(1, Page::PathColumn).toStdString(), shelf);
    EXPECT_EQ(cell(0, Page::DisplayColumn), QStringLiteral("Projects"));

    const auto rename = [&](const QString& name) {
        page->table()->selectRow(0);
        page->onEditName();
        ASSERT_NE(page->nameSheet(), nullptr);
        page->nameSheet()->field()->setText(name);
        page->nameSheet()->onSure();
    };
    rename(QStringLiteral("Work"));
    EXPECT_EQ(manager().commonPathMenuArray()[0].displayName, "Work");
    EXPECT_EQ(cell(0, Page::DisplayColumn), QStringLiteral("Work"));
    const nlohmann::json menu = test::menuJson({files().write("a.txt").string()});
    ASSERT_NE(test::findEntry(menu, first), nullptr);
    EXPECT_EQ((*test::findEntry(menu, first))["title"], "Work");
    rename(QStringLiteral("  "));
    EXPECT_EQ(manager().commonPathMenuArray()[0].displayName, "Projects");

    // Switched off: stored, and gone from the menu.
    page->onCheckMenu(0, false);
    EXPECT_TRUE(manager().commonPathMenuArray()[0].disabled);
    EXPECT_EQ(test::findEntry(test::menuJson({files().write("a.txt").string()}), first), nullptr);
}

TEST_F(FavoritePage, ClearAsksFirst) {
    add(shelf);
    for (const char* answer : {"Cancel", "OK"}) {
        test::whenModal<QMessageBox>([answer](QMessageBox* box) {
            test::buttonWithText(box, QString::fromLatin1(answer))->click();
        });
        page->onRecover();
        const std::size_t expected = std::string(answer) == "OK" ? 0 : 1;
        EXPECT_EQ(manager().commonPathMenuArray().size(), expected) << answer;
        EXPECT_EQ(page->table()->rowCount(), static_cast<int>(expected)) << answer;
    }
}

TEST_F(FavoritePage, AFolderThisUserCannotReadOffersAuthorization) {
    const std::string key = add(shelf);
    setReadableCheck([this](const std::string& path) { return path != shelf; });
    const nlohmann::json menu = test::menuJson({files().write("a.txt").string()});
    const nlohmann::json* entry = test::findEntry(menu, key);
    ASSERT_NE(entry, nullptr) << menu.dump();
    EXPECT_EQ(test::keysOf((*entry)["children"]), std::vector<std::string>{"To Authorize"});
}

TEST(HomeAbbreviation, OnlyTheHomeFolderAndWhatIsInsideIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"/home/me", "~"},
        {"/home/me/Docs", "~/Docs"},
        {"/home/meadow/Docs", "/home/meadow/Docs"},
        {"/srv/home/me", "/srv/home/me"},
        {"/media/disk", "/media/disk"},
    };
    for (const auto& [path, shown] : cases) {
        EXPECT_EQ(abbreviateHome(path, "/home/me"), shown) << path;
        EXPECT_EQ(abbreviateHome(path, "/home/me/"), shown) << path;
    }
    EXPECT_EQ(abbreviateHome("/home/me", "/"), "/home/me");
}

}  // namespace
}  // namespace tf
