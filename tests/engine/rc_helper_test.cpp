#include "engine/rc_helper.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fs/file_access.h"
#include "model/menu_manager.h"
#include "model/url_cache.h"
#include "support/sandbox.h"
#include "util/strings.h"

namespace tf {
namespace {

using Names = std::vector<std::string>;

class RCHelperTest : public test::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        folder = files().path().string();
    }

    void setNextMenu(int choice) {
        ASSERT_TRUE(RCMenuManager::sharedInstance().sharedDefaults().set("common path next menu",
                                                                         Value(choice)));
    }

    // A terminal twin from the main list and one common application.
    void storeApps() {
        auto& manager = RCMenuManager::sharedInstance();
        ASSERT_TRUE(manager.addMenuKey(kMainListKey, Dict{{"key", "Terminal Window"}}, false));
        ASSERT_TRUE(manager.addMenuKey(
            kAppListKey, Dict{{"key", "Editor"}, {"appName", "editor.desktop"}}, false));
        manager.menuItemArray();
    }

    void makeFiles(int count, const std::string& prefix = "f") {
        for (int i = 0; i < count; ++i) {
            std::ofstream(files().path() / (prefix + std::to_string(i)));
        }
    }

    // The folder's visible names in the order the file system lists them.
    Names listingOrder() {
        Names names;
        const Names listed = listFolder(folder).value_or(Names{});
        for (const auto& name : listed) {
            if (name.front() != '.') {
                names.push_back(name);
            }
        }
        return names;
    }

    static Names keys(const std::vector<RCMenuItem>& items) {
        Names result;
        for (const auto& item : items) {
            result.push_back(item.key);
        }
        return result;
    }

    std::string child(const std::string& name) { return folder + "/" + name; }

    std::string folder;
};

TEST_F(RCHelperTest, EntriesAndAppsShowTenEntriesThenMoreFilesThenTheApps) {
    storeApps();
    setNextMenu(4);
    makeFiles(10);
    files().write(".hidden");
    const auto items = RCHelper::commomPathNextMenuWithPath(folder);

    Names expected{"Show in Finder"};
    for (const auto& name : listingOrder()) {
        expected.push_back(child(name));
    }
    expected.insert(expected.end(), {"More Files", "Sep Line", "Terminal Window", "Editor"});
    ASSERT_EQ(keys(items), expected);
    EXPECT_EQ(items[0].icon, "showfinder");
    EXPECT_EQ(items[1].path, items[1].key);
    EXPECT_EQ(items[1].displayName, listingOrder()[0]);
    EXPECT_EQ(items[11].icon, "more");
    EXPECT_EQ(items[12].displayName, std::string(26, '-'));
    EXPECT_EQ(items[14].appName, "editor.desktop");
}

TEST_F(RCHelperTest, EntriesAloneAreCappedAtTwentyInListingOrder) {
    setNextMenu(3);
    Names order;
    for (int i = 25; i > 0; --i) {
        order.push_back("n" + std::to_string(i));
        files().write(order.back());
    }
    order.insert(order.begin() + 3, ".dot");
    setFolderLister([&](const std::string&) { return order; });
    const auto items = RCHelper::commomPathNextMenuWithPath(folder);

    ASSERT_EQ(items.size(), 22u);
    EXPECT_EQ(items.front().key, "Show in Finder");
    EXPECT_EQ(items[1].displayName, "n25");
    EXPECT_EQ(items[4].displayName, "n22");
    EXPECT_EQ(items[20].displayName, "n6");
    EXPECT_EQ(items[20].path, child("n6"));
    EXPECT_EQ(items.back().key, "More Files");
}

TEST_F(RCHelperTest, FewerEntriesThanTheCapNeedNoMoreFiles) {
    makeFiles(3);
    const auto items = RCHelper::nextTypeSubMenuWithPath(folder, 4);
    EXPECT_EQ(items.size(), 3u);
    EXPECT_EQ(RCHelper::nextTypeSubMenuWithPath(folder, 3).back().key, "More Files");
}

TEST_F(RCHelperTest, EntriesOfTheRootFolderHaveNoDoubleSlash) {
    setFolderLister([](const std::string&) { return Names{"etc"}; });
    const auto items = RCHelper::nextTypeSubMenuWithPath("/", 20);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].path, "/etc");
}

TEST_F(RCHelperTest, AHugeFolderYieldsOnlyTheCap) {
    makeFiles(5000);
    const auto items = RCHelper::nextTypeSubMenuWithPath(folder, 20);
    ASSERT_EQ(items.size(), 21u);
    EXPECT_EQ(items.back().key, "More Files");
}

TEST_F(RCHelperTest, ListingStopsAsSoonAsTheVisitorSaysSo) {
    makeFiles(50);
    int visited = 0;
    EXPECT_TRUE(
        forEachFolderEntry(folder, [&](const std::string&, bool) { return ++visited < 3; }));
    EXPECT_EQ(visited, 3);
    EXPECT_FALSE(
        forEachFolderEntry(child("missing"), [](const std::string&, bool) { return true; }));
}

TEST_F(RCHelperTest, HiddenOnlyFolderGivesNothingUnlessAppsAreShown) {
    storeApps();
    files().write(".a");
    files().mkdir(".b");
    setNextMenu(3);
    EXPECT_TRUE(RCHelper::commomPathNextMenuWithPath(folder).empty());

    setNextMenu(2);
    EXPECT_EQ(keys(RCHelper::commomPathNextMenuWithPath(folder)),
              (Names{"Show in Finder", "Terminal Window", "Editor"}));
}

TEST_F(RCHelperTest, OtherChoicesOrNoAppsGiveNothing) {
    makeFiles(2);
    for (const int choice : {0, 1, 5}) {
        setNextMenu(choice);
        EXPECT_TRUE(RCHelper::commomPathNextMenuWithPath(folder).empty()) << choice;
    }
    setNextMenu(2);
    EXPECT_TRUE(RCHelper::commomPathNextMenuWithPath(folder).empty());
}

TEST_F(RCHelperTest, AnUnreadableFolderGivesNothing) {
    setNextMenu(3);
    setFolderLister([](const std::string&) { return std::optional<Names>{}; });
    EXPECT_TRUE(RCHelper::commomPathNextMenuWithPath(folder).empty());
    EXPECT_TRUE(RCHelper::commomPathChildFolderItemWithPath(folder).empty());
}

TEST_F(RCHelperTest, WithoutPermitOnlyTheAuthorizeEntryIsOffered) {
    setNextMenu(3);
    makeFiles(2);
    files().mkdir("sub");
    setReadableCheck([](const std::string&) { return false; });
    for (const auto& items : {RCHelper::commomPathNextMenuWithPath(folder),
                              RCHelper::commomPathChildFolderItemWithPath(folder)}) {
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].key, "To Authorize");
        EXPECT_EQ(items[0].path, "");
        EXPECT_EQ(items[0].icon, "");
    }

    RCURLCache::sharedInstance().saveSecurityURL(folder);
    EXPECT_EQ(RCHelper::commomPathNextMenuWithPath(folder).size(), 4u);
}

TEST_F(RCHelperTest, ChildFoldersAreCappedAtTwentyWithATip) {
    for (int i = 0; i < 30; ++i) {
        files().mkdir("d" + std::to_string(i));
    }
    makeFiles(5);
    const auto items = RCHelper::commomPathChildFolderItemWithPath(folder);

    ASSERT_EQ(items.size(), 22u);
    EXPECT_EQ(items[0].key, "Current Directory");
    EXPECT_EQ(items[0].icon, "showfinder");
    EXPECT_EQ(items[0].path, "");
    Names expected;
    for (const auto& name : listingOrder()) {
        if (name.front() == 'd' && expected.size() < 20) {
            expected.push_back(child(name));
        }
    }
    const Names all = keys(items);
    EXPECT_EQ(Names(all.begin() + 1, all.end() - 1), expected);
    EXPECT_EQ(items.back().key, "Sep Line");
    EXPECT_EQ(items.back().displayName, localizedFormat("Only Show Folder Tip", {"20"}));
    EXPECT_NE(items.back().displayName.find("20"), std::string::npos);
}

TEST_F(RCHelperTest, FilesHiddenFoldersAndLinksToFoldersAreNotChildFolders) {
    files().mkdir("real");
    files().mkdir(".secret");
    files().write("file.txt");
    std::filesystem::create_directory_symlink(files().path() / "real", files().path() / "link");
    const auto items = RCHelper::commomPathChildFolderItemWithPath(folder);
    ASSERT_EQ(keys(items), (Names{"Current Directory", child("real")}));
    EXPECT_EQ(items[1].displayName, "real");
    EXPECT_EQ(items[1].path, child("real"));

    // Through the lister seam the same rule holds.
    setFolderLister([](const std::string&) { return Names{"link", "file.txt", "real"}; });
    EXPECT_EQ(keys(RCHelper::commomPathChildFolderItemWithPath(folder)),
              (Names{"Current Directory", child("real")}));

    std::filesystem::remove_all(files().path() / "real");
    setFolderLister(nullptr);
    EXPECT_TRUE(RCHelper::commomPathChildFolderItemWithPath(folder).empty());
}

}  // namespace
}  // namespace tf
