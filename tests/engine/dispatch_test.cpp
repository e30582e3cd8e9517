#include <algorithm>

#include "fs/file_access.h"
#include "model/url_cache.h"
#include "support/engine_fixture.h"
#include "util/strings.h"

namespace tf::test {
namespace {

class Dispatch : public EngineTest {
  protected:
    // Records every call of the command instead of carrying it out.
    void record(CommandId id) {
        sync().commands().set(
            id, [this](FinderSync&, const CommandCall& call) { calls_.push_back(call); });
    }
    std::int64_t useCount() const { return dictInteger(*settings().snapshot(), kUseCountKey); }
    std::int64_t useCountOf(const std::string& key) const {
        const Value* perKey = find(*settings().snapshot(), kUseCountByKeyKey);
        return perKey && perKey->dict() ? dictInteger(*perKey->dict(), key) : 0;
    }
    bool click(std::int64_t tag) { return sync().activate(sync().menuId(), tag); }

    std::vector<CommandCall> calls_;
};

TEST_F(Dispatch, APlainEntryRunsItsCommandAndIsCounted) {
    setMainList({{{"key", "New File"}}, {{"key", "Copy Path"}}});
    record(CommandId::CopyPath);
    menuFor(MenuKind::Items, {files().write("a.txt").string()});
    ASSERT_TRUE(click(2));
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].item.key, "Copy Path");
    EXPECT_EQ(useCount(), 1);
    EXPECT_EQ(useCountOf("Copy Path"), 1);
}

TEST_F(Dispatch, ACommandNotBuiltYetSaysSoAndStillCounts) {
    setMainList({{{"key", "Extract Icon"}}});
    sync().commands().set(CommandId::ExtractIcon, nullptr);
    menuFor(MenuKind::Items, {files().write("a.txt").string()});
    ASSERT_TRUE(click(1));
    const std::vector<nlohmann::json> alerts = transcriptOf("alert");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]["message"], localized("Not Available"));
    EXPECT_NE(alerts[0]["informative"].get<std::string>().find(localized("Extract Icon")),
              std::string::npos);
    EXPECT_EQ(useCount(), 1);
}

TEST_F(Dispatch, SubmenuChildrenArriveWithTheirPositions) {
    record(CommandId::Convert);
    record(CommandId::FileInfo);
    setMainList({{{"key", "Convert to"}}, {{"key", "File Info"}}});
    menuFor(MenuKind::Items, {files().write("photo.jpg").string()});
    ASSERT_TRUE(click(106));  // Convert to > PNG
    menuFor(MenuKind::Items, {files().write("photo.jpg").string()});
    ASSERT_TRUE(click(206));  // File Info > CRC32
    ASSERT_EQ(calls_.size(), 2u);
    EXPECT_EQ(calls_[0].id, CommandId::Convert);
    EXPECT_EQ(calls_[0].item.key, "PNG");
    EXPECT_EQ(calls_[0].item.tag, 5);
    ASSERT_TRUE(calls_[0].parent);
    EXPECT_EQ(calls_[0].parent->key, "Convert to");
    EXPECT_EQ(calls_[1].item.key, "CRC32");
    EXPECT_EQ(calls_[1].item.tag, 5);
}

TEST_F(Dispatch, GoSetLaunchesTheSettingsApplicationAndCountsNothing) {
    setMainList({{{"key", "New File"}}});
    const MenuList menu = menuFor(MenuKind::Items, {files().write("a.txt").string()});
    const MenuNode& settingsEntry = menu[0].children->back();
    ASSERT_EQ(settingsEntry.key, "Go Set");
    ASSERT_TRUE(click(settingsEntry.tag));
    ASSERT_EQ(transcriptOf("launch-host").size(), 1u);
    EXPECT_EQ(useCount(), 0);
}

TEST_F(Dispatch, AnApplicationNamedLikeTheSettingsEntryOpensTheApplication) {
    setSetting("array common app", Value(Array{Value(Dict{{"key", "Go Set"}})}));
    installApplication("Go Set");
    setMainList({{{"key", "Common App"}}});
    record(CommandId::OpenWithApp);
    menuFor(MenuKind::Items, {files().write("a.txt").string()});
    ASSERT_TRUE(click(101));
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].item.appName, "Go Set");
    EXPECT_TRUE(transcriptOf("launch-host").empty());
}

TEST_F(Dispatch, StaleOrUnknownTagsRunNothing) {
    setMainList({{{"key", "Copy Path"}}, {{"key", "New File"}}});
    record(CommandId::CopyPath);
    record(CommandId::CreateFile);
    const std::string file = files().write("a.txt").string();

    menuFor(MenuKind::Items, {file});
    EXPECT_FALSE(click(3));    // no third entry
    EXPECT_FALSE(click(299));  // no such child
    EXPECT_FALSE(click(0));    // no fold entry in this menu
    const std::uint64_t old = sync().menuId();
    for (int i = 0; i < 4; ++i) {
        menuFor(MenuKind::Items, {file});
    }
    EXPECT_FALSE(sync().activate(old, 1));  // a menu long replaced
    ASSERT_TRUE(click(1));
    EXPECT_FALSE(click(1));  // the snapshot belongs to one click
    EXPECT_EQ(calls_.size(), 1u);
    EXPECT_EQ(useCount(), 1);
}

TEST_F(Dispatch, TheLatestMenuOfEachKindStaysClickableWithItsOwnSelection) {
    setMainList({{{"key", "Copy Path"}}});
    record(CommandId::CopyPath);
    const std::string folder = files().mkdir("shown").string();
    const std::string file = files().write("shown/a.txt").string();

    // Asked together, as a file manager does on every selection change.
    menuFor(MenuKind::Items, {file}, folder);
    const std::uint64_t items = sync().menuId();
    menuFor(MenuKind::Container, {}, folder);
    const std::uint64_t background = sync().menuId();
    ASSERT_NE(items, background);

    ASSERT_TRUE(sync().activate(items, 1));
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(sync().selectURLs(), std::vector<std::string>{file});
    EXPECT_FALSE(sync().activate(items, 1));  // one click per menu

    ASSERT_TRUE(sync().activate(background, 1));
    ASSERT_EQ(calls_.size(), 2u);
    EXPECT_EQ(sync().selectURLs(), std::vector<std::string>{folder});
    EXPECT_FALSE(sync().isSelectURL());

    // A file manager asking again while it shows an older menu: that menu still runs, with
    // the selection it was built for.
    const std::string other = files().write("shown/b.txt").string();
    menuFor(MenuKind::Items, {other}, folder);
    const std::uint64_t shown = sync().menuId();
    menuFor(MenuKind::Items, {file}, folder);
    EXPECT_GT(sync().menuId(), shown);
    ASSERT_TRUE(sync().activate(shown, 1));
    EXPECT_EQ(sync().selectURLs(), std::vector<std::string>{other});
    EXPECT_EQ(calls_.size(), 3u);

    // Only the last few of a kind are kept, and other kinds do not push them out; ids are
    // never reused.
    menuFor(MenuKind::Items, {file}, folder);
    const std::uint64_t oldest = sync().menuId();
    std::uint64_t newest = oldest;
    for (int i = 0; i < 4; ++i) {
        menuFor(MenuKind::Items, {file}, folder);
        EXPECT_GT(sync().menuId(), newest);
        newest = sync().menuId();
        menuFor(MenuKind::Container, {}, folder);
    }
    EXPECT_FALSE(sync().canActivate(oldest, 1));
    EXPECT_FALSE(sync().activate(oldest, 1));
    EXPECT_FALSE(sync().activate(items, 1));
    EXPECT_TRUE(sync().canActivate(oldest + 1, 1));
    EXPECT_TRUE(sync().activate(newest, 1));
    EXPECT_EQ(calls_.size(), 4u);
}

TEST_F(Dispatch, CanActivateAnswersAsActivateWouldWithoutRunningAnything) {
    setMainList({{{"key", "Copy Path"}}});
    record(CommandId::CopyPath);
    const std::string folder = files().mkdir("shown").string();
    const std::string file = files().write("shown/a.txt").string();

    EXPECT_FALSE(sync().canActivate(0, 1));
    menuFor(MenuKind::Items, {file}, folder);
    const std::uint64_t items = sync().menuId();
    menuFor(MenuKind::Container, {}, folder);
    const std::uint64_t background = sync().menuId();

    // Both the current menu and the kept one of the other kind answer, as often as asked.
    EXPECT_TRUE(sync().canActivate(background, 1));
    EXPECT_TRUE(sync().canActivate(items, 1));
    EXPECT_TRUE(sync().canActivate(items, 1));
    EXPECT_FALSE(sync().canActivate(items, 2));
    EXPECT_FALSE(sync().canActivate(items, 0));  // no fold entry
    EXPECT_FALSE(sync().canActivate(background + 1, 1));
    EXPECT_TRUE(calls_.empty());
    EXPECT_EQ(sync().menuId(), background);  // asking restored nothing

    ASSERT_TRUE(sync().activate(items, 1));
    EXPECT_FALSE(sync().canActivate(items, 1));  // clicked once
    EXPECT_TRUE(sync().canActivate(background, 1));
    ASSERT_TRUE(sync().activate(background, 1));
    EXPECT_FALSE(sync().canActivate(background, 1));
    EXPECT_EQ(calls_.size(), 2u);
}

TEST_F(Dispatch, CanActivateAcceptsTheFoldEntryOnlyInAFoldedMenu) {
    setMainList({{{"key", "Copy Path"}}, {{"key", "New File"}, {"foldUp", true}}});
    const std::string file = files().write("a.txt").string();
    const MenuList menu = menuFor(MenuKind::Items, {file});
    ASSERT_FALSE(menu.empty());
    ASSERT_EQ(menu[0].key, std::string(kFoldEntryKey));
    EXPECT_TRUE(sync().canActivate(sync().menuId(), 0));
    menuFor(MenuKind::Toolbar, {file});  // the toolbar ignores folding
    EXPECT_FALSE(sync().canActivate(sync().menuId(), 0));
}

TEST_F(Dispatch, ClickingASubmenuHeadRunsNothing) {
    setMainList({{{"key", "New File"}}});
    record(CommandId::CreateFile);
    menuFor(MenuKind::Items, {files().write("a.txt").string()});
    EXPECT_TRUE(click(1));
    EXPECT_TRUE(calls_.empty());
    EXPECT_EQ(useCount(), 0);
}

TEST_F(Dispatch, ThePermissionGateAsksOnceThenRemembersTheGrant) {
    const auto locked = files().mkdir("locked");
    const std::string file = files().write("locked/a.txt").string();
    setWritableCheck([&](const std::string& path) { return path != locked.string(); });
    setMainList({{{"key", "Copy Path"}}});
    record(CommandId::CopyPath);

    session({{{"folder", locked.string()}}});
    record(CommandId::CopyPath);
    menuFor(MenuKind::Items, {file});
    ASSERT_TRUE(click(1));
    ASSERT_EQ(transcriptOf("choose-folder").size(), 1u);
    EXPECT_EQ(calls_.size(), 1u);
    EXPECT_TRUE(RCURLCache::sharedInstance().urlWithAllowAccessToPath(locked.string()));

    menuFor(MenuKind::Items, {file});
    ASSERT_TRUE(click(1));
    EXPECT_EQ(transcriptOf("choose-folder").size(), 1u);
    EXPECT_EQ(calls_.size(), 2u);
}

TEST_F(Dispatch, CancellingTheGateRunsAndCountsNothing) {
    const auto locked = files().mkdir("locked");
    setWritableCheck([](const std::string&) { return false; });
    setMainList({{{"key", "Copy Path"}}, {{"key", "Color Picker"}}});
    record(CommandId::CopyPath);
    record(CommandId::ColorPicker);
    menuFor(MenuKind::Items, {files().write("locked/a.txt").string()});
    ASSERT_TRUE(click(1));
    EXPECT_EQ(transcriptOf("choose-folder").size(), 1u);
    EXPECT_TRUE(calls_.empty());
    EXPECT_EQ(useCount(), 0);

    // An entry that needs no folder access never asks.
    menuFor(MenuKind::Container, {}, locked.string());
    ASSERT_TRUE(click(2));
    EXPECT_EQ(transcriptOf("choose-folder").size(), 1u);
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].id, CommandId::ColorPicker);
}

TEST_F(Dispatch, CopyToTargetsTheCommonPathOrTheChosenSubfolder) {
    const auto target = files().mkdir("target");
    files().mkdir("target/inner");
    setCommonPaths({target.string()});
    setMainList({{{"key", "Copy to"}}, {{"key", "Move to"}}});
    record(CommandId::MoveCopy);
    const std::string file = files().write("a.txt").string();

    menuFor(MenuKind::Items, {file});
    ASSERT_TRUE(click(10201));  // Copy to > target > Current Directory
    menuFor(MenuKind::Items, {file});
    ASSERT_TRUE(click(20202));  // Move to > target > inner
    menuFor(MenuKind::Items, {file});
    ASSERT_TRUE(click(101));  // Copy to > Select Folder
    ASSERT_EQ(calls_.size(), 3u);
    EXPECT_EQ(calls_[0].item.path, target.string());
    EXPECT_TRUE(calls_[0].isCopy);
    EXPECT_EQ(calls_[1].item.path, (target / "inner").string());
    EXPECT_FALSE(calls_[1].isCopy);
    EXPECT_EQ(calls_[2].item.key, "Select Folder");
    EXPECT_TRUE(calls_[2].item.path.empty());
}

TEST_F(Dispatch, TerminalToSelectFolderAsksForTheFolder) {
    const auto there = files().mkdir("there");
    setMainList({{{"key", "Terminal To"}}});
    session({{{"folder", there.string()}}, {{"cancel", true}}});
    record(CommandId::OpenServe);
    const std::string file = files().write("a.txt").string();
    menuFor(MenuKind::Items, {file});
    ASSERT_TRUE(click(101));
    menuFor(MenuKind::Items, {file});
    ASSERT_TRUE(click(101));
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].path, there.string());
    EXPECT_EQ(calls_[0].serve, "New Terminal at Folder");
    EXPECT_EQ(transcriptOf("choose-folder").size(), 2u);
}

TEST_F(Dispatch, CommonPathEntriesPassTheFolderAndTheChosenListing) {
    const auto docs = files().mkdir("docs");
    files().write("docs/readme.txt");
    setCommonPaths({docs.string()});
    setMainList({{{"key", "Common Path"}}});
    record(CommandId::OpenCommonPath);
    menuFor(MenuKind::Items, {files().write("a.txt").string()});
    ASSERT_TRUE(click(10102));  // the listed file
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].path, docs.string());
    ASSERT_TRUE(calls_[0].grandchild);
    EXPECT_EQ(calls_[0].grandchild->path, (docs / "readme.txt").string());
}

TEST_F(Dispatch, TheThirdCommandAsksForAReviewUnlessOneWasWritten) {
    setSetting("is reviewed", Value(false));
    setMainList({{{"key", "Copy Path"}}});
    session({{{"button", 1}}});
    record(CommandId::CopyPath);
    sync().setReviewDelay(std::chrono::milliseconds(0));
    const std::string file = files().write("a.txt").string();
    for (int i = 0; i < 3; ++i) {
        menuFor(MenuKind::Items, {file});
        ASSERT_TRUE(click(1));
        ASSERT_TRUE(session_->waitUntilIdle(std::chrono::seconds(10)));
    }
    ASSERT_EQ(transcriptOf("alert").size(), 1u);
    EXPECT_EQ(transcriptOf("alert")[0]["message"], localized("Review Tip"));
    EXPECT_EQ(transcriptOf("open-url").size(), 1u);
    EXPECT_TRUE(dictBool(*settings().snapshot(), "is reviewed"));
    EXPECT_EQ(useCount(), 3);
}

TEST_F(Dispatch, BackgroundCommandsKeepTheProgressWindowUntilTheLastEnds) {
    setMainList({{{"key", "Copy Path"}}});
    std::atomic<int> finished{0};
    sync().commands().set(CommandId::CopyPath, [&](FinderSync& engine, const CommandCall&) {
        engine.beginBusy();
        engine.runInBackground([&] { ++finished; }, [&engine] { engine.endBusy(); });
    });
    const std::string file = files().write("a.txt").string();
    for (int i = 0; i < 2; ++i) {
        menuFor(MenuKind::Items, {file});
        ASSERT_TRUE(click(1));
    }
    EXPECT_EQ(sync().loadingCount(), 2);
    ASSERT_TRUE(session_->waitUntilIdle(std::chrono::seconds(10)));
    EXPECT_EQ(finished.load(), 2);
    EXPECT_EQ(sync().loadingCount(), 0);
    std::vector<std::string> steps;
    for (const nlohmann::json& line : transcriptOf("progress")) {
        steps.push_back(line["step"]);
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"open", "open", "close"}));
}

TEST_F(Dispatch, StartingTheServiceForgetsTheCutAndWatchesTheRoot) {
    ASSERT_TRUE(RCMenuManager::sharedInstance()
                    .updateMenuKey(kMainListKey, "Cut Paste", "cutPaths", Value(Array{"/x/a"}))
                    .ok);
    sync().startService({"/media/usb/", "/media/usb"});
    EXPECT_EQ(sync().directoryURLs(), (std::vector<std::string>{"/"}));
    for (const RCMenuItem& item : RCMenuManager::sharedInstance().menuItemArray()) {
        if (item.isCutPaste()) {
            EXPECT_TRUE(item.cutPaths.empty());
        }
    }
    setSetting("pref check3", Value(true));
    EXPECT_EQ(sync().setupDirectoryURLs({"/media/usb/", "/media/usb", "/"}),
              (std::vector<std::string>{"/", "/media/usb"}));
}

}  // namespace
}  // namespace tf::test
