// What the plugin reads from the service and what it asks for.
#include <gtest/gtest.h>

#include <KIO/UDSEntry>
#include <KUrlNavigator>
#include <QMenu>

#include "harness.h"
#include "menu_entries.h"
#include "menu_request.h"
#include "shown_folder.h"
#include "support/sandbox.h"

namespace tf::dolphin {
namespace {

using test::urlOf;

QString uri(const std::filesystem::path& path) {
    return fileUri(urlOf(path));
}

TEST(MenuJson, ReadsEntriesSeparatorsAndNestedSubmenus) {
    const QList<MenuEntry> menu = parseMenu(QStringLiteral(
        R"([{"key":"a","title":"Open","icon":"folder","tag":1,"separator":false},
            {"key":"","title":"","icon":"","tag":2,"separator":true},
            {"key":"n","title":"New","icon":"/x/i.png","tag":3,"separator":false,"children":[
                {"key":"t","title":"txt","icon":"","tag":301,"separator":false},
                {"key":"d","title":"Deep","icon":"","tag":302,"separator":false,"children":[]}]},
            {"key":"f","title":"Fold","icon":"","tag":0,"separator":false,"action":"settings"}])"));
    ASSERT_EQ(menu.size(), 4);
    EXPECT_EQ(menu[0].title, QStringLiteral("Open"));
    EXPECT_EQ(menu[0].icon, QStringLiteral("folder"));
    EXPECT_FALSE(menu[0].submenu);
    EXPECT_TRUE(menu[1].separator);
    EXPECT_TRUE(menu[2].submenu);
    ASSERT_EQ(menu[2].children.size(), 2);
    EXPECT_EQ(menu[2].children[0].tag, 301);
    // An empty "children" still makes a submenu head, not a clickable entry.
    EXPECT_TRUE(menu[2].children[1].submenu);
    EXPECT_TRUE(menu[2].children[1].children.isEmpty());
    EXPECT_EQ(menu[3].tag, 0);
}

TEST(MenuJson, KeepsEighteenDigitTagsExact) {
    const QList<MenuEntry> menu =
        parseMenu(QStringLiteral(R"([{"title":"x","tag":999999999999999999}])"));
    ASSERT_EQ(menu.size(), 1);
    EXPECT_EQ(menu[0].tag, 999999999999999999);
}

TEST(MenuJson, MalformedTextGivesNoEntries) {
    EXPECT_TRUE(parseMenu(QString()).isEmpty());
    EXPECT_TRUE(parseMenu(QStringLiteral("[{\"title\":")).isEmpty());
    EXPECT_TRUE(parseMenu(QStringLiteral(R"({"title":"not a list"})")).isEmpty());
    EXPECT_EQ(parseMenu(QStringLiteral(R"([1, "x", {"title":"kept"}])")).size(), 1);
}

class Requests : public ::testing::Test {
  protected:
    const test::TempDir& files() const { return files_; }

  private:
    test::TempDir files_;
};

TEST_F(Requests, SelectedItemsAskForTheItemsMenuOfTheShownFolder) {
    const auto file = files().write("a b#1.txt");
    const auto folder = files().mkdir("sub");
    const auto request =
        menuRequestFor({KFileItem(urlOf(file)), KFileItem(urlOf(folder))}, urlOf(files().path()));
    ASSERT_TRUE(request);
    EXPECT_EQ(request->kind, MenuKind::Items);
    EXPECT_EQ(request->selection, (QStringList{uri(file), uri(folder)}));
    EXPECT_EQ(request->target, uri(files().path()));
    EXPECT_TRUE(request->selection[0].endsWith(QStringLiteral("/a%20b%231.txt")));
}

TEST_F(Requests, TheShownFolderItselfIsTheBackground) {
    const auto folder = files().mkdir("shown");
    // The location bar may carry a trailing slash the item does not.
    const auto request = menuRequestFor({KFileItem(urlOf(folder))},
                                        QUrl(urlOf(folder).toString() + QLatin1Char('/')));
    ASSERT_TRUE(request);
    EXPECT_EQ(request->kind, MenuKind::Container);
    EXPECT_TRUE(request->selection.isEmpty());
    EXPECT_EQ(request->target, uri(folder));
}

TEST_F(Requests, WithoutAViewOnlyAListingRootIsTheBackground) {
    const auto folder = files().mkdir("shown");
    const auto plain = menuRequestFor({KFileItem(urlOf(folder))}, QUrl());
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->kind, MenuKind::Items);
    EXPECT_EQ(plain->target, uri(files().path()));

    KIO::UDSEntry entry;
    entry.fastInsert(KIO::UDSEntry::UDS_NAME, QStringLiteral("."));
    entry.fastInsert(KIO::UDSEntry::UDS_FILE_TYPE, S_IFDIR);
    const auto root = menuRequestFor({KFileItem(entry, urlOf(folder), false, true)}, QUrl());
    ASSERT_TRUE(root);
    EXPECT_EQ(root->kind, MenuKind::Container);
    EXPECT_EQ(root->target, uri(folder));
}

TEST_F(Requests, LocalFilesInAVirtualViewTargetTheirOwnFolder) {
    const auto file = files().write("found.txt");
    const auto request =
        menuRequestFor({KFileItem(urlOf(file))}, QUrl(QStringLiteral("baloosearch:/x")));
    ASSERT_TRUE(request);
    EXPECT_EQ(request->target, uri(files().path()));
}

TEST_F(Requests, AnythingNotLocalAsksForNothing) {
    const auto file = files().write("a.txt");
    EXPECT_FALSE(menuRequestFor({}, urlOf(files().path())));
    EXPECT_FALSE(menuRequestFor({KFileItem(QUrl(QStringLiteral("trash:/a.txt")))}, QUrl()));
    EXPECT_FALSE(menuRequestFor(
        {KFileItem(urlOf(file)), KFileItem(QUrl(QStringLiteral("sftp://host/b.txt")))},
        urlOf(files().path())));
    EXPECT_FALSE(menuRequestFor({KFileItem(QUrl(QStringLiteral("smb://host/share")))},
                                QUrl(QStringLiteral("smb://host/share"))));
}

TEST_F(Requests, ShownFolderIsReadFromTheActiveVisibleLocationBar) {
    const QUrl left = urlOf(files().mkdir("left"));
    const QUrl right = urlOf(files().mkdir("right"));
    EXPECT_TRUE(shownFolder(nullptr).isEmpty());
    QWidget bare;
    EXPECT_TRUE(shownFolder(&bare).isEmpty());

    test::ViewWindow window(left);
    // From the context menu, a popup that is a window of its own.
    EXPECT_EQ(shownFolder(window.contextMenu()), left);
    KUrlNavigator* other = window.addInactiveView(right);
    EXPECT_EQ(shownFolder(window.contextMenu()), left);
    window.navigator()->setActive(false);
    other->setActive(true);
    EXPECT_EQ(shownFolder(window.contextMenu()), right);
    // Two candidates and no way to choose: better no folder than the wrong one.
    window.navigator()->setActive(true);
    EXPECT_TRUE(shownFolder(window.contextMenu()).isEmpty());
    window.navigator()->hide();
    EXPECT_EQ(shownFolder(window.contextMenu()), right);
}

}  // namespace
}  // namespace tf::dolphin
