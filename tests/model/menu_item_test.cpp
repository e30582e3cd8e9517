#include <gtest/gtest.h>

#include "model/menu_item.h"
#include "model/menu_manager.h"
#include "support/sandbox.h"
#include "util/strings.h"

namespace tf {
namespace {

class MenuItemTest : public test::SandboxTest {};

constexpr char kPngHeader[] = "\x89PNG\r\n\x1a\n0000";

TEST_F(MenuItemTest, IconFallsBackFromFileToResourceToTypeImage) {
    RCMenuItem item;
    EXPECT_TRUE(item.menuIcon().isNone());

    item.path = files().write("Report.DOC", "d").string();
    EXPECT_EQ(item.menuIcon(), ImageRef::resource("docx"));

    item.icon = "newfile";
    EXPECT_EQ(item.menuIcon(), ImageRef::resource("newfile"));

    item.iconPath = (files().path() / "missing.png").string();
    EXPECT_EQ(item.menuIcon(), ImageRef::resource("newfile"));

    // A file that exists but is not an image is no better than a missing one.
    item.iconPath = files().write("notes.png", "just text").string();
    EXPECT_EQ(item.menuIcon(), ImageRef::resource("newfile"));

    item.iconPath =
        files().write("real.png", std::string(kPngHeader, sizeof kPngHeader - 1)).string();
    EXPECT_EQ(item.menuIcon(), ImageRef::file(item.iconPath));
}

TEST_F(MenuItemTest, TypeImagesForPaths) {
    RCMenuItem item;
    item.path = files().mkdir("Folder.docx").string();
    EXPECT_EQ(item.menuIcon(), ImageRef::resource("folder"));
    item.path = files().write("sheet.XLS", "").string();
    EXPECT_EQ(item.menuIcon(), ImageRef::resource("xlsx"));
    item.path = files().write("thing.zzqq", "").string();
    EXPECT_EQ(item.menuIcon(), ImageRef::resource("file"));
    item.path = files().write("Makefile", "").string();
    EXPECT_EQ(item.menuIcon(), ImageRef::resource("file"));
    // A link to a folder is a file for this purpose.
    const auto link = files().path() / "link";
    std::filesystem::create_directory_symlink(files().path() / "Folder.docx", link);
    item.path = link.string();
    EXPECT_EQ(item.menuIcon(), ImageRef::resource("file"));
    // An unknown icon name falls through to the path.
    item.icon = "no-such-image-name";
    EXPECT_EQ(item.menuIcon(), ImageRef::resource("file"));
}

TEST_F(MenuItemTest, TitlesComeFromDisplayNameThenApplicationThenKey) {
    RCMenuItem item;
    item.key = "Copy Path";
    EXPECT_EQ(item.menuTitle(), localized("Copy Path"));
    item.key = "Some Unknown Key";
    EXPECT_EQ(item.menuTitle(), "Some Unknown Key");

    item.key = "Visual Studio Code";
    item.appName = "Visual Studio Code";
    EXPECT_EQ(item.menuTitle(), localized("Open With") + "Visual Studio Code");

    item.displayName = "  ";
    EXPECT_EQ(item.menuTitle(), localized("Open With") + "Visual Studio Code");
    item.displayName = "Code";
    EXPECT_EQ(item.menuTitle(), "Code");
}

TEST_F(MenuItemTest, ParentIsInvalidOnlyWhenEveryChildIsSwitchedOffInSettings) {
    RCMenuItem parent;
    EXPECT_TRUE(parent.isValidParent());
    parent.children.emplace();
    EXPECT_TRUE(parent.isValidParent());

    RCMenuItem a;
    a.key = "child a";
    RCMenuItem b;
    b.key = "child b";
    parent.children->push_back(a);
    parent.children->push_back(b);
    SettingsStore& settings = RCMenuManager::sharedInstance().sharedDefaults();
    EXPECT_TRUE(parent.isValidParent());
    ASSERT_TRUE(settings.set("child a", true));
    EXPECT_TRUE(parent.isValidParent());
    ASSERT_TRUE(settings.set("child b", true));
    EXPECT_FALSE(parent.isValidParent());
    ASSERT_TRUE(settings.set("child b", false));
    EXPECT_TRUE(parent.isValidParent());
}

TEST_F(MenuItemTest, PredicatesCompareKeysExactly) {
    RCMenuItem item;
    item.setKey("Terminal To");
    EXPECT_TRUE(item.isTerminalTo());
    item.setKey("iTerm2 To");
    EXPECT_TRUE(item.isTerminalTo());
    item.setKey("terminal to");
    EXPECT_FALSE(item.isTerminalTo());
    item.setKey("Convert to ");
    EXPECT_FALSE(item.isConvert());
}

TEST_F(MenuItemTest, FactoriesBuildTheFixedEntries) {
    const RCMenuItem set = RCMenuItem::setItem();
    EXPECT_EQ(set.key, "Go Set");
    EXPECT_EQ(set.icon, "set");
    EXPECT_TRUE(set.disabledAuth);
    const RCMenuItem sep = RCMenuItem::sepLineItem();
    EXPECT_TRUE(sep.isSepLine());
    EXPECT_EQ(sep.displayName, std::string(26, '-'));
    const RCMenuItem add = RCMenuItem::addToFileTemplate();
    EXPECT_TRUE(add.isAddToFileTemplate());
    EXPECT_EQ(add.icon, "add");
}

}  // namespace
}  // namespace tf
