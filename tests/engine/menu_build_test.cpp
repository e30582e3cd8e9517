#include <sys/xattr.h>

#include <algorithm>

#include "engine/path_predicates.h"
#include "engine/tag_path.h"
#include "model/json_value.h"
#include "support/engine_fixture.h"
#include "util/strings.h"

namespace tf::test {
namespace {

using Menu = EngineTest;

std::vector<std::int64_t> tagsOf(const MenuList& menu) {
    std::vector<std::int64_t> tags;
    for (const MenuNode& node : menu) {
        tags.push_back(node.tag);
    }
    return tags;
}

TEST(TagPath, EncodesTwoDigitGroupsAndDecodesThemBack) {
    EXPECT_EQ(topTagString(1), "01");
    EXPECT_EQ(topTagString(12), "12");
    EXPECT_EQ(childTagString("01", 3), "0103");
    EXPECT_EQ(tagValue("0103"), 103);
    EXPECT_EQ(decodeTag(103), (std::vector<std::string>{"01", "03"}));
    EXPECT_EQ(decodeTag(1203), (std::vector<std::string>{"12", "03"}));
    EXPECT_EQ(decodeTag(120305), (std::vector<std::string>{"12", "03", "05"}));
    EXPECT_EQ(decodeTag(7), (std::vector<std::string>{"07"}));
    EXPECT_TRUE(decodeTag(0).empty());
    EXPECT_TRUE(decodeTag(-5).empty());
}

TEST(TagPath, RefusesPositionsAndDepthsThatCannotBeEncoded) {
    EXPECT_EQ(childTagString("01", 99), "0199");
    EXPECT_FALSE(childTagString("01", 100));
    EXPECT_FALSE(childTagString("01", 0));
    EXPECT_EQ(childTagString("0102030405060708", 9), "010203040506070809");
    EXPECT_FALSE(childTagString("010203040506070809", 1));
}

TEST_F(Menu, SkippedPositionsLeaveGapsInTheTags) {
    setMainList({{{"key", "Copy Path"}},
                 {{"key", "Delete"}},
                 {{"key", "Color Picker"}},
                 {{"key", "Terminal Window"}}});
    const auto file = files().write("a.txt", "x");
    const MenuList menu = menuFor(MenuKind::Items, {file.string()});
    EXPECT_EQ(keysOf(menu), (std::vector<std::string>{"Copy Path", "Delete", "Terminal Window"}));
    EXPECT_EQ(tagsOf(menu), (std::vector<std::int64_t>{1, 2, 4}));
}

TEST_F(Menu, EntriesPastTheNinetyNinthOfALevelAreLeftOut) {
    std::vector<Dict> entries(120, Dict{{"key", "Copy Path"}});
    setMainList(entries);
    Array apps;
    for (int i = 0; i < 120; ++i) {
        apps.emplace_back(Dict{{"key", "App " + std::to_string(i)}});
        installApplication("App " + std::to_string(i));
    }
    setSetting("array common app", Value(std::move(apps)));
    std::vector<Dict> withApps = {{{"key", "Common App"}}};
    setMainList(withApps);
    MenuList menu = menuFor(MenuKind::Items, {files().write("a.txt").string()});
    ASSERT_EQ(menu.size(), 1u);
    const MenuList& children = *menu[0].children;
    ASSERT_EQ(children.size(), 99u);
    EXPECT_EQ(children.back().tag, 199);
    EXPECT_EQ(children.back().key, "App 98");
    // Every tag still decodes to the entry it names.
    for (std::size_t j = 0; j < children.size(); ++j) {
        const std::vector<std::string> groups = decodeTag(children[j].tag);
        ASSERT_EQ(groups.size(), 2u);
        EXPECT_EQ(tagValue(groups[1]), static_cast<std::int64_t>(j + 1));
    }

    setMainList(entries);
    menu = menuFor(MenuKind::Items, {files().write("a.txt").string()});
    ASSERT_EQ(menu.size(), 99u);
    EXPECT_EQ(menu.back().tag, 99);
}

TEST_F(Menu, NothingSelectedOnTheRootShowsOnlyEntriesThatNeedNoSelection) {
    const MenuList menu = menuFor(MenuKind::Container, {}, "/");
    EXPECT_TRUE(sync().selectURLs().empty());
    const std::vector<std::string> keys = keysOf(menu);
    EXPECT_NE(std::find(keys.begin(), keys.end(), "New File"), keys.end());
    EXPECT_NE(std::find(keys.begin(), keys.end(), "Common Path"), keys.end());
    for (const char* needsSelection : {"Copy Path", "Copy to", "Convert to", "Cut Paste"}) {
        EXPECT_EQ(std::find(keys.begin(), keys.end(), needsSelection), keys.end())
            << needsSelection;
    }
}

TEST_F(Menu, SelectionIsNormalisedAndTheRootIsNeverSelected) {
    const auto folder = files().mkdir("shown");
    menuFor(MenuKind::Items, {"/", folder.string() + "/"});
    EXPECT_EQ(sync().selectURLs(), (std::vector<std::string>{folder.string()}));

    menuFor(MenuKind::Container, {}, folder.string());
    EXPECT_EQ(sync().selectURLs(), (std::vector<std::string>{folder.string()}));
    EXPECT_FALSE(sync().isSelectURL());

    menuFor(MenuKind::Items, {"/"});
    EXPECT_TRUE(sync().selectURLs().empty());
}

TEST_F(Menu, AnEmptySelectionResetsTheItemsFlag) {
    menuFor(MenuKind::Items, {files().write("a.txt").string()});
    EXPECT_TRUE(sync().isSelectURL());
    EXPECT_TRUE(sync().isSelectSingleURL());
    menuFor(MenuKind::Items, {}, "/");
    EXPECT_FALSE(sync().isSelectURL());
}

TEST_F(Menu, FoldAllPutsTheWholeMenuUnderOneEntryExceptOnTheToolbar) {
    setSetting("pref check7", Value(true));
    const std::string file = files().write("a.txt").string();
    MenuList menu = menuFor(MenuKind::Items, {file});
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_EQ(menu[0].key, kFoldEntryKey);
    EXPECT_EQ(menu[0].title, infoPlistText("CFBundleDisplayName"));
    EXPECT_TRUE(menu[0].settingsAction);
    ASSERT_TRUE(menu[0].children);
    EXPECT_GT(menu[0].children->size(), 5u);
    // Folded submenus carry no settings entry.
    const MenuNode* newFile = nodeWithKey(*menu[0].children, "New File");
    ASSERT_NE(newFile, nullptr);
    EXPECT_EQ(nodeWithKey(*newFile->children, "Go Set"), nullptr);

    menu = menuFor(MenuKind::Toolbar, {file});
    EXPECT_GT(menu.size(), 5u);
    EXPECT_EQ(nodeWithKey(menu, std::string(kFoldEntryKey)), nullptr);
}

TEST_F(Menu, FoldedEntriesGoUnderTheFoldEntryAtTheTop) {
    setMainList(
        {{{"key", "Copy Path"}}, {{"key", "New File"}, {"foldUp", true}}, {{"key", "Common App"}}});
    setSetting("fold menu name", Value("More"));
    const std::string file = files().write("a.txt").string();
    MenuList menu = menuFor(MenuKind::Items, {file});
    EXPECT_EQ(keysOf(menu),
              (std::vector<std::string>{std::string(kFoldEntryKey), "Copy Path", "Common App"}));
    EXPECT_EQ(menu[0].title, "More");
    ASSERT_TRUE(menu[0].children);
    ASSERT_EQ(menu[0].children->size(), 1u);
    const MenuNode& folded = menu[0].children->front();
    EXPECT_EQ(folded.tag, 2);
    EXPECT_EQ(nodeWithKey(*folded.children, "Go Set"), nullptr);
    EXPECT_NE(nodeWithKey(*menu[2].children, "Go Set"), nullptr);

    // The toolbar ignores folding.
    menu = menuFor(MenuKind::Toolbar, {file});
    EXPECT_EQ(keysOf(menu), (std::vector<std::string>{"Copy Path", "New File", "Common App"}));
    EXPECT_NE(nodeWithKey(*menu[1].children, "Go Set"), nullptr);

    setSetting("fold menu name", Value("(null)"));
    setSetting("pref check8", Value(true));
    menu = menuFor(MenuKind::Items, {file});
    EXPECT_EQ(menu[0].title, infoPlistText("CFBundleDisplayName"));
    EXPECT_TRUE(menu[0].icon.isNone());
}

TEST_F(Menu, ImageAndSettingsEntryPreferences) {
    setMainList({{{"key", "Copy Path"}, {"icon", "copypath"}}, {{"key", "New File"}}});
    const std::string file = files().write("a.txt").string();
    MenuList menu = menuFor(MenuKind::Items, {file});
    EXPECT_FALSE(menu[0].icon.isNone());
    EXPECT_FALSE(menu[1].children->front().icon.isNone());
    EXPECT_EQ(menu[1].children->back().key, "Go Set");

    setSetting("pref check1", Value(true));
    setSetting("pref check2", Value(true));
    setSetting("pref check4", Value(true));
    menu = menuFor(MenuKind::Items, {file});
    EXPECT_TRUE(menu[0].icon.isNone());
    for (const MenuNode& child : *menu[1].children) {
        EXPECT_TRUE(child.icon.isNone()) << child.key;
        EXPECT_NE(child.key, "Go Set");
    }
}

const MenuNode* convertEntry(const MenuList& menu) {
    return nodeWithKey(menu, "Convert to");
}

TEST_F(Menu, ConvertTargetsFollowTheFirstFilesExtension) {
    MenuList menu = menuFor(MenuKind::Items, {files().write("photo.JPG").string()});
    ASSERT_NE(convertEntry(menu), nullptr);
    std::vector<std::string> targets = keysOf(*convertEntry(menu)->children);
    targets.pop_back();  // the settings entry
    EXPECT_EQ(targets.size(), 12u);

    menu = menuFor(MenuKind::Items, {files().write("scan.tif").string()});
    targets = keysOf(*convertEntry(menu)->children);
    EXPECT_EQ(std::find(targets.begin(), targets.end(), "TIFF"), targets.end());
    EXPECT_NE(std::find(targets.begin(), targets.end(), "JPEG"), targets.end());

    menu = menuFor(MenuKind::Items, {files().write("one.pdf").string()});
    targets = keysOf(*convertEntry(menu)->children);
    EXPECT_EQ(std::find(targets.begin(), targets.end(), "PDF"), targets.end());

    menu = menuFor(MenuKind::Items,
                   {files().write("one.pdf").string(), files().write("two.pdf").string()});
    const MenuList& children = *convertEntry(menu)->children;
    const MenuNode& merge = children[children.size() - 2];
    EXPECT_EQ(merge.key, "PDF");
    EXPECT_EQ(merge.title, localized("Merge to PDF"));

    menu = menuFor(MenuKind::Items, {files().write("notes.txt").string()});
    EXPECT_EQ(convertEntry(menu), nullptr);
}

TEST_F(Menu, FileInfoOnlyForOneSelectedFile) {
    setMainList({{{"key", "File Info"}}});
    const std::string one = files().write("a.txt").string();
    const std::string two = files().write("b.txt").string();
    const std::string folder = files().mkdir("folder").string();
    MenuList menu = menuFor(MenuKind::Items, {one});
    const MenuNode* info = nodeWithKey(menu, "File Info");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(keysOf(*info->children),
              (std::vector<std::string>{"All Info", "MD5", "SHA1", "SHA256", "SHA512", "CRC32",
                                        "Go Set"}));
    EXPECT_EQ(nodeWithKey(menuFor(MenuKind::Items, {one, two}), "File Info"), nullptr);
    EXPECT_EQ(nodeWithKey(menuFor(MenuKind::Items, {folder}), "File Info"), nullptr);
    EXPECT_EQ(nodeWithKey(menuFor(MenuKind::Container, {}, folder), "File Info"), nullptr);
}

TEST_F(Menu, CutAndPasteStates) {
    const std::string here = files().mkdir("here").string();
    const std::string there = files().mkdir("there").string();
    const std::string file = files().write("here/a.txt").string();

    MenuList menu = menuFor(MenuKind::Items, {file});
    const MenuNode* cut = nodeWithKey(menu, "Cut Paste");
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(cut->title, localized("Cut"));
    EXPECT_EQ(cut->icon, ImageRef::resource("cut"));

    EXPECT_EQ(nodeWithKey(menuFor(MenuKind::Container, {}, there), "Cut Paste"), nullptr);

    ASSERT_TRUE(RCMenuManager::sharedInstance()
                    .updateMenuKey(kMainListKey, "Cut Paste", "cutPaths", Value(Array{file}))
                    .ok);
    EXPECT_EQ(nodeWithKey(menuFor(MenuKind::Container, {}, here), "Cut Paste"), nullptr);
    menu = menuFor(MenuKind::Container, {}, there);
    const MenuNode* paste = nodeWithKey(menu, "Cut Paste");
    ASSERT_NE(paste, nullptr);
    EXPECT_EQ(paste->title, localized("Paste"));
    EXPECT_EQ(paste->icon, ImageRef::resource("paste"));
    // On selected items the entry cuts again, whatever was cut before.
    EXPECT_EQ(nodeWithKey(menuFor(MenuKind::Items, {file}), "Cut Paste")->title, localized("Cut"));
}

TEST_F(Menu, LockTitleFollowsTheItemsState) {
    const std::string file = files().write("a.txt").string();
    setMainList({{{"key", "Lock and Unlock"}}});
    EXPECT_EQ(menuFor(MenuKind::Items, {file}).at(0).title, localized("Lock"));
    const std::string name(kLockModeAttribute);
    if (::setxattr(file.c_str(), name.c_str(), "420", 3, 0) != 0) {
        GTEST_SKIP() << "this file system takes no user attributes";
    }
    ASSERT_TRUE(isLocked(file));
    const MenuList menu = menuFor(MenuKind::Items, {file});
    EXPECT_EQ(menu.at(0).title, localized("Unlock"));
    EXPECT_EQ(menu.at(0).icon, ImageRef::resource("unlock"));
}

TEST_F(Menu, NewFileOffersTemplatesOnlyWithASelection) {
    setMainList({{{"key", "New File"}}});
    const std::string file = files().write("a.txt").string();
    MenuList menu = menuFor(MenuKind::Items, {file});
    std::vector<std::string> keys = keysOf(*menu[0].children);
    EXPECT_EQ(keys.front(), "New File From Window");
    EXPECT_NE(std::find(keys.begin(), keys.end(), "txt"), keys.end());
    EXPECT_EQ(keys[keys.size() - 2], "Add to File Template");

    // A folder (or several items) cannot be a template.
    menu = menuFor(MenuKind::Items, {files().mkdir("f").string()});
    keys = keysOf(*menu[0].children);
    EXPECT_EQ(std::find(keys.begin(), keys.end(), "Add to File Template"), keys.end());

    menu = menuFor(MenuKind::Container, {}, "/");
    EXPECT_EQ(keysOf(*menu[0].children),
              (std::vector<std::string>{"New File From Window", "Go Set"}));
}

TEST_F(Menu, ScriptsAreFilteredBySelection) {
    Array scripts;
    scripts.emplace_back(Dict{{"key", "files"}, {"script", "true"}, {"needFile", true}});
    scripts.emplace_back(Dict{{"key", "folders"}, {"script", "true"}, {"needFolder", true}});
    scripts.emplace_back(Dict{{"key", "any"}, {"script", "true"}});
    scripts.emplace_back(Dict{{"key", "md only"}, {"script", "true"}, {"formats", "md"}});
    setSetting("array common script", Value(std::move(scripts)));
    setMainList({{{"key", "Common Script"}}});
    const auto keysFor = [&](MenuKind kind, std::vector<std::string> selection) {
        std::vector<std::string> keys = keysOf(*menuFor(kind, std::move(selection))[0].children);
        keys.pop_back();
        return keys;
    };
    EXPECT_EQ(keysFor(MenuKind::Items, {files().write("a.txt").string()}),
              (std::vector<std::string>{"files", "any"}));
    EXPECT_EQ(keysFor(MenuKind::Items, {files().mkdir("dir").string()}),
              (std::vector<std::string>{"folders", "any"}));
    EXPECT_EQ(keysFor(MenuKind::Items, {files().write("b.md").string()}),
              (std::vector<std::string>{"files", "any", "md only"}));
    sync().setTargetURL("");
    EXPECT_EQ(keysFor(MenuKind::Container, {}), (std::vector<std::string>{"any"}));
}

TEST_F(Menu, FolderIconOffersRecoverWhenTheFolderHasACustomIcon) {
    setMainList({{{"key", "Folder Icon"}}});
    const auto folder = files().mkdir("pics");
    MenuList menu = menuFor(MenuKind::Items, {folder.string()});
    EXPECT_NE(menu[0].children->front().key, "Recover Icon");
    files().write("pics/.directory", "[Desktop Entry]\nIcon=folder-red\n");
    menu = menuFor(MenuKind::Items, {folder.string()});
    EXPECT_EQ(menu[0].children->front().key, "Recover Icon");
    EXPECT_EQ(menu[0].children->front().title, localized("Recover"));
    // A file cannot take a folder icon.
    EXPECT_TRUE(menuFor(MenuKind::Items, {files().write("a.txt").string()}).empty());
}

TEST_F(Menu, CommonPathsGrowListingsAndTargets) {
    const auto docs = files().mkdir("docs");
    files().write("docs/readme.txt");
    files().mkdir("docs/sub");
    setCommonPaths({docs.string()});
    setMainList({{{"key", "Common Path"}}, {{"key", "Copy to"}}, {{"key", "Terminal To"}}});
    const MenuList menu = menuFor(MenuKind::Items, {files().write("a.txt").string()});
    ASSERT_EQ(menu.size(), 3u);

    const MenuNode& path = menu[0].children->front();
    EXPECT_EQ(path.tag, 101);
    const std::vector<std::string> listing = keysOf(*path.children);
    EXPECT_EQ(listing.front(), "Show in Finder");
    EXPECT_EQ(path.children->front().tag, 10101);

    const MenuList& copyTargets = *menu[1].children;
    EXPECT_EQ(copyTargets.front().key, "Select Folder");
    EXPECT_EQ(copyTargets[1].key, docs.string());
    EXPECT_EQ(keysOf(*copyTargets[1].children),
              (std::vector<std::string>{"Current Directory", (docs / "sub").string()}));

    const MenuList& terminals = *menu[2].children;
    EXPECT_EQ(terminals.front().key, "Select Folder");
    EXPECT_FALSE(terminals[1].children);
}

TEST_F(Menu, JsonFormCarriesKeysTitlesIconsTagsAndTheSettingsAction) {
    setMainList(
        {{{"key", "Copy Path"}, {"icon", "copypath"}}, {{"key", "New File"}, {"foldUp", true}}});
    const MenuList menu = menuFor(MenuKind::Items, {files().write("a.txt").string()});
    const nlohmann::json json = menuToJson(menu);
    ASSERT_TRUE(json.is_array());
    EXPECT_EQ(json[0]["action"], "settings");
    EXPECT_EQ(json[0]["tag"], 0);
    EXPECT_EQ(json[1]["key"], "Copy Path");
    EXPECT_EQ(json[1]["tag"], 1);
    EXPECT_FALSE(json[1]["separator"].get<bool>());
    EXPECT_TRUE(json[1]["icon"].is_string());
    EXPECT_FALSE(json[1].contains("children"));
    EXPECT_EQ(json[0]["children"][0]["children"][0]["tag"], 201);
}

TEST(MenuJsonText, IsTheSameTextAsTheJsonDocumentAndAlwaysValid) {
    MenuNode fold;
    fold.key = "Trackfolio";
    fold.title = "Fold";
    fold.settingsAction = true;
    MenuNode child;
    child.key = "a \"quoted\" \\ key";
    child.title =
        std::string("tab\tnew line\ncontrol \x01 caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\x81");
    child.icon = ImageRef::file("/icons/a b.png");
    child.tag = 10203;
    fold.children = MenuList{child, MenuNode{}};
    MenuNode rule;
    rule.separator = true;
    const MenuList menu{fold, rule, child};
    EXPECT_EQ(menuJsonText(menu), dumpJson(menuToJson(menu), -1));
    EXPECT_EQ(menuJsonText({}), "[]");

    // Names from the disk need not be UTF-8: the text must still parse, bytes replaced.
    MenuNode odd;
    odd.title = std::string("a\xFF b\xC3 c\xED\xA0\x80 d\xF0\x9F\x93");
    const nlohmann::json parsed = nlohmann::json::parse(menuJsonText({odd}));
    const std::string title = parsed[0]["title"];
    EXPECT_EQ(title.rfind("a\xEF\xBF\xBD b", 0), 0u);
    EXPECT_NE(title.find(" d\xEF\xBF\xBD"), std::string::npos);
}

}  // namespace
}  // namespace tf::test
