// Open with, terminals, common paths, copy path, delete and the hand-off, driven through the
// menu as a user would.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string_view>
#include <utility>

#include "cli/sync_cli.h"
#include "commands/builtin_commands.h"
#include "commands/open/open_commands.h"
#include "fs/file_access.h"
#include "platform/test_recorder.h"
#include "support/engine_fixture.h"
#include "util/strings.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Paths = std::vector<std::string>;

// A desktop that refuses what the test says it refuses, and remembers every request.
class FakeWorkspace : public Workspace {
  public:
    bool launchApplication(std::string_view application, const Paths& paths) override {
        launches.emplace_back(std::string(application), paths);
        return launchWorks(paths);
    }
    bool openPath(const std::string& path) override {
        opened.push_back(path);
        return openWorks;
    }
    bool openUrl(const std::string&) override { return true; }
    bool launchHostApplication(const Paths& paths) override {
        handedOff.push_back(paths);
        return hostWorks;
    }
    bool runService(std::string_view, const Paths&) override { return false; }
    std::vector<bool> hasApplications(const Paths& applications) override {
        asked.insert(asked.end(), applications.begin(), applications.end());
        std::vector<bool> answers;
        for (const std::string& application : applications) {
            answers.push_back(std::find(missing.begin(), missing.end(), application) ==
                              missing.end());
        }
        return answers;
    }

    std::function<bool(const Paths&)> launchWorks = [](const Paths&) { return true; };
    Paths missing;
    Paths asked;
    bool openWorks = true;
    bool hostWorks = true;
    std::vector<std::pair<std::string, Paths>> launches;
    Paths opened;
    std::vector<Paths> handedOff;
};

// The engine on the headless prompts with the fake desktop.
struct FakeDesktop {
    explicit FakeDesktop(Transcript& transcript) : ui(AnswerScript(), transcript) {
        Ports ports;
        ports.ui = &ui;
        ports.progress = &ui;
        ports.pasteboard = &ui;
        ports.workspace = &workspace;
        ports.processes = &runner;
        ports.clock = &clock;
        sync = std::make_unique<FinderSync>(ports);
        registerBuiltinCommands(sync->commands());
    }
    bool click(MenuKind kind, Paths selection, std::string target, std::int64_t tag) {
        sync->setSelectedItemURLs(std::move(selection));
        sync->setTargetURL(std::move(target));
        sync->menuForMenuKind(kind);
        return sync->activate(sync->menuId(), tag);
    }

    HeadlessUi ui;
    FakeWorkspace workspace;
    PosixProcessRunner runner;
    SystemClock clock;
    std::unique_ptr<FinderSync> sync;
};

Dict app(const std::string& name) {
    return {{"key", name}, {"appName", name}};
}

// Sets or clears the immutable attribute; false when the file system does not have it.
bool setImmutable(const fs::path& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

class OpenCommands : public EngineTest {
  protected:
    void clickAndWait(std::int64_t tag) {
        ASSERT_TRUE(sync().activate(sync().menuId(), tag));
        ASSERT_TRUE(session_->waitUntilIdle(30s));
    }
    Paths alertTexts() const {
        Paths texts;
        for (const auto& line : transcriptOf("alert")) {
            texts.push_back(line["informative"].get<std::string>());
        }
        return texts;
    }
    Paths launchedPaths(std::size_t index) const {
        return transcriptOf("launch").at(index)["paths"].get<Paths>();
    }
    // The tag of the first entry with the key anywhere in the menu.
    static std::int64_t tagOf(const MenuList& menu, std::string_view key) {
        for (const MenuNode& node : menu) {
            if (node.key == key) {
                return node.tag;
            }
            if (node.children) {
                if (const std::int64_t tag = tagOf(*node.children, key); tag != 0) {
                    return tag;
                }
            }
        }
        return 0;
    }
};

// ---- Open with ---------------------------------------------------------------------------

TEST_F(OpenCommands, BackgroundMenusOfSystemFoldersOpenTheApplicationAlone) {
    setMainList({app("Visual Studio Code"), app("Warp")});
    const std::string homeDir = home().string();
    const std::string documents = xdgUserDir("DOCUMENTS");
    fs::create_directories(documents);
    const std::string project = files().mkdir("project").string();

    menuFor(MenuKind::Container, {}, homeDir);
    clickAndWait(1);
    menuFor(MenuKind::Container, {}, homeDir);
    clickAndWait(2);  // Warp is meant to open at the folder
    menuFor(MenuKind::Container, {}, documents);
    clickAndWait(1);
    menuFor(MenuKind::Container, {}, project);
    clickAndWait(1);
    menuFor(MenuKind::Items, {homeDir});
    clickAndWait(1);  // a selected folder is always handed over

    const auto launches = transcriptOf("launch");
    ASSERT_EQ(launches.size(), 5U);
    EXPECT_EQ(launches[0]["application"], "Visual Studio Code");
    EXPECT_EQ(launchedPaths(0), Paths{});
    EXPECT_EQ(launches[1]["application"], "Warp");
    EXPECT_EQ(launchedPaths(1), Paths{homeDir});
    EXPECT_EQ(launchedPaths(2), Paths{});
    EXPECT_EQ(launchedPaths(3), Paths{project});
    EXPECT_EQ(launchedPaths(4), Paths{homeDir});
    EXPECT_TRUE(alertTexts().empty());
}

TEST_F(OpenCommands, EachSelectedFileIsOpenedInOrder) {
    setMainList({app("Sublime Text")});
    const Paths selection = {files().write("c.txt").string(), files().write("a.txt").string(),
                             files().write("b.txt").string()};
    menuFor(MenuKind::Items, selection);
    clickAndWait(1);
    const auto launches = transcriptOf("launch");
    ASSERT_EQ(launches.size(), 3U);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(launches[i]["application"], "Sublime Text");
        EXPECT_EQ(launchedPaths(i), Paths{selection[i]});
    }
}

TEST_F(OpenCommands, CommonAppEntriesOpenTheSelection) {
    setMainList({{{"key", "Common App"}}});
    const std::string file = files().write("a.txt").string();
    const MenuList menu = menuFor(MenuKind::Items, {file});
    const std::int64_t tag = tagOf(menu, "Visual Studio Code");
    ASSERT_NE(tag, 0);
    clickAndWait(tag);
    ASSERT_EQ(transcriptOf("launch").size(), 1U);
    EXPECT_EQ(transcriptOf("launch")[0]["application"], "Visual Studio Code");
    EXPECT_EQ(launchedPaths(0), Paths{file});
}

TEST_F(OpenCommands, OnlyInstalledApplicationsAreOfferedWhereverTheyAppear) {
    const std::string folder = files().mkdir("fav").string();
    setCommonPaths({folder});
    setSetting("common path next menu", Value(4));
    setMainList({app("WeChat"),
                 app("Visual Studio Code"),
                 {{"key", "Common App"}},
                 {{"key", "Common Path"}}});
    const std::string file = files().write("a.txt").string();
    FakeDesktop desktop(transcript_);
    desktop.workspace.missing = {"WeChat", "Android Studio"};
    desktop.sync->setSelectedItemURLs({file});
    MenuList menu = desktop.sync->menuForMenuKind(MenuKind::Items);

    EXPECT_EQ(keysOf(menu),
              (Paths{"Visual Studio Code", "Common App", "Common Path"}));  // no WeChat
    const Paths installed = {"Visual Studio Code", "Sublime Text", "IntelliJ IDEA", "WebStorm"};
    Paths offered = installed;
    offered.push_back("Go Set");
    EXPECT_EQ(keysOf(*nodeWithKey(menu, "Common App")->children), offered);
    const MenuList& underPath = *nodeWithKey(menu, "Common Path")->children->front().children;
    Paths pathApps = keysOf(underPath);
    pathApps.erase(pathApps.begin(), std::find(pathApps.begin(), pathApps.end(), "Sep Line") + 1);
    // The main list's own application entry comes first, then the app list.
    Paths expectedPathApps = {"Visual Studio Code"};
    expectedPathApps.insert(expectedPathApps.end(), installed.begin(), installed.end());
    EXPECT_EQ(pathApps, expectedPathApps);
    // One question per application and menu, however often it appears.
    std::sort(desktop.workspace.asked.begin(), desktop.workspace.asked.end());
    EXPECT_EQ(std::adjacent_find(desktop.workspace.asked.begin(), desktop.workspace.asked.end()),
              desktop.workspace.asked.end());

    // Tags follow the entries shown: the click starts the application it names.
    ASSERT_TRUE(desktop.sync->activate(desktop.sync->menuId(), tagOf(menu, "WebStorm")));
    ASSERT_EQ(desktop.workspace.launches.size(), 1U);
    EXPECT_EQ(desktop.workspace.launches[0].first, "WebStorm");

    // Installed since: the next menu offers it.
    desktop.workspace.missing = {"Android Studio"};
    menu = desktop.sync->menuForMenuKind(MenuKind::Items);
    EXPECT_EQ(keysOf(menu).front(), "WeChat");
    EXPECT_EQ(keysOf(*nodeWithKey(menu, "Common App")->children).front(), "WeChat");
}

TEST_F(OpenCommands, AnApplicationRefusingTheFileOpensAloneElseTheErrorShows) {
    setMainList({app("Editor")});
    const Paths selection = {files().write("a.txt").string(), files().write("b.txt").string(),
                             files().write("c.txt").string()};
    {
        FakeDesktop desktop(transcript_);
        desktop.workspace.launchWorks = [](const Paths& paths) { return paths.empty(); };
        ASSERT_TRUE(desktop.click(MenuKind::Items, selection, {}, 1));
        using Launch = std::pair<std::string, Paths>;
        EXPECT_EQ(desktop.workspace.launches, (std::vector<Launch>{{"Editor", {selection[0]}},
                                                                   {"Editor", {}},
                                                                   {"Editor", {selection[1]}},
                                                                   {"Editor", {}},
                                                                   {"Editor", {selection[2]}},
                                                                   {"Editor", {}}}));
        EXPECT_TRUE(alertTexts().empty());
    }
    {
        // Nothing starts at all: one error, and the remaining files are not tried.
        FakeDesktop desktop(transcript_);
        desktop.workspace.launchWorks = [](const Paths&) { return false; };
        ASSERT_TRUE(desktop.click(MenuKind::Items, selection, {}, 1));
        EXPECT_EQ(desktop.workspace.launches.size(), 2U);
        EXPECT_EQ(alertTexts(), Paths{localized("Open Error Tip")});
        EXPECT_EQ(transcriptOf("alert")[0]["message"], localized("Tip"));
    }
}

// ---- Terminals ---------------------------------------------------------------------------

TEST_F(OpenCommands, TerminalEntriesRunTheirServiceAtTheFolder) {
    setMainList({{{"key", "Terminal Tab"}}, {{"key", "iTerm2 Window"}}});
    const std::string folder = files().mkdir("tmp").string();
    const std::string file = files().write("tmp/a.txt").string();
    menuFor(MenuKind::Container, {}, folder);
    clickAndWait(1);
    menuFor(MenuKind::Items, {file});
    clickAndWait(2);
    const auto services = transcriptOf("service");
    ASSERT_EQ(services.size(), 2U);
    EXPECT_EQ(services[0]["service"], "New Terminal Tab at Folder");
    EXPECT_EQ(services[0]["paths"].get<Paths>(), Paths{folder});
    EXPECT_EQ(services[1]["service"], "New iTerm2 Window Here");
    EXPECT_EQ(services[1]["paths"].get<Paths>(), Paths{file});
}

TEST_F(OpenCommands, TerminalWithoutAPathOrSelectionOpensTheDesktop) {
    openServe(sync(), "New Terminal at Folder", "");
    const auto services = transcriptOf("service");
    ASSERT_EQ(services.size(), 1U);
    EXPECT_EQ(services[0]["paths"].get<Paths>(), Paths{xdgUserDir("DESKTOP")});
}

// ---- Common paths ------------------------------------------------------------------------

class CommonPaths : public OpenCommands {
  protected:
    void SetUp() override {
        OpenCommands::SetUp();
        folder_ = files().mkdir("common").string();
        for (int i = 0; i < 21; ++i) {
            files().write("common/file" + std::to_string(100 + i) + ".txt");
        }
        setCommonPaths({folder_});
        setSetting("common path next menu", Value(3));
        setMainList({{{"key", "Common Path"}}, {{"key", "Terminal Window"}}});
        selected_ = files().write("elsewhere/a.txt").string();
    }
    std::int64_t tagIn(std::string_view key) {
        return tagOf(menuFor(MenuKind::Items, {selected_}), key);
    }

    std::string folder_;
    std::string selected_;
};

TEST_F(CommonPaths, MoreFilesAndShowInFinderOpenTheCommonPathItself) {
    for (const std::string_view key : {"More Files", "Show in Finder"}) {
        const std::int64_t tag = tagIn(key);
        ASSERT_NE(tag, 0) << key;
        clickAndWait(tag);
    }
    // The listing shows twenty of the files, in the order the folder lists them.
    std::string listed;
    std::int64_t fileTag = 0;
    for (int i = 0; i < 21 && fileTag == 0; ++i) {
        listed = folder_ + "/file" + std::to_string(100 + i) + ".txt";
        fileTag = tagIn(listed);
    }
    ASSERT_NE(fileTag, 0);
    clickAndWait(fileTag);
    const auto opened = transcriptOf("open");
    ASSERT_EQ(opened.size(), 3U);
    EXPECT_EQ(opened[0]["path"], folder_);
    EXPECT_EQ(opened[1]["path"], folder_);
    EXPECT_EQ(opened[2]["path"], listed);
}

TEST_F(CommonPaths, ApplicationsAndTerminalsUnderACommonPathOpenAtIt) {
    setSetting("common path next menu", Value(2));
    clickAndWait(tagIn("Terminal Window"));
    clickAndWait(tagIn("Visual Studio Code"));
    const auto services = transcriptOf("service");
    ASSERT_EQ(services.size(), 1U);
    EXPECT_EQ(services[0]["service"], "New Terminal at Folder");
    EXPECT_EQ(services[0]["paths"].get<Paths>(), Paths{folder_});
    ASSERT_EQ(transcriptOf("launch").size(), 1U);
    EXPECT_EQ(launchedPaths(0), Paths{folder_});
}

TEST_F(CommonPaths, AVanishedCommonPathIsReported) {
    const std::int64_t tag = tagIn("Show in Finder");
    ASSERT_NE(tag, 0);
    fs::remove_all(folder_);
    clickAndWait(tag);
    EXPECT_EQ(alertTexts(), Paths{localized("Common Path Not Exist Tip")});
    EXPECT_TRUE(transcriptOf("open").empty());
}

TEST_F(CommonPaths, ARefusedOpenExplainsAccess) {
    FakeDesktop desktop(transcript_);
    desktop.workspace.openWorks = false;
    desktop.sync->setSelectedItemURLs({selected_});
    desktop.sync->setTargetURL({});
    const std::int64_t tag =
        tagOf(desktop.sync->menuForMenuKind(MenuKind::Items), "Show in Finder");
    ASSERT_NE(tag, 0);
    ASSERT_TRUE(desktop.sync->activate(desktop.sync->menuId(), tag));
    EXPECT_EQ(desktop.workspace.opened, Paths{folder_});
    EXPECT_EQ(alertTexts(), Paths{localized("Auth Full Disk Access Tip")});
}

// ---- Copy path and delete ----------------------------------------------------------------

TEST_F(OpenCommands, CopyPathPutsOneLinePerItem) {
    setMainList({{{"key", "Copy Path"}}});
    const std::string a = files().write("a.txt").string();
    const std::string b = files().mkdir("b folder").string();
    menuFor(MenuKind::Items, {a, b});
    clickAndWait(1);
    menuFor(MenuKind::Container, {}, b);
    clickAndWait(1);
    const auto copied = transcriptOf("pasteboard");
    ASSERT_EQ(copied.size(), 2U);
    EXPECT_EQ(copied[0]["text"], a + "\n" + b);
    EXPECT_EQ(copied[1]["text"], b);
    EXPECT_EQ(session_->ui().pasteboardText(), b);
}

TEST_F(OpenCommands, DeleteRemovesAtOnceUnlessTheQuestionIsCancelled) {
    setMainList({{{"key", "Delete"}}});
    const auto a = files().write("a.txt");
    const auto folder = files().write("folder/inner/b.txt").parent_path().parent_path();
    setSetting("pref check0", Value(true));
    session({{{"button", "Cancel"}}, {{"button", "OK"}}});

    menuFor(MenuKind::Items, {a.string(), folder.string()});
    clickAndWait(1);
    EXPECT_TRUE(fs::exists(a));
    EXPECT_TRUE(fs::exists(folder));
    const auto asked = transcriptOf("alert");
    ASSERT_EQ(asked.size(), 1U);
    EXPECT_EQ(asked[0]["message"], localized("Warn"));
    EXPECT_EQ(asked[0]["informative"], localized("Delete Tip"));
    EXPECT_EQ(asked[0]["buttons"].get<Paths>(), (Paths{localized("OK"), localized("Cancel")}));
    EXPECT_EQ(asked[0]["style"], "warning");

    menuFor(MenuKind::Items, {a.string()});
    clickAndWait(1);
    EXPECT_FALSE(fs::exists(a));
    EXPECT_TRUE(fs::exists(folder));

    setSetting("pref check0", Value(false));
    menuFor(MenuKind::Items, {folder.string()});
    clickAndWait(1);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(transcriptOf("alert").size(), 2U);
}

TEST_F(OpenCommands, AFailedDeleteIsReportedAndTheOthersStillGo) {
    setMainList({{{"key", "Delete"}}});
    const auto locked = files().write("locked/keep.txt");
    if (!setImmutable(locked, true)) {
        GTEST_SKIP() << "this file system has no immutable attribute";
    }
    const auto before = files().write("before.txt");
    const auto after = files().write("after.txt");
    menuFor(MenuKind::Items, {before.string(), locked.parent_path().string(), after.string()});
    clickAndWait(1);
    setImmutable(locked, false);
    EXPECT_FALSE(fs::exists(before));
    EXPECT_FALSE(fs::exists(after));
    EXPECT_TRUE(fs::exists(locked));
    EXPECT_EQ(alertTexts(), Paths{localized("Delete Fail Tip")});
}

// ---- Hand-off ----------------------------------------------------------------------------

TEST_F(OpenCommands, HandOffTellsTheSettingsApplicationWhatToDo) {
    setMainList({{{"key", "AirDrop"}}, {{"key", "As Desktop Picture"}}});
    const Paths pictures = {files().write("a.png").string(), files().write("b b.jpg").string()};
    menuFor(MenuKind::Items, pictures);
    clickAndWait(1);
    EXPECT_EQ(settings().readInteger("main open key"), 7);
    menuFor(MenuKind::Items, {pictures[0]});
    clickAndWait(2);
    EXPECT_EQ(settings().readInteger("main open key"), 8);
    const auto handed = transcriptOf("launch-host");
    ASSERT_EQ(handed.size(), 2U);
    EXPECT_EQ(handed[0]["paths"].get<Paths>(), pictures);
    EXPECT_EQ(handed[1]["paths"].get<Paths>(), Paths{pictures[0]});
}

TEST_F(OpenCommands, AFailedHandOffLeavesNoRequestBehind) {
    setMainList({{{"key", "AirDrop"}}});
    FakeDesktop desktop(transcript_);
    desktop.workspace.hostWorks = false;
    const std::string file = files().write("a.png").string();
    ASSERT_TRUE(desktop.click(MenuKind::Items, {file}, {}, 1));
    EXPECT_EQ(desktop.workspace.handedOff, std::vector<Paths>{{file}});
    EXPECT_FALSE(settings().contains("main open key"));
    EXPECT_EQ(alertTexts(), Paths{localized("Open Error Tip")});
}

// ---- The real desktop through the command line -------------------------------------------

class OpenOnTheDesktop : public OpenCommands {
  protected:
    void SetUp() override {
        OpenCommands::SetUp();
        dataDirs_.emplace("XDG_DATA_DIRS", files().mkdir("no system data").string());
        editor_ = writeRecorder(files().path() / "editor-bin" / "editor");
        terminal_ = writeRecorder(files().path() / "terminal-bin" / "gnome-terminal");
        terminalVariable_.emplace("TERMINAL", terminal_.string());
        const fs::path applications = home() / ".local/share/applications";
        fs::create_directories(applications);
        std::ofstream(applications / "code.desktop")
            << "[Desktop Entry]\nType=Application\nName=Visual Studio Code\nExec=\""
            << editor_.string() << "\" --reuse %F\n";
        setMainList({app("Visual Studio Code"),
                     {{"key", "Terminal Window"}},
                     {{"key", "Copy Path"}},
                     {{"key", "Delete"}}});
        folder_ = files().mkdir("odd names").string();
        odd_ = {files().write("odd names/a\"; touch pwned; \".txt").string(),
                files().write("odd names/$(touch pwned).txt").string()};
    }
    void TearDown() override {
        terminalVariable_.reset();
        dataDirs_.reset();
        OpenCommands::TearDown();
    }
    static std::vector<nlohmann::json> run(const Paths& args) {
        Paths full = {"run"};
        full.insert(full.end(), args.begin(), args.end());
        const CliResult r = runCli(&runSyncCommand, full);
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<nlohmann::json> lines;
        std::istringstream in(r.out);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(nlohmann::json::parse(line));
        }
        return lines;
    }
    void expectNothingPwned() {
        EXPECT_FALSE(existsBelow(files().path(), "pwned"));
        EXPECT_FALSE(existsBelow(home(), "pwned"));
        EXPECT_FALSE(fs::exists(fs::current_path() / "pwned"));
    }

    std::optional<ScopedEnvironment> dataDirs_;
    std::optional<ScopedEnvironment> terminalVariable_;
    fs::path editor_;
    fs::path terminal_;
    std::string folder_;
    Paths odd_;
};

TEST_F(OpenOnTheDesktop, OpenWithHandsOddNamesOverLiterally) {
    const auto lines = run({"--tag", "1", odd_[0], odd_[1]});
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[0]["type"], "launch");
    EXPECT_EQ(lines[0]["ok"], true);
    const auto records = waitForRecords(editor_.parent_path(), 2);
    ASSERT_EQ(records.size(), 2U);
    for (const std::string& path : odd_) {
        const std::string expected = "arg=--reuse\narg=" + path + "\nend\n";
        EXPECT_TRUE(records[0].find(expected) != std::string::npos ||
                    records[1].find(expected) != std::string::npos)
            << path;
    }
    expectNothingPwned();
}

TEST_F(OpenOnTheDesktop, TerminalCopyPathAndDeleteKeepOddNamesIntact) {
    auto lines = run({"--tag", "2", odd_[1]});
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0]["type"], "service");
    EXPECT_EQ(lines[0]["ok"], true);
    const auto records = waitForRecords(terminal_.parent_path(), 1);
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(records[0], "cwd=" + folder_ + "\narg=--working-directory=" + folder_ + "\nend\n");

    lines = run({"--tag", "3", odd_[0], odd_[1]});
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0]["text"], odd_[0] + "\n" + odd_[1]);

    setSetting("pref check0", Value(false));
    lines = run({"--tag", "4", odd_[0], odd_[1]});
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(fs::is_empty(folder_));
    expectNothingPwned();
}

}  // namespace
}  // namespace tf::test
