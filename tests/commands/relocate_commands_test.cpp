// Embed, unembed, "Copy to", "Move to", cut and paste, driven through the menu as a user
// would click them.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cli/sync_cli.h"
#include "commands/relocate/relocate_commands.h"
#include "fs/file_access.h"
#include "fs/file_copy.h"
#include "runtime/queues.h"
#include "support/engine_fixture.h"
#include "support/mounts.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Positions in the main list set up by the fixture.
constexpr std::int64_t kEmbed = 1;
constexpr std::int64_t kUnembed = 2;
constexpr std::int64_t kCopyTo = 3;
constexpr std::int64_t kMoveTo = 4;
constexpr std::int64_t kCutPaste = 5;
// "Select Folder" is the first child of "Copy to" and "Move to".
constexpr std::int64_t kCopyToChosen = kCopyTo * 100 + 1;
constexpr std::int64_t kMoveToChosen = kMoveTo * 100 + 1;

class RelocateCommands : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        setMainList({{{"key", "Embed in Folder"}},
                     {{"key", "Unembed Folder"}},
                     {{"key", "Copy to"}},
                     {{"key", "Move to"}},
                     {{"key", "Cut Paste"}}});
        setRelocateProgressTuning({});
    }
    void TearDown() override {
        setRenameFunctionForTesting(nullptr);
        setFolderLister(nullptr);
        setRelocateProgressTuning({});
        EngineTest::TearDown();
    }

    fs::path dir(const std::string& relative) { return files().mkdir(relative); }
    fs::path file(const std::string& relative, std::string_view content = "x") {
        return files().write(relative, content);
    }

    // Clicks the entry with this tag in the menu for the selected items, then lets every
    // command end.
    void clickOnItems(const std::vector<fs::path>& items, std::int64_t tag) {
        std::vector<std::string> selection;
        for (const fs::path& item : items) {
            selection.push_back(item.string());
        }
        menuFor(MenuKind::Items, selection, items.front().parent_path().string());
        clickAndWait(tag);
    }
    void clickOnBackground(const fs::path& folder, std::int64_t tag) {
        menuFor(MenuKind::Container, {}, folder.string());
        clickAndWait(tag);
    }
    void clickAndWait(std::int64_t tag) {
        ASSERT_TRUE(sync().activate(sync().menuId(), tag)) << tag;
        ASSERT_TRUE(session_->waitUntilIdle(std::chrono::seconds(30)));
        EXPECT_EQ(sync().loadingCount(), 0);
        EXPECT_FALSE(session_->ui().isOpen());
    }
    // "Copy to" / "Move to" > common folder, or its "Current Directory" when the folder has
    // subfolders to offer.
    std::int64_t commonFolderTag(const std::vector<fs::path>& items, const std::string& entry,
                                 const fs::path& folder) {
        std::vector<std::string> selection;
        for (const fs::path& item : items) {
            selection.push_back(item.string());
        }
        const MenuList menu = menuFor(MenuKind::Items, selection);
        const MenuNode* top = nodeWithKey(menu, entry);
        EXPECT_TRUE(top && top->children);
        const MenuNode* child = top ? nodeWithKey(*top->children, folder.string()) : nullptr;
        EXPECT_NE(child, nullptr);
        if (child == nullptr) {
            return 0;
        }
        return child->children && !child->children->empty() ? child->children->front().tag
                                                            : child->tag;
    }

    std::vector<std::string> cutPaths() {
        for (const RCMenuItem& item : RCMenuManager::sharedInstance().menuItemArray()) {
            if (item.key == "Cut Paste") {
                return item.cutPaths;
            }
        }
        return {};
    }

    std::vector<std::string> progressSteps() const {
        std::vector<std::string> steps;
        for (const json& line : transcriptOf("progress")) {
            steps.push_back(line["step"]);
        }
        return steps;
    }
    bool hasStep(std::string_view step) const {
        const std::vector<std::string> steps = progressSteps();
        return std::find(steps.begin(), steps.end(), step) != steps.end();
    }
    // Alerts whose message or text holds `text`.
    std::size_t alertsMentioning(std::string_view text) const {
        std::size_t count = 0;
        for (const json& alert : transcriptOf("alert")) {
            const std::string shown = alert["message"].get<std::string>() + "\n" +
                                      alert["informative"].get<std::string>();
            count += shown.find(text) != std::string::npos ? 1 : 0;
        }
        return count;
    }
    enum class Way { CopyTo, MoveTo, Paste };
    // Copies, moves or cuts and pastes the items into `to`; `answers` follow the folder choice.
    void relocate(Way way, const std::vector<fs::path>& items, const fs::path& to,
                  std::vector<json> answers) {
        if (way != Way::Paste) {
            answers.insert(answers.begin(), json{{"folder", to.string()}});
        }
        session(std::move(answers));
        if (way == Way::Paste) {
            clickOnItems(items, kCutPaste);
            clickOnBackground(to, kCutPaste);
        } else {
            clickOnItems(items, way == Way::CopyTo ? kCopyToChosen : kMoveToChosen);
        }
    }
    static std::string sameItemText(const std::string& name) {
        return localizedFormat("Same Item Tip", {name});
    }
    static std::vector<std::string> entriesOf(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

// ---- Embed --------------------------------------------------------------------------------

TEST_F(RelocateCommands, EmbeddingOneItemNamesTheFolderAfterItWithoutAsking) {
    dir("a");
    const fs::path item = file("a.txt", "alpha");
    clickOnItems({item}, kEmbed);
    EXPECT_EQ(readFile(files().path() / "a-1/a.txt"), "alpha");
    EXPECT_FALSE(fs::exists(item));
    EXPECT_TRUE(fs::is_empty(files().path() / "a"));
    EXPECT_TRUE(transcriptOf("text").empty());
    EXPECT_TRUE(transcriptOf("alert").empty());

    const fs::path photos = dir("Photos");
    file("Photos/p.jpg");
    clickOnItems({photos}, kEmbed);
    EXPECT_TRUE(fs::exists(files().path() / "Photos-1/Photos/p.jpg"));
    EXPECT_FALSE(fs::exists(photos));
}

TEST_F(RelocateCommands, EmbeddingSeveralItemsAsksNameAndModeAndSortsByExtension) {
    session({{{"text", "box"}}, {{"button", 2}}});
    const fs::path x = file("x.jpg");
    const fs::path y = file("y.JPG");
    const fs::path notes = file("notes");
    clickOnItems({x, y, notes}, kEmbed);

    const std::vector<json> asked = transcriptOf("text");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0]["message"], localized("Embed in Folder"));
    EXPECT_EQ(asked[0]["default"], localized("Untitled"));
    const std::vector<json> modes = transcriptOf("alert");
    ASSERT_EQ(modes.size(), 1u);
    EXPECT_EQ(modes[0]["message"], localized("Mode"));
    EXPECT_EQ(modes[0]["buttons"],
              json({localized("Not classified"), localized("Classify by file extension"),
                    localized("Cancel")}));

    const fs::path box = files().path() / "box";
    EXPECT_EQ(entriesOf(box), (std::vector<std::string>{"jpg", "notes"}));
    EXPECT_EQ(entriesOf(box / "jpg"), (std::vector<std::string>{"x.jpg", "y.JPG"}));
}

TEST_F(RelocateCommands, EmbeddingWithoutClassifyingPutsEverythingInTheFolder) {
    session({{{"text", "box"}}, {{"button", 1}}});
    const fs::path x = file("x.jpg");
    const fs::path folder = dir("sub");
    clickOnItems({x, folder}, kEmbed);
    EXPECT_EQ(entriesOf(files().path() / "box"), (std::vector<std::string>{"sub", "x.jpg"}));
}

TEST_F(RelocateCommands, CancellingOrAnUnusableNameEmbedsNothing) {
    // An unusable name is answered with an alert saying why, which the user confirms.
    session({{{"cancel", true}},
             {{"text", "box"}},
             {{"button", 3}},
             {{"text", "  "}},
             {{"button", 1}},
             {{"text", "a/b"}},
             {{"button", 1}},
             {{"text", ".."}},
             {{"button", 1}},
             {{"text", "."}},
             {{"button", 1}}});
    const fs::path x = file("x.jpg");
    const fs::path y = file("y.txt");
    for (int attempt = 0; attempt < 6; ++attempt) {
        clickOnItems({x, y}, kEmbed);
    }
    EXPECT_EQ(entriesOf(files().path()), (std::vector<std::string>{"x.jpg", "y.txt"}));
    EXPECT_EQ(session_->ui().answersLeft(), 0u);

    EXPECT_EQ(alertsMentioning(localized("Folder Name Empty Tip")), 1u);
    for (const char* name : {"a/b", "..", "."}) {
        EXPECT_EQ(alertsMentioning(localizedFormat("Folder Name Invalid Tip", {name})), 1u);
    }
}

TEST_F(RelocateCommands, AnItemThatCannotBeEmbeddedIsReportedAndTheOthersStillMove) {
    session({{{"text", "box"}}, {{"button", 1}}});
    const fs::path a = file("a.txt");
    const fs::path gone = file("gone.txt");
    const fs::path c = file("c.txt");
    menuFor(MenuKind::Items, {a.string(), gone.string(), c.string()});
    fs::remove(gone);
    clickAndWait(kEmbed);
    EXPECT_EQ(entriesOf(files().path() / "box"), (std::vector<std::string>{"a.txt", "c.txt"}));
    ASSERT_EQ(transcriptOf("alert").size(), 2u);
    EXPECT_EQ(transcriptOf("alert")[1]["message"], localized("Error Common Tip"));
    EXPECT_EQ(alertsMentioning("gone.txt"), 1u);
}

// ---- Unembed ------------------------------------------------------------------------------

TEST_F(RelocateCommands, UnembeddingMovesEverythingUpAndRemovesTheFolder) {
    file("b.txt", "outer");
    const fs::path folder = dir("f");
    file("f/b.txt", "inner");
    file("f/.env", "SECRET=1");
    file("f/sub/deep.txt");
    file("f/.DS_Store");
    clickOnItems({folder}, kUnembed);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(readFile(files().path() / "b.txt"), "outer");
    EXPECT_EQ(readFile(files().path() / "b-1.txt"), "inner");
    // Hidden files of the user's come along; the folder's own metadata went with it.
    EXPECT_EQ(readFile(files().path() / ".env"), "SECRET=1");
    EXPECT_TRUE(fs::exists(files().path() / "sub/deep.txt"));
    EXPECT_FALSE(fs::exists(files().path() / ".DS_Store"));
    EXPECT_TRUE(transcriptOf("alert").empty());
}

TEST_F(RelocateCommands, AFolderWithNothingToMoveOutSaysSoAndStays) {
    const fs::path metadataOnly = dir("meta");
    file("meta/.DS_Store");
    file("meta/.directory");
    const fs::path empty = dir("empty");
    const fs::path plain = file("plain.txt");
    clickOnItems({metadataOnly, plain, empty}, kUnembed);
    EXPECT_TRUE(fs::exists(metadataOnly / ".DS_Store"));
    EXPECT_TRUE(fs::exists(empty));
    EXPECT_TRUE(fs::exists(plain));
    EXPECT_EQ(alertsMentioning(localized("Empty Folder Tip")), 2u);
}

TEST_F(RelocateCommands, AFailedMoveOutStopsTheWholeUnembed) {
    const fs::path first = dir("first");
    file("first/ok.txt");
    file("first/stays.txt");
    const fs::path second = dir("second");
    file("second/untouched.txt");
    // "ghost" is listed but cannot be moved.
    setFolderLister([&](const std::string& path) -> std::optional<std::vector<std::string>> {
        if (path == first.string()) {
            return std::vector<std::string>{"ok.txt", "ghost", "stays.txt"};
        }
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    });
    clickOnItems({first, second}, kUnembed);
    EXPECT_TRUE(fs::exists(files().path() / "ok.txt"));
    EXPECT_TRUE(fs::exists(first / "stays.txt"));
    EXPECT_TRUE(fs::exists(second / "untouched.txt"));
    ASSERT_EQ(transcriptOf("alert").size(), 1u);
    EXPECT_EQ(transcriptOf("alert")[0]["message"], localized("Error Common Tip"));
    EXPECT_EQ(alertsMentioning("ghost"), 1u);
}

// ---- Copy to / Move to --------------------------------------------------------------------

TEST_F(RelocateCommands, MoveToACommonFolderKeepsBothWhenTheNameIsTaken) {
    const fs::path common = dir("common");
    dir("common/archive");
    file("common/report.pdf", "old");
    setCommonPaths({common.string()});
    session({{{"button", "Keep Both"}}});
    const fs::path item = file("work/report.pdf", "new");
    const std::int64_t tag = commonFolderTag({item}, "Move to", common);
    clickAndWait(tag);
    EXPECT_EQ(readFile(common / "report.pdf"), "old");
    EXPECT_EQ(readFile(common / "report-1.pdf"), "new");
    EXPECT_FALSE(fs::exists(item));
    const std::vector<std::string> steps = progressSteps();
    ASSERT_GE(steps.size(), 3u);
    EXPECT_EQ(steps[0], "open");
    EXPECT_EQ(steps[1], "success");
    EXPECT_EQ(steps.back(), "close");
    EXPECT_EQ(transcriptOf("progress")[1]["message"], localized("Success Common Tip"));
}

TEST_F(RelocateCommands, CopyToWithoutAFolderAsksForOneAndCancelDoesNothing) {
    session({{{"cancel", true}}});
    const fs::path item = file("a.txt");
    clickOnItems({item}, kCopyToChosen);
    const std::vector<json> chooser = transcriptOf("choose-folder");
    ASSERT_EQ(chooser.size(), 1u);
    EXPECT_EQ(chooser[0]["prompt"], trim(localized("Copy")));
    EXPECT_TRUE(progressSteps().empty());
    EXPECT_EQ(entriesOf(files().path()), std::vector<std::string>{"a.txt"});

    const fs::path to = dir("to");
    session({{{"folder", to.string()}}});
    clickOnItems({item}, kMoveToChosen);
    EXPECT_EQ(transcriptOf("choose-folder")[1]["prompt"], localized("Move"));
    EXPECT_TRUE(fs::exists(to / "a.txt"));
    EXPECT_FALSE(fs::exists(item));
}

TEST_F(RelocateCommands, CopyToCopiesTreesAndReportsProgress) {
    setRelocateProgressTuning({std::chrono::milliseconds(0), 64 * 1024});
    const fs::path to = dir("to");
    const fs::path tree = dir("tree");
    file("tree/big.bin", std::string(1024 * 1024, 'z'));
    file("tree/small.txt", "s");
    fs::create_symlink("small.txt", tree / "link");
    session({{{"folder", to.string()}}});
    clickOnItems({tree}, kCopyToChosen);
    EXPECT_EQ(readFile(to / "tree/big.bin").size(), 1024u * 1024u);
    EXPECT_TRUE(fs::is_symlink(to / "tree/link"));
    EXPECT_TRUE(fs::exists(tree / "big.bin"));

    // open, percent..., success, then only closing.
    const std::vector<std::string> steps = progressSteps();
    const auto success = std::find(steps.begin(), steps.end(), "success");
    ASSERT_NE(success, steps.end());
    ASSERT_GT(success - steps.begin(), 2);
    EXPECT_EQ(steps.front(), "open");
    EXPECT_TRUE(std::all_of(steps.begin() + 1, success,
                            [](const std::string& step) { return step == "percent"; }));
    EXPECT_TRUE(std::all_of(success + 1, steps.end(),
                            [](const std::string& step) { return step == "close"; }));
    EXPECT_NE(success + 1, steps.end());
    std::vector<double> percents;
    for (const json& line : transcriptOf("progress")) {
        if (line["step"] == "percent") {
            percents.push_back(line["percent"]);
        }
    }
    EXPECT_GT(percents.size(), 10u);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_DOUBLE_EQ(percents.back(), 1.0);
}

TEST_F(RelocateCommands, AnItemThatFailsIsNamedAndNoSuccessIsShown) {
    const fs::path to = dir("to");
    const fs::path good = file("good.txt");
    const fs::path gone = file("gone.txt");
    session({{{"folder", to.string()}}});
    menuFor(MenuKind::Items, {good.string(), gone.string()});
    fs::remove(gone);
    clickAndWait(kCopyToChosen);
    EXPECT_TRUE(fs::exists(to / "good.txt"));
    EXPECT_FALSE(hasStep("success"));
    ASSERT_EQ(transcriptOf("alert").size(), 1u);
    EXPECT_EQ(transcriptOf("alert")[0]["message"], localized("Error Common Tip"));
    EXPECT_EQ(alertsMentioning("gone.txt"), 1u);
}

TEST_F(RelocateCommands, AMoveRefusedByTheFileSystemExplainsAccess) {
    setRenameFunctionForTesting([](const std::string&, const std::string&) { return EACCES; });
    const fs::path to = dir("to");
    const fs::path item = file("a.txt");
    session({{{"folder", to.string()}}, {{"button", 1}}, {{"button", 2}}});
    clickOnItems({item}, kMoveToChosen);
    EXPECT_TRUE(fs::exists(item));
    EXPECT_FALSE(fs::exists(to / "a.txt"));
    EXPECT_FALSE(hasStep("success"));
    const std::vector<json> alerts = transcriptOf("alert");
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[0]["message"], localized("Error Common Tip"));
    EXPECT_EQ(alerts[1]["informative"], localized("Auth Full Disk Access Tip"));
}

TEST_F(RelocateCommands, AGateRefusalRunsNothing) {
    const fs::path to = dir("to");
    setWritableCheck([&](const std::string& path) { return path != to.string(); });
    const fs::path item = file("a.txt");
    session({{{"folder", to.string()}}, {{"cancel", true}}});
    clickOnItems({item}, kCopyToChosen);
    EXPECT_EQ(transcriptOf("choose-folder").size(), 2u);
    EXPECT_FALSE(fs::exists(to / "a.txt"));
    EXPECT_TRUE(progressSteps().empty());
}

TEST_F(RelocateCommands, CancelStopsTheCopyAndRemovesWhatItMade) {
    // The move stands for one across file systems and waits until Cancel has been pressed,
    // so the copy starts with the cancel already requested.
    std::atomic<bool> pressed{false};
    setRenameFunctionForTesting([&](const std::string&, const std::string&) {
        for (int i = 0; i < 3000 && !pressed.load(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return EXDEV;
    });
    const fs::path to = dir("to");
    const fs::path tree = dir("tree");
    file("tree/data.bin", std::string(256 * 1024, 'd'));
    session({{{"folder", to.string()}}});
    menuFor(MenuKind::Items, {tree.string()});
    foreQueue().post(
        [&] {
            session_->ui().pressCancel();
            pressed = true;
        },
        {});
    clickAndWait(kMoveToChosen);
    EXPECT_TRUE(fs::exists(tree / "data.bin"));
    EXPECT_FALSE(fs::exists(to / "tree"));
    EXPECT_TRUE(hasStep("cancel"));
    EXPECT_FALSE(hasStep("success"));
    EXPECT_TRUE(transcriptOf("alert").empty());
}

TEST_F(RelocateCommands, NothingIsCopiedOrMovedOntoOrIntoItself) {
    const fs::path project = dir("project");
    file("project/main.c", "int main;");
    const fs::path inner = dir("project/sub");
    // Into its own subfolder, and into itself.
    session({{{"folder", inner.string()}},
             {{"button", 1}},
             {{"folder", project.string()}},
             {{"button", 1}}});
    clickOnItems({project}, kCopyToChosen);
    clickOnItems({project}, kMoveToChosen);
    EXPECT_EQ(alertsMentioning(sameItemText("project")), 2u);
    EXPECT_EQ(entriesOf(project), (std::vector<std::string>{"main.c", "sub"}));
    EXPECT_TRUE(fs::is_empty(inner));

    // A move into the folder that already holds the item.
    const fs::path item = file("a.txt", "keep me");
    session({{{"folder", files().path().string()}}});
    clickOnItems({item}, kMoveToChosen);
    EXPECT_EQ(alertsMentioning(sameItemText("a.txt")), 1u);
    EXPECT_EQ(readFile(item), "keep me");
    EXPECT_TRUE(progressSteps().empty());
}

TEST_F(RelocateCommands, ReplacingTheSourceWithItselfIsRefused) {
    const fs::path item = file("a.txt", "keep me");
    const std::string here = files().path().string();
    session({{{"folder", here}},
             {{"button", "Replace"}},
             {{"button", 1}},
             {{"folder", here}},
             {{"button", "Keep Both"}}});
    clickOnItems({item}, kCopyToChosen);
    EXPECT_EQ(alertsMentioning(sameItemText("a.txt")), 1u);
    EXPECT_EQ(readFile(item), "keep me");
    EXPECT_FALSE(fs::exists(files().path() / "a-1.txt"));

    // Keep Both makes a duplicate beside it.
    clickOnItems({item}, kCopyToChosen);
    EXPECT_EQ(readFile(files().path() / "a-1.txt"), "keep me");
    EXPECT_EQ(readFile(item), "keep me");

    // The existing item holds the source: /d/a/a moved into /d would replace /d/a.
    const fs::path nested = file("d/a/a", "nested");
    session({{{"folder", (files().path() / "d").string()}}, {{"button", "Replace"}}});
    clickOnItems({nested}, kMoveToChosen);
    EXPECT_EQ(alertsMentioning(sameItemText("a")), 1u);
    EXPECT_EQ(readFile(nested), "nested");
}

// ---- Replace and Stop ---------------------------------------------------------------------

TEST_F(RelocateCommands, ReplacingOnAFullDiskKeepsTheOldItem) {
    const fs::path to = files().path() / "disk";
    std::string why;
    const auto disk = ScopedMount::mount("tmpfs", to, "tmpfs", 0, "size=1m", why);
    if (!disk) {
        GTEST_SKIP() << why;
    }
    for (const Way way : {Way::CopyTo, Way::MoveTo, Way::Paste}) {
        // A file, and a folder holding one.
        for (const std::string inside : {"", "/in"}) {
            SCOPED_TRACE(inside + std::to_string(int(way)));
            const fs::path old = file("disk/item" + inside, "old");
            const fs::path item = file("from/item" + inside, std::string(3 << 20, 'n'));
            relocate(way, {files().path() / "from/item"}, to, {{{"button", "Replace"}}});
            EXPECT_EQ(readFile(old), "old");
            EXPECT_EQ(entriesOf(to), std::vector<std::string>{"item"});
            EXPECT_TRUE(fs::exists(item));
            EXPECT_EQ(transcriptOf("alert").back()["message"], localized("Error Common Tip"));
            fs::remove_all(to / "item");
            fs::remove_all(files().path() / "from");
        }
    }
}

TEST_F(RelocateCommands, AFolderHoldingTheSourceThroughABindMountIsNeverReplaced) {
    const fs::path real = dir("real");
    std::string why;
    const auto alias =
        ScopedMount::mount(real, files().path() / "alias", nullptr, MS_BIND, {}, why);
    if (!alias) {
        GTEST_SKIP() << why;
    }
    // alias/d/d moved into real: real/d is in the way and is the folder holding it.
    file("real/d/d", "selected");
    for (const Way way : {Way::CopyTo, Way::MoveTo, Way::Paste}) {
        relocate(way, {files().path() / "alias/d/d"}, real, {{{"button", "Replace"}}});
        EXPECT_EQ(readFile(real / "d/d"), "selected");
        EXPECT_EQ(transcriptOf("alert").back()["informative"], sameItemText("d"));
    }
}

TEST_F(RelocateCommands, StopEndsTheWholeBatchAndSaysHowFarItGot) {
    const fs::path to = dir("to");
    for (const Way way : {Way::CopyTo, Way::MoveTo, Way::Paste}) {
        std::vector<fs::path> items;
        for (const std::string name : {"a", "b", "c"}) {
            items.push_back(file("from/" + name, "new"));
            file("to/" + name, "theirs");
        }
        const std::size_t before = transcriptOf("alert").size();
        relocate(way, items, to, {{{"button", "Keep Both"}}, {{"button", "Stop"}}});
        // Two questions, none about c, then what happened.
        EXPECT_EQ(entriesOf(to), (std::vector<std::string>{"a", "a-1", "b", "c"}));
        EXPECT_EQ(readFile(to / "c"), "theirs");
        EXPECT_EQ(transcriptOf("alert").size(), before + 3);
        EXPECT_EQ(transcriptOf("alert").back()["informative"],
                  localizedFormat("Stopped Batch Tip", {"1", "3"}));
        fs::remove(to / "a-1");
    }
    EXPECT_FALSE(hasStep("success"));
}

// ---- Cut and paste ------------------------------------------------------------------------

TEST_F(RelocateCommands, CutThenPasteMovesTheItemsAndForgetsThem) {
    const fs::path a = file("from/a.txt", "A");
    const fs::path b = file("from/b.txt", "B");
    const fs::path to = dir("to");
    clickOnItems({a, b}, kCutPaste);
    EXPECT_EQ(cutPaths(), (std::vector<std::string>{a.string(), b.string()}));
    EXPECT_TRUE(fs::exists(a));

    const MenuList menu = menuFor(MenuKind::Container, {}, to.string());
    const MenuNode* paste = nodeWithKey(menu, "Cut Paste");
    ASSERT_NE(paste, nullptr);
    EXPECT_EQ(paste->title, localized("Paste"));
    clickAndWait(kCutPaste);
    EXPECT_EQ(readFile(to / "a.txt"), "A");
    EXPECT_EQ(readFile(to / "b.txt"), "B");
    EXPECT_FALSE(fs::exists(a));
    EXPECT_TRUE(cutPaths().empty());
}

TEST_F(RelocateCommands, ASecondCutReplacesTheFirst) {
    const fs::path a = file("a.txt");
    const fs::path b = file("b.txt");
    clickOnItems({a}, kCutPaste);
    clickOnItems({b}, kCutPaste);
    EXPECT_EQ(cutPaths(), std::vector<std::string>{b.string()});
}

TEST_F(RelocateCommands, PastingAVanishedItemNamesItAndMovesTheRest) {
    const fs::path a = file("from/a.txt");
    const fs::path b = file("from/b.txt");
    const fs::path to = dir("to");
    file("to/b.txt", "theirs");
    session({{{"button", 1}}, {{"button", "Keep Both"}}});
    clickOnItems({a, b}, kCutPaste);
    fs::remove(a);
    clickOnBackground(to, kCutPaste);
    EXPECT_TRUE(fs::exists(to / "b-1.txt"));
    EXPECT_EQ(readFile(to / "b.txt"), "theirs");
    EXPECT_TRUE(cutPaths().empty());
    // The failure, then the overwrite question; nothing about access.
    const std::vector<json> alerts = transcriptOf("alert");
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[0]["message"], localized("Error Common Tip"));
    EXPECT_EQ(alertsMentioning("a.txt"), 1u);
}

TEST_F(RelocateCommands, APasteRefusedByTheFileSystemExplainsAccess) {
    const fs::path a = file("from/a.txt");
    const fs::path to = dir("to");
    clickOnItems({a}, kCutPaste);
    setRenameFunctionForTesting([](const std::string&, const std::string&) { return EPERM; });
    clickOnBackground(to, kCutPaste);
    EXPECT_TRUE(fs::exists(a));
    EXPECT_EQ(alertsMentioning(localized("Error Common Tip")), 1u);
    EXPECT_EQ(alertsMentioning(localized("Auth Full Disk Access Tip")), 1u);
    EXPECT_TRUE(cutPaths().empty());
}

// ---- Hostile names and the command line ---------------------------------------------------

TEST_F(RelocateCommands, NamesThatLookLikeShellCommandsAreJustNames) {
    const std::vector<std::string> names = {"a\"; touch pwned; \".txt", "$(touch pwned).txt",
                                            "`touch pwned`", "x'; touch pwned #.jpg"};
    const fs::path to = dir("to");
    const fs::path folder = dir("$(touch pwned)");
    for (const std::string& name : names) {
        file(name, name);
        file("$(touch pwned)/" + name, name);
    }
    // Embed one, unembed the folder, copy, move, cut and paste.
    clickOnItems({files().path() / names[0]}, kEmbed);
    clickOnItems({folder}, kUnembed);
    session({{{"folder", to.string()}}, {{"folder", to.string()}}});
    clickOnItems({files().path() / names[1]}, kCopyToChosen);
    clickOnItems({files().path() / names[2]}, kMoveToChosen);
    clickOnItems({files().path() / names[3]}, kCutPaste);
    clickOnBackground(to, kCutPaste);

    EXPECT_EQ(readFile(files().path() / "a\"; touch pwned; \"/" / names[0]), names[0]);
    EXPECT_EQ(readFile(to / names[1]), names[1]);
    EXPECT_EQ(readFile(to / names[2]), names[2]);
    EXPECT_EQ(readFile(to / names[3]), names[3]);
    EXPECT_FALSE(fs::exists(folder));
    for (const fs::path& root : {files().path(), home()}) {
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            EXPECT_NE(entry.path().filename(), "pwned") << entry.path();
        }
    }
    EXPECT_FALSE(fs::exists(fs::current_path() / "pwned"));
    EXPECT_TRUE(transcriptOf("process").empty());
}

TEST_F(RelocateCommands, CopyToRunsFromTheCommandLine) {
    const fs::path tree = dir("tree");
    file("tree/a.txt", "A");
    const fs::path to = dir("to");
    const fs::path answers = file("answers.jsonl", json({{"folder", to.string()}}).dump() + "\n");
    const fs::path transcript = files().path() / "t.jsonl";
    const CliResult menu = runCli(&runSyncCommand, {"menu", "--json", tree.string()});
    ASSERT_EQ(menu.status, 0) << menu.err;
    std::int64_t tag = 0;
    for (const json& entry : json::parse(menu.out)) {
        if (entry["key"] == "Copy to") {
            tag = entry["children"][0]["tag"];
            EXPECT_EQ(entry["children"][0]["key"], "Select Folder");
        }
    }
    ASSERT_EQ(tag, kCopyToChosen);
    const CliResult run =
        runCli(&runSyncCommand, {"run", "--tag", std::to_string(tag), "--answers", answers.string(),
                                 "--transcript", transcript.string(), tree.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(to / "tree/a.txt"), "A");
    const std::string lines = readFile(transcript);
    EXPECT_NE(lines.find("\"step\":\"success\""), std::string::npos) << lines;
    EXPECT_EQ(lines.find("\"type\":\"alert\""), std::string::npos) << lines;
}

}  // namespace
}  // namespace tf::test
