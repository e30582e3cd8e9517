#include <gtest/gtest.h>

#include "model/menu_keys.h"
#include "model/menu_manager.h"
#include "support/sandbox.h"

namespace tf {
namespace {

TEST(MenuKeys, AStoredKeyNamesABuiltInEntryOnlyInItsOwnList) {
    constexpr KeyList kLists[] = {KeyList::Main, KeyList::Templates, KeyList::Other,
                                  KeyList::Generated};
    for (const MenuKeyRow& row : menuKeyTable().subspan(1)) {
        for (const KeyList list : kLists) {
            const bool stored = row.list != KeyList::Generated && list == row.list;
            EXPECT_EQ(menuKeyIn(list, row.text), stored ? row.id : MenuKey::None)
                << row.text << " in list " << static_cast<int>(list);
        }
        EXPECT_EQ(menuKeyIn(row.list, std::string(row.text) + " "), MenuKey::None) << row.text;
    }
    EXPECT_EQ(menuKeyIn(KeyList::Main, ""), MenuKey::None);
}

class MenuKeyLoading : public test::SandboxTest {
  protected:
    static RCMenuManager& manager() { return RCMenuManager::sharedInstance(); }
    static void storeList(std::string_view key, std::vector<Dict> entries) {
        Array list;
        for (Dict& entry : entries) {
            list.emplace_back(std::move(entry));
        }
        ASSERT_TRUE(manager().sharedDefaults().set(key, Value(std::move(list))));
    }
    static void expectNothingDerived(const RCMenuItem& r) {
        EXPECT_EQ(r.menuKey, MenuKey::None) << r.key;
        EXPECT_FALSE(r.isNeedSelectURL || r.isNeedFolder || r.disabledAuth || r.isShowHideFile)
            << r.key;
        EXPECT_TRUE(r.serve.empty() && r.command.empty() && r.formats.empty()) << r.key;
    }
};

TEST_F(MenuKeyLoading, UnknownKeysAndTwinsNeverTakeABuiltInMeaning) {
    storeList(kMainListKey,
              {{{"key", "Convert To"}},
               {{"key", "Go Set"}},
               {{"key", "New File From Window"}},
               {{"key", "Copy to"}, {"appName", "Emacs"}},
               {{"key", "Hide All Files"}, {"script", "echo hi"}},
               {{"key", "Cut Paste"}, {"mainMenuNewFile", true}, {"cutPaths", Array{Value("/a")}}},
               {{"key", "New File From Window"}, {"mainMenuNewFile", true}},
               {{"key", "Terminal Window"}}});
    const std::vector<RCMenuItem> items = manager().menuItemArray();
    ASSERT_EQ(items.size(), 8u);
    for (std::size_t i = 0; i < 6; ++i) {
        expectNothingDerived(items[i]);
    }
    EXPECT_FALSE(items[0].isNotNeedURL);
    // An application twin needs no selection and is listed with the applications.
    EXPECT_TRUE(items[3].isNotNeedURL);
    EXPECT_TRUE(items[5].cutPaths.empty());
    // A twin of the template list's window entry keeps that entry's meaning.
    EXPECT_TRUE(items[6].isNewFileFromWindow());
    EXPECT_EQ(items[7].serve, "New Terminal at Folder");
    const std::vector<RCMenuItem>& apps = manager().belongAppMenuArray();
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_EQ(apps[0].appName, "Emacs");
    EXPECT_EQ(apps[1].menuKey, MenuKey::TerminalWindow);
}

TEST_F(MenuKeyLoading, EntriesOfTheUsersListsAreNeverBuiltIn) {
    storeList(kAppListKey, {{{"key", "Go Set"}}});
    storeList(kPathListKey, {{{"key", "Sep Line"}, {"path", "/srv"}}});
    storeList(kScriptListKey, {{{"key", "Copy to"}, {"script", "echo hi"}}});
    storeList(kFolderIconListKey, {{{"key", "Folder Icon"}}});
    storeList(kTemplateListKey,
              {{{"key", "New File From Window"}}, {{"key", "Add to File Template"}}});
    for (const auto& list : {manager().commonAppMenuArray(), manager().commonPathMenuArray(),
                             manager().commonScriptMenuArray(), manager().folderIconMenuArray()}) {
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].menuKey, MenuKey::None) << list[0].key;
    }
    const std::vector<RCMenuItem> templates = manager().newFileTemplateMenuArray(false);
    ASSERT_EQ(templates.size(), 2u);
    EXPECT_TRUE(templates[0].isNewFileFromWindow());
    EXPECT_FALSE(templates[1].isAddToFileTemplate());
}

}  // namespace
}  // namespace tf
