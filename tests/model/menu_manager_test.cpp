#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "model/menu_manager.h"
#include "support/sandbox.h"

namespace tf {
namespace {

class MenuManagerTest : public test::SandboxTest {
  protected:
    RCMenuManager& manager() { return RCMenuManager::sharedInstance(); }

    void storeList(std::string_view key, Array entries) {
        ASSERT_TRUE(manager().sharedDefaults().set(key, Value(std::move(entries))));
    }

    const RCMenuItem* findKey(const std::vector<RCMenuItem>& items, std::string_view key) {
        for (const auto& item : items) {
            if (item.key == key) {
                return &item;
            }
        }
        return nullptr;
    }
};

TEST_F(MenuManagerTest, SwitchedOffEntriesAreDroppedByTheServiceButKeptByTheSettingsApp) {
    storeList(kMainListKey, {Value(Dict{{"key", "Copy Path"}, {"disabled", true}}),
                             Value(Dict{{"key", "Delete"}})});
    setRunningDeliverable(Deliverable::Extension);
    auto service = manager().menuItemArray();
    ASSERT_EQ(service.size(), 1u);
    EXPECT_EQ(service[0].key, "Delete");

    setRunningDeliverable(Deliverable::Host);
    auto host = manager().menuItemArray();
    ASSERT_EQ(host.size(), 2u);
    EXPECT_TRUE(host[0].disabled);
}

TEST_F(MenuManagerTest, TemplateLoaderHonoursItsArgumentOnlyInTheService) {
    storeList(kTemplateListKey, {Value(Dict{{"key", "txt"}, {"disabled", 0}}),
                                 Value(Dict{{"key", "sh"}, {"disabled", 1}})});
    EXPECT_EQ(manager().newFileTemplateMenuArray(false).size(), 1u);
    EXPECT_EQ(manager().newFileTemplateMenuArray(true).size(), 2u);
    setRunningDeliverable(Deliverable::Host);
    EXPECT_EQ(manager().newFileTemplateMenuArray(false).size(), 2u);
}

TEST_F(MenuManagerTest, MainListEntriesWithoutAValidKeyAreDroppedEverywhere) {
    storeList(kMainListKey,
              {Value(Dict{{"icon", "x"}}), Value(Dict{{"key", "  \n"}}),
               Value(Dict{{"key", "(null)"}}), Value(7), Value(Dict{{"key", "New File"}})});
    for (const auto who : {Deliverable::Extension, Deliverable::Host}) {
        setRunningDeliverable(who);
        const auto items = manager().menuItemArray();
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].key, "New File");
    }
}

TEST_F(MenuManagerTest, PathEntriesAreStandardizedAndKeyedByTheirPath) {
    storeList(kPathListKey, {Value(Dict{{"path", "~/Projects/./x/../"}}),
                             Value(Dict{{"path", "/srv//a/"}, {"key", "K"}})});
    const auto items = manager().commonPathMenuArray();
    ASSERT_EQ(items.size(), 2u);
    const std::string expected = home().string() + "/Projects";
    EXPECT_EQ(items[0].path, expected);
    EXPECT_EQ(items[0].key, expected);
    EXPECT_EQ(items[0].icon, "folder");
    EXPECT_EQ(items[1].path, "/srv/a");
    EXPECT_EQ(items[1].key, "K");
}

TEST_F(MenuManagerTest, ApplicationWithoutAppNameOpensByItsKey) {
    storeList(kAppListKey, {Value(Dict{{"key", "Emacs"}, {"appName", ""}}),
                            Value(Dict{{"key", "ID"}, {"appName", "code.desktop"}})});
    const auto items = manager().commonAppMenuArray();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].appName, "Emacs");
    EXPECT_EQ(items[1].appName, "code.desktop");
}

TEST_F(MenuManagerTest, HideEntriesDeriveTheirCommandAndSelectionNeeds) {
    storeList(kMainListKey,
              {Value(Dict{{"key", "Hide All Files"}}), Value(Dict{{"key", "Hide Selected Files"}}),
               Value(Dict{{"key", "Unhide All Files"}})});
    const auto items = manager().menuItemArray();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_TRUE(items[0].isShowHideFile);
    EXPECT_EQ(items[0].command, "chflags hidden");
    EXPECT_FALSE(items[0].isNeedSelectURL);
    EXPECT_TRUE(items[1].isNeedSelectURL);
    EXPECT_EQ(items[2].command, "chflags nohidden");
}

TEST_F(MenuManagerTest, TerminalsAndApplicationTwinsFormTheBelongAppList) {
    storeList(kMainListKey,
              {Value(Dict{{"key", "Terminal Window"}}), Value(Dict{{"key", "Terminal To"}}),
               Value(Dict{{"key", "ID-1"}, {"appName", "Emacs"}}),
               Value(Dict{{"key", "iTerm2 Window"}}), Value(Dict{{"key", "iTerm2 Tab"}})});
    const auto items = manager().menuItemArray();
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].serve, "New Terminal at Folder");
    EXPECT_EQ(items[1].serve, "New Terminal at Folder");
    EXPECT_TRUE(items[2].isNotNeedURL);
    EXPECT_EQ(items[4].serve, "New iTerm2 Tab Here");
    std::vector<std::string> belong;
    for (const auto& item : manager().belongAppMenuArray()) {
        belong.push_back(item.key);
    }
    EXPECT_EQ(belong, (std::vector<std::string>{"Terminal Window", "ID-1", "iTerm2 Window"}));
    // Rebuilt by every load.
    storeList(kMainListKey, {});
    manager().menuItemArray();
    EXPECT_TRUE(manager().belongAppMenuArray().empty());
}

TEST_F(MenuManagerTest, DerivedFieldsOfTheOtherBuiltInKeys) {
    storeList(kMainListKey,
              {Value(Dict{{"key", "Convert to"}}), Value(Dict{{"key", "Color Picker"}}),
               Value(Dict{{"key", "Folder Icon"}}), Value(Dict{{"key", "Execute Script"}}),
               Value(Dict{{"key", "Cut Paste"}, {"cutPaths", Array{Value("/a/b"), Value(3)}}}),
               Value(Dict{{"key", "System Hide Files"}}), Value(Dict{{"key", "Unembed Folder"}})});
    const auto items = manager().menuItemArray();
    ASSERT_EQ(items.size(), 7u);
    EXPECT_EQ(items[0].formats.size(), 20u);
    EXPECT_EQ(items[0].formats.front(), "icns");
    EXPECT_EQ(items[0].formats.back(), "pdf");
    EXPECT_TRUE(items[1].isNotNeedURL && items[1].disabledAuth);
    EXPECT_TRUE(items[2].isNeedFolder && items[2].isNeedSelectURL);
    EXPECT_EQ(items[3].formats, (std::vector<std::string>{"sh", "scpt", "py"}));
    EXPECT_EQ(items[4].cutPaths, (std::vector<std::string>{"/a/b"}));
    EXPECT_TRUE(items[5].isNotNeedURL);
    EXPECT_TRUE(items[6].isNeedFolder && items[6].isNeedSelectURL);
}

TEST_F(MenuManagerTest, ScriptTwinsReadTheirFiltersOnlyWhenTheyCarryAScript) {
    storeList(
        kMainListKey,
        {Value(Dict{{"key", "S1"}, {"script", "ls"}, {"needFile", true}, {"formats", "png,jpg"}}),
         Value(Dict{{"key", "S2"}, {"needFolder", true}, {"formats", "png"}}),
         Value(Dict{{"key", "S3"}, {"script", "ls"}, {"formats", Array{Value("x")}}})});
    const auto items = manager().menuItemArray();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_TRUE(items[0].isNeedFile);
    EXPECT_EQ(items[0].formats, (std::vector<std::string>{"png", "jpg"}));
    EXPECT_FALSE(items[1].isNeedFolder);
    EXPECT_TRUE(items[1].formats.empty());
    EXPECT_TRUE(items[2].formats.empty());
}

TEST_F(MenuManagerTest, IntroductionsAreLoadedOnlyByTheSettingsApp) {
    storeList(kMainListKey, {Value(Dict{{"key", "Copy Path"}}), Value(Dict{{"key", "Custom"}})});
    EXPECT_TRUE(manager().menuItemArray()[0].introduce.empty());
    setRunningDeliverable(Deliverable::Host);
    const auto items = manager().menuItemArray();
    EXPECT_FALSE(items[0].introduce.empty());
    EXPECT_TRUE(items[1].introduce.empty());
}

TEST_F(MenuManagerTest, SharedFoldersAreCreatedOnRequestAndLeftAloneWhenPresent) {
    const std::string folder = manager().fileTemplateFolder();
    EXPECT_EQ(folder, (home() / "shared" / "RCFileTemplate").string());
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    std::ofstream(folder + "/keep.txt") << "k";
    EXPECT_EQ(manager().createFolderName("RCFileTemplate"), folder);
    EXPECT_TRUE(std::filesystem::exists(folder + "/keep.txt"));
    for (const std::string& f : {manager().appIconFolder(), manager().folderIconFolder(),
                                 manager().cacheFolder(), manager().configManagerFolder()}) {
        EXPECT_TRUE(std::filesystem::is_directory(f)) << f;
    }
}

TEST_F(MenuManagerTest, ExistKeyComparesExactly) {
    std::vector<RCMenuItem> items(1);
    items[0].key = "Terminal To";
    EXPECT_TRUE(RCMenuManager::existKey("Terminal To", items));
    EXPECT_FALSE(RCMenuManager::existKey("terminal to", items));
    EXPECT_FALSE(RCMenuManager::existKey("Terminal", items));
}

TEST_F(MenuManagerTest, OpenMainAppGoesThroughTheLauncherWithTheHostIdentifier) {
    EXPECT_FALSE(manager().openMainApp());
    std::string asked;
    manager().setApplicationLauncher([&](std::string_view id) {
        asked = id;
        return true;
    });
    EXPECT_TRUE(manager().openMainApp());
    EXPECT_EQ(asked, kHostIdentifier);
}

TEST_F(MenuManagerTest, StoreLocationsFollowXdgWithoutTrackfolioHome) {
    ::unsetenv("TRACKFOLIO_HOME");
    ::setenv("XDG_CONFIG_HOME", (home() / "cfg").c_str(), 1);
    ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
    const StorePaths paths = StorePaths::fromEnvironment();
    EXPECT_EQ(paths.sharedSettingsFile(), home() / "cfg" / "trackfolio" / "settings.plist");
    EXPECT_EQ(paths.privateSettingsFile(Deliverable::Extension),
              home() / "cfg" / "trackfolio" / "trackfolio-sync.plist");
    EXPECT_EQ(paths.sharedFolder, home() / ".local" / "share" / "trackfolio");
}

}  // namespace
}  // namespace tf
