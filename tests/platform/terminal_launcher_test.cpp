#include "platform/terminal_launcher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "model/menu_manager.h"
#include "platform/desktop_workspace.h"
#include "platform/test_recorder.h"
#include "support/sandbox.h"

namespace tf {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

Terminal terminalOf(TerminalKind kind) {
    return Terminal{"/t/term", kind, {}};
}

TEST(TerminalRequests, OpenAtTheFolderWithEachTerminalsOptions) {
    struct Case {
        TerminalKind kind;
        Words window;
        Words tab;
    };
    const std::vector<Case> cases = {
        {TerminalKind::GnomeTerminal,
         {"--working-directory=/w d"},
         {"--tab", "--working-directory=/w d"}},
        {TerminalKind::Konsole, {"--workdir", "/w d"}, {"--new-tab", "--workdir", "/w d"}},
        {TerminalKind::Xfce4Terminal,
         {"--working-directory=/w d"},
         {"--tab", "--working-directory=/w d"}},
        {TerminalKind::Kitty, {"--directory", "/w d"}, {"--directory", "/w d"}},
        {TerminalKind::Alacritty, {"--working-directory", "/w d"}, {"--working-directory", "/w d"}},
        {TerminalKind::WezTerm, {"start", "--cwd", "/w d"}, {"start", "--cwd", "/w d"}},
        {TerminalKind::Foot, {"--working-directory=/w d"}, {"--working-directory=/w d"}},
        {TerminalKind::Tilix, {"--working-directory=/w d"}, {"--working-directory=/w d"}},
        {TerminalKind::Generic, {}, {}},
    };
    for (const auto& c : cases) {
        for (const bool tab : {false, true}) {
            const ProcessRequest request = openFolderRequest(terminalOf(c.kind), "/w d", tab);
            Words expected{"/t/term"};
            const Words& options = tab ? c.tab : c.window;
            expected.insert(expected.end(), options.begin(), options.end());
            EXPECT_EQ(request.argv, expected) << static_cast<int>(c.kind) << " tab " << tab;
            EXPECT_EQ(request.workingDirectory, "/w d");
        }
    }
}

TEST(TerminalRequests, RunACommandAsSeparateWords) {
    const Words command{"htop", "$(touch pwned)", "a b"};
    const auto argvOf = [&](TerminalKind kind) {
        return runCommandRequest(terminalOf(kind), command, "/w").argv;
    };
    EXPECT_EQ(argvOf(TerminalKind::GnomeTerminal),
              (Words{"/t/term", "--working-directory=/w", "--", "htop", "$(touch pwned)", "a b"}));
    EXPECT_EQ(argvOf(TerminalKind::Generic),
              (Words{"/t/term", "-e", "htop", "$(touch pwned)", "a b"}));
}

TEST(TerminalRequests, OptionsGivenWithTheProgramComeFirstAndFoldersBecomeAbsolute) {
    const Terminal terminal{"/t/kitty", TerminalKind::Kitty, {"--single-instance"}};
    const ProcessRequest request = openFolderRequest(terminal, "-rf", false);
    const std::string absolute = (fs::current_path() / "-rf").string();
    EXPECT_EQ(request.argv, (Words{"/t/kitty", "--single-instance", "--directory", absolute}));
    EXPECT_EQ(request.workingDirectory, absolute);
}

TEST(TerminalKinds, ByFileName) {
    EXPECT_EQ(terminalKindOf("/usr/bin/gnome-terminal.wrapper"), TerminalKind::GnomeTerminal);
    EXPECT_EQ(terminalKindOf("konsole"), TerminalKind::Konsole);
    EXPECT_EQ(terminalKindOf("/opt/x/wezterm"), TerminalKind::WezTerm);
    EXPECT_EQ(terminalKindOf("xterm"), TerminalKind::Generic);
    EXPECT_EQ(terminalKindOf("kitty-helper"), TerminalKind::Generic);
    EXPECT_TRUE(supportsTabs(TerminalKind::Konsole));
    EXPECT_FALSE(supportsTabs(TerminalKind::Kitty));
}

// A PATH holding only stand-in terminals, so the machine's own never answer.
class TerminalSearch : public test::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        bin_ = files().mkdir("bin");
        path_.emplace("PATH", bin_.string());
        terminal_.emplace("TERMINAL", std::nullopt);
    }
    void TearDown() override {
        terminal_.reset();
        path_.reset();
        SandboxTest::TearDown();
    }
    fs::path install(const std::string& name) { return test::writeRecorder(bin_ / name); }

    fs::path bin_;
    std::optional<test::ScopedEnvironment> path_;
    std::optional<test::ScopedEnvironment> terminal_;
};

TEST_F(TerminalSearch, FindsTerminalsInOrderOnce) {
    const auto gnome = install("gnome-terminal");
    const auto kitty = install("kitty");
    // The alternatives link names kitty a second time.
    fs::create_symlink(kitty, bin_ / "x-terminal-emulator");
    auto found = availableTerminals();
    ASSERT_EQ(found.size(), 2U);
    EXPECT_EQ(found[0].program, kitty.string());
    EXPECT_EQ(found[0].kind, TerminalKind::Kitty);
    EXPECT_EQ(found[1].program, gnome.string());

    const auto mine = install("myterm");
    terminal_.emplace("TERMINAL", "myterm --hold");
    found = availableTerminals();
    ASSERT_EQ(found.size(), 3U);
    EXPECT_EQ(found[0].program, mine.string());
    EXPECT_EQ(found[0].kind, TerminalKind::Generic);
    EXPECT_EQ(found[0].options, Words{"--hold"});
}

TEST_F(TerminalSearch, ALinkToAWrapperIsTheProgramBesideIt) {
    const auto real = install("gnome-terminal");
    const auto wrapper = install("gnome-terminal.wrapper");
    fs::create_symlink(wrapper, bin_ / "x-terminal-emulator");
    const auto terminal = findTerminal("x-terminal-emulator");
    ASSERT_TRUE(terminal);
    EXPECT_EQ(terminal->program, real.string());
    EXPECT_EQ(terminal->kind, TerminalKind::GnomeTerminal);
    EXPECT_FALSE(findTerminal("no-such-terminal"));
    EXPECT_FALSE(findTerminal("  "));
    EXPECT_TRUE(availableTerminals().size() == 1U);
}

TEST_F(TerminalSearch, NoTerminalNoService) {
    PosixProcessRunner runner;
    DesktopWorkspace workspace(runner);
    EXPECT_TRUE(availableTerminals().empty());
    EXPECT_FALSE(workspace.runService("New Terminal at Folder", {files().path().string()}));
}

TEST_F(TerminalSearch, ServicesOpenTheFolderInAWindowOrTab) {
    const auto gnome = install("gnome-terminal");
    terminal_.emplace("TERMINAL", gnome.string());
    const auto folder = files().mkdir("a folder");
    const auto file = files().write("a folder/$(touch pwned).txt");
    PosixProcessRunner runner;
    DesktopWorkspace workspace(runner);

    ASSERT_TRUE(workspace.runService("New Terminal at Folder", {folder.string()}));
    auto records = test::waitForRecords(bin_, 1);
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(records[0], "cwd=" + folder.string() +
                              "\narg=--working-directory=" + folder.string() + "\nend\n");
    for (const auto& entry : fs::directory_iterator(bin_)) {
        if (entry.path().filename().string().rfind("rec-", 0) == 0) {
            fs::remove(entry.path());
        }
    }

    // A file opens its folder.
    ASSERT_TRUE(workspace.runService("New Terminal Tab at Folder", {file.string(), "/"}));
    records = test::waitForRecords(bin_, 1);
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(records[0], "cwd=" + folder.string() + "\narg=--tab\narg=--working-directory=" +
                              folder.string() + "\nend\n");
    EXPECT_FALSE(workspace.runService("Make Coffee", {folder.string()}));
    EXPECT_FALSE(test::existsBelow(files().path(), "pwned"));
}

TEST_F(TerminalSearch, UnknownTerminalsStartInTheFolderWithoutOptions) {
    install("x-terminal-emulator");
    const auto folder = files().mkdir("work");
    PosixProcessRunner runner;
    DesktopWorkspace workspace(runner);
    ASSERT_TRUE(workspace.runService("New Terminal Tab at Folder", {folder.string()}));
    const auto records = test::waitForRecords(bin_, 1);
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(records[0], "cwd=" + folder.string() + "\nend\n");
}

TEST_F(TerminalSearch, TheSecondTerminalIsTheChosenOneOrTheNextFound) {
    install("gnome-terminal");
    install("konsole");
    const auto folder = files().mkdir("work");
    PosixProcessRunner runner;
    DesktopWorkspace workspace(runner);
    SettingsStore& settings = RCMenuManager::sharedInstance().sharedDefaults();

    // Not installed: the second terminal found.
    ASSERT_TRUE(settings.set("second terminal", Value("no-such-terminal")).ok);
    ASSERT_TRUE(workspace.runService("New iTerm2 Tab Here", {folder.string()}));
    auto records = test::waitForRecords(bin_, 1);
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(records[0], "cwd=" + folder.string() +
                              "\narg=--new-tab\narg=--workdir\narg=" + folder.string() + "\nend\n");

    const auto kitty = install("kitty");
    ASSERT_TRUE(settings.set("second terminal", Value(kitty.string())).ok);
    ASSERT_TRUE(workspace.runService("New iTerm2 Window Here", {folder.string()}));
    records = test::waitForRecords(bin_, 2);
    ASSERT_EQ(records.size(), 2U);
    const std::string kittyRecord =
        "cwd=" + folder.string() + "\narg=--directory\narg=" + folder.string() + "\nend\n";
    EXPECT_TRUE(records[0] == kittyRecord || records[1] == kittyRecord) << records[0] << records[1];
}

}  // namespace
}  // namespace tf
