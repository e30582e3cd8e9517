#include <gtest/gtest.h>

#include <fstream>

#include "model/menu_manager.h"
#include "support/sandbox.h"

namespace tf {
namespace {

class CatalogueTest : public test::SandboxTest {
  protected:
    RCMenuManager& manager() { return RCMenuManager::sharedInstance(); }
    Array list(std::string_view key) { return manager().sharedDefaults().readArray(key); }

    std::vector<std::string> keys(std::string_view key) {
        std::vector<std::string> out;
        for (const Value& v : list(key)) {
            out.push_back(dictString(*v.dict(), "key"));
        }
        return out;
    }

    void store(std::string_view key, const std::vector<std::string>& entries) {
        Array a;
        for (const auto& k : entries) {
            a.emplace_back(Dict{{"key", k}});
        }
        ASSERT_TRUE(manager().sharedDefaults().set(key, Value(a)));
    }
};

TEST_F(CatalogueTest, AddingAPresentKeyChangesNothingWhereverItWouldGo) {
    store(kMainListKey, {"New File", "Copy Path"});
    ASSERT_TRUE(manager().updateMenuKey(kMainListKey, "Copy Path", "displayName", Value("Mine")));
    for (const bool toTop : {true, false}) {
        ASSERT_TRUE(manager().addMenuKey(kMainListKey, Dict{{"key", "Copy Path"}}, toTop));
        EXPECT_EQ(keys(kMainListKey), (std::vector<std::string>{"New File", "Copy Path"}));
        EXPECT_EQ(dictString(*list(kMainListKey)[1].dict(), "displayName"), "Mine");
    }
}

TEST_F(CatalogueTest, AddPutsNewEntriesAtTheTopOrTheEnd) {
    store(kMainListKey, {"B"});
    ASSERT_TRUE(manager().addMenuKey(kMainListKey, Dict{{"key", "A"}}, true));
    ASSERT_TRUE(manager().addMenuKey(kMainListKey, Dict{{"key", "C"}}, false));
    EXPECT_EQ(keys(kMainListKey), (std::vector<std::string>{"A", "B", "C"}));
    // An entry without a key never matches, so it is always added.
    ASSERT_TRUE(manager().addMenuKey(kPathListKey, Dict{{"path", "/a"}}, false));
    ASSERT_TRUE(manager().addMenuKey(kPathListKey, Dict{{"path", "/a"}}, false));
    EXPECT_EQ(list(kPathListKey).size(), 2u);
}

TEST_F(CatalogueTest, RemovingATemplateDeletesItsFilesButItsTwinDeletesNone) {
    const std::string folder = manager().fileTemplateFolder();
    const std::string icons = manager().appIconFolder();
    const auto templateFile = std::filesystem::path(folder) / "T.docx";
    const auto iconFile = std::filesystem::path(icons) / "T.png";
    std::ofstream(templateFile) << "t";
    std::ofstream(iconFile) << "i";
    const Dict entry{
        {"key", "T"}, {"templatePath", templateFile.string()}, {"iconPath", iconFile.string()}};
    ASSERT_TRUE(manager().addMenuKey(kTemplateListKey, entry, false));
    ASSERT_TRUE(manager().addMenuKey(kMainListKey, entry, true));

    ASSERT_TRUE(manager().removeMenuKey(kMainListKey, "T"));
    EXPECT_TRUE(list(kMainListKey).empty());
    EXPECT_TRUE(std::filesystem::exists(templateFile));
    EXPECT_TRUE(std::filesystem::exists(iconFile));

    ASSERT_TRUE(manager().removeMenuKey(kTemplateListKey, "T"));
    EXPECT_TRUE(list(kTemplateListKey).empty());
    EXPECT_FALSE(std::filesystem::exists(templateFile));
    EXPECT_FALSE(std::filesystem::exists(iconFile));
}

TEST_F(CatalogueTest, RemovingAnEntryNeverDeletesAUsersOwnFile) {
    // An icon chosen from the user's pictures is theirs; only our copies in the shared
    // folder go with an entry.
    const auto picture = files().write("Pictures/me.png", "png");
    ASSERT_TRUE(manager().addMenuKey(kAppListKey,
                                     Dict{{"key", "X"}, {"iconPath", picture.string()}}, false));
    ASSERT_TRUE(manager().removeMenuKey(kAppListKey, "X"));
    EXPECT_TRUE(list(kAppListKey).empty());
    EXPECT_TRUE(std::filesystem::exists(picture));
}

TEST_F(CatalogueTest, RemoveFindsPathEntriesWithoutKeyAndDropsEveryEqualCopy) {
    const Dict entry{{"path", "/srv/data"}, {"displayName", "Data"}};
    Array stored{Value(entry), Value(Dict{{"path", "/other"}}), Value(entry)};
    ASSERT_TRUE(manager().sharedDefaults().set(kPathListKey, Value(stored)));
    ASSERT_TRUE(manager().removeMenuKey(kPathListKey, "/srv/data"));
    const Array after = list(kPathListKey);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(dictString(*after[0].dict(), "path"), "/other");
}

TEST_F(CatalogueTest, UpdateOfAnUnknownKeyLeavesTheListAsItWas) {
    store(kMainListKey, {"A", "B"});
    const Array before = list(kMainListKey);
    ASSERT_TRUE(manager().updateMenuKey(kMainListKey, "Nope", "disabled", Value(true)));
    EXPECT_EQ(list(kMainListKey), before);
}

TEST_F(CatalogueTest, UpdateSetsOnlyTheGivenAttributesAndNoValueRemovesOne) {
    ASSERT_TRUE(manager().sharedDefaults().set(
        kMainListKey, Value(Array{Value(Dict{{"key", "A"}, {"icon", "x"}, {"foldUp", true}})})));
    ASSERT_TRUE(manager().updateMenuKey(kMainListKey, "A",
                                        Dict{{"disabled", true}, {"displayName", "Mine"}}));
    ASSERT_TRUE(manager().updateMenuKey(kMainListKey, "A", "foldUp", Value()));
    const Dict entry = *list(kMainListKey)[0].dict();
    EXPECT_EQ(entry,
              (Dict{{"key", "A"}, {"icon", "x"}, {"disabled", true}, {"displayName", "Mine"}}));
}

TEST_F(CatalogueTest, ReplaceSwapsTheWholeEntryOnlyWhenTheKeyExists) {
    ASSERT_TRUE(manager().sharedDefaults().set(
        kAppListKey, Value(Array{Value(Dict{{"key", "A"}, {"disabled", true}})})));
    ASSERT_TRUE(manager().replaceMenuKey(kAppListKey, Dict{{"key", "A"}, {"icon", "y"}}));
    EXPECT_EQ(*list(kAppListKey)[0].dict(), (Dict{{"key", "A"}, {"icon", "y"}}));
    ASSERT_TRUE(manager().replaceMenuKey(kAppListKey, Dict{{"key", "B"}}));
    EXPECT_EQ(list(kAppListKey).size(), 1u);
}

TEST_F(CatalogueTest, ReorderFollowsTheDropBeforeConvention) {
    store(kMainListKey, {"0", "1", "2", "3", "4"});
    ASSERT_TRUE(manager().changePositionMenuKey(kMainListKey, 0, 3));
    EXPECT_EQ(keys(kMainListKey), (std::vector<std::string>{"1", "2", "0", "3", "4"}));
    store(kMainListKey, {"0", "1", "2", "3", "4"});
    ASSERT_TRUE(manager().changePositionMenuKey(kMainListKey, 3, 0));
    EXPECT_EQ(keys(kMainListKey), (std::vector<std::string>{"3", "0", "1", "2", "4"}));
    // Just below itself: unchanged. To the very end: last.
    ASSERT_TRUE(manager().changePositionMenuKey(kMainListKey, 1, 2));
    EXPECT_EQ(keys(kMainListKey), (std::vector<std::string>{"3", "0", "1", "2", "4"}));
    ASSERT_TRUE(manager().changePositionMenuKey(kMainListKey, 0, 5));
    EXPECT_EQ(keys(kMainListKey), (std::vector<std::string>{"0", "1", "2", "4", "3"}));
}

TEST_F(CatalogueTest, ReorderWithIndexesOutsideTheListChangesNothing) {
    store(kMainListKey, {"0", "1"});
    for (const auto& [from, to] :
         std::vector<std::pair<int, int>>{{-1, 0}, {2, 0}, {0, 3}, {0, -1}}) {
        ASSERT_TRUE(manager().changePositionMenuKey(kMainListKey, from, to));
        EXPECT_EQ(keys(kMainListKey), (std::vector<std::string>{"0", "1"}));
    }
}

TEST_F(CatalogueTest, AnEditThatFindsNothingDoesNotCreateAMissingList) {
    // Clearing the cut list on a fresh installation must not leave an empty main list
    // behind: the first-run set-up would then think the catalogue already exists.
    ASSERT_TRUE(manager().updateMenuKey(kMainListKey, "Cut Paste", "cutPaths", Value(Array{})));
    EXPECT_FALSE(manager().sharedDefaults().contains(kMainListKey));
    ASSERT_TRUE(manager().removeMenuKey(kPathListKey, "/x"));
    EXPECT_FALSE(manager().sharedDefaults().contains(kPathListKey));
}

TEST_F(CatalogueTest, EditsReportAStoreThatCannotBeWritten) {
    const auto blocker = files().write("file", "x");
    ::setenv("TRACKFOLIO_HOME", blocker.c_str(), 1);
    manager().reloadFromEnvironment();
    const WriteResult result = manager().addMenuKey(kMainListKey, Dict{{"key", "A"}}, true);
    EXPECT_FALSE(result);
    EXPECT_FALSE(result.error.empty());
}

}  // namespace
}  // namespace tf
