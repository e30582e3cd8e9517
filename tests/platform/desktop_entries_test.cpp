#include "platform/desktop_entries.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/desktop_workspace.h"
#include "platform/process_runner.h"
#include "platform/test_recorder.h"
#include "support/sandbox.h"

namespace tf {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;
using Commands = std::vector<std::vector<std::string>>;

// Applications folders of a fake desktop: the user's and one system folder.
class DesktopEntries : public test::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        dataHome_.emplace("XDG_DATA_HOME", (files().path() / "user").string());
        dataDirs_.emplace("XDG_DATA_DIRS", (files().path() / "system").string());
    }
    void TearDown() override {
        dataDirs_.reset();
        dataHome_.reset();
        SandboxTest::TearDown();
    }
    fs::path userEntry(const std::string& relative, const std::string& body) {
        return files().write("user/applications/" + relative, "[Desktop Entry]\n" + body);
    }
    fs::path systemEntry(const std::string& relative, const std::string& body) {
        return files().write("system/applications/" + relative, "[Desktop Entry]\n" + body);
    }
    static std::string app(const std::string& name, const std::string& exec) {
        return "Type=Application\nName=" + name + "\nExec=" + exec + "\n";
    }

  private:
    std::optional<test::ScopedEnvironment> dataHome_;
    std::optional<test::ScopedEnvironment> dataDirs_;
};

TEST(DesktopExecLine, SplitsByTheQuotingRules) {
    EXPECT_EQ(splitExecLine(R"(prog "a b" 'c "d' e\ f "x\"y\`z\$w\\v" "\q" "")"),
              (Words{"prog", "a b", "c \"d", "e f", "x\"y`z$w\\v", "\\q", ""}));
    EXPECT_EQ(splitExecLine("  prog\t--flag   %F "), (Words{"prog", "--flag", "%F"}));
    EXPECT_EQ(splitExecLine("pre\"fix\"post"), (Words{"prefixpost"}));
    EXPECT_EQ(splitExecLine(""), Words{});
    EXPECT_FALSE(splitExecLine("prog \"open"));
    EXPECT_FALSE(splitExecLine("prog 'open"));
}

TEST(DesktopExecLine, FieldCodesExpandToWholeArguments) {
    DesktopEntry entry;
    entry.name = "Editor";
    entry.icon = "editor-icon";
    entry.file = "/apps/editor.desktop";
    const Words paths{"/d/a b.txt", "/d/$(x).txt"};

    entry.exec = "edit --new %F";
    EXPECT_EQ(expandExec(entry, paths), (Commands{{"edit", "--new", "/d/a b.txt", "/d/$(x).txt"}}));
    entry.exec = "edit %U";
    EXPECT_EQ(expandExec(entry, paths),
              (Commands{{"edit", "file:///d/a%20b.txt", "file:///d/%24%28x%29.txt"}}));
    // One instance per file when the entry takes one file at a time.
    entry.exec = "edit --file=%f";
    EXPECT_EQ(expandExec(entry, paths),
              (Commands{{"edit", "--file=/d/a b.txt"}, {"edit", "--file=/d/$(x).txt"}}));
    entry.exec = "edit %u";
    EXPECT_EQ(expandExec(entry, {paths[0]}), (Commands{{"edit", "file:///d/a%20b.txt"}}));
    // No file code: the files still arrive, one per instance.
    entry.exec = "edit";
    EXPECT_EQ(expandExec(entry, paths),
              (Commands{{"edit", "/d/a b.txt"}, {"edit", "/d/$(x).txt"}}));
    EXPECT_EQ(expandExec(entry, {}), (Commands{{"edit"}}));
    // Without files the file codes give nothing.
    entry.exec = "edit %F %u";
    EXPECT_EQ(expandExec(entry, {}), (Commands{{"edit"}}));
}

TEST(DesktopExecLine, OtherCodesAndLiterals) {
    DesktopEntry entry;
    entry.name = "My Editor";
    entry.icon = "editor-icon";
    entry.file = "/apps/editor.desktop";
    entry.exec = "edit %i --title=%c %k 100%% %d %D %n %N %v %m %x \"50%%\" %F";
    EXPECT_EQ(expandExec(entry, {"/a"}),
              (Commands{{"edit", "--icon", "editor-icon", "--title=My Editor",
                         "/apps/editor.desktop", "100%", "50%", "/a"}}));
    entry.icon.clear();
    entry.exec = "edit %i %F";
    EXPECT_EQ(expandExec(entry, {"/a"}), (Commands{{"edit", "/a"}}));
    entry.exec = "edit \"unclosed %F";
    EXPECT_TRUE(expandExec(entry, {"/a"}).empty());
    entry.exec = "%F";
    EXPECT_TRUE(expandExec(entry, {}).empty());
}

TEST(DesktopExecLine, NamesStayLiteralWhereverTheCodeStands) {
    struct Case {
        std::string exec;
        Words paths;
        Commands expected;
    };
    const std::string hostile = "/d/x;touch PWNED;.txt";
    const std::vector<Case> cases{
        // Inside a quoted part the value is quoted for the shell that reads that part.
        {R"(sh -c "wc -c %f")", {hostile}, {{"sh", "-c", "wc -c '" + hostile + "'"}}},
        {R"(sh -c 'wc -c %f')", {hostile}, {{"sh", "-c", "wc -c '" + hostile + "'"}}},
        {R"(sh -c "wc -c %f")", {"/d/it's.txt"}, {{"sh", "-c", R"(wc -c '/d/it'\''s.txt')"}}},
        {R"(sh -c "cat %F")", {"/d/a b", "/d/$(x)"}, {{"sh", "-c", "cat '/d/a b' '/d/$(x)'"}}},
        {R"(sh -c "cat %f")", {"/d/a\nb"}, {{"sh", "-c", "cat '/d/a\nb'"}}},
        {R"(sh -c "open %u")", {"/d/a b"}, {{"sh", "-c", "open 'file:///d/a%20b'"}}},
        {R"(sh -c "echo '%f'")", {"/d/a b"}, {{"sh", "-c", "echo '''/d/a b'''"}}},
        {R"(sh -c "echo \"%f\"")", {"/d/a b"}, {{"sh", "-c", R"(echo ""'/d/a b'"")"}}},
        {R"(sh -c "echo \"\$(basename %f)\"")",
         {"/d/a b"},
         {{"sh", "-c", R"x(echo "$(basename '/d/a b')")x"}}},
        {R"(bash -c "echo \$'%f'")", {"/d/a b"}, {{"bash", "-c", R"(echo $'''/d/a b'$'')"}}},
        {R"(sh -c "echo \\%f")", {"/d/a b"}, {{"sh", "-c", R"(echo \\'/d/a b')"}}},
        {R"(sh -c "true # %f")",
         {"/d/a\ntouch PWNED"},
         {{"sh", "-c", "true # '/d/a touch PWNED'"}}},
        {R"(sh -c "printf 100%% %f")", {"/d/a"}, {{"sh", "-c", "printf 100% '/d/a'"}}},
        {R"(sh -c "ls %F")", {}, {{"sh", "-c", "ls "}}},
        // Outside quotes: a lone code gives whole arguments, an embedded one plain text.
        {"edit --file=%f", {"/d/it's $(x)"}, {{"edit", "--file=/d/it's $(x)"}}},
        {"edit 100%%%f", {"/d/a"}, {{"edit", "100%/d/a"}}},
        {R"(edit "%f")", {hostile}, {{"edit", hostile}}},
        {R"(edit "%F")", {"/d/a b", "/d/c"}, {{"edit", "/d/a b", "/d/c"}}},
    };
    for (const Case& c : cases) {
        DesktopEntry entry;
        entry.exec = c.exec;
        EXPECT_EQ(expandExec(entry, c.paths), c.expected) << c.exec;
    }
    DesktopEntry named;
    named.name = "It's $(mine)";
    named.exec = R"(sh -c "echo %c %%c")";
    EXPECT_EQ(expandExec(named, {}), (Commands{{"sh", "-c", R"(echo 'It'\''s $(mine)' %c)"}}));
}

// What a real shell makes of the expanded line: the name, byte for byte, and nothing
// run.
TEST(DesktopExecLine, AShellReadsTheNameBackUnchanged) {
    const test::TempDir folder;
    const Words names{
        "x;touch PWNED;.txt", "it's \"quoted\".txt", "$(touch PWNED).txt", "`touch PWNED`.txt",
        "a\ntouch PWNED\n'b", "  two  spaces ",      "100% \\back\\slash", "'; touch PWNED; '",
    };
    const Words execs{
        R"(sh -c "printf %%s %f")",      R"(sh -c "printf %%s '%f'")",
        R"(sh -c "printf %%s \"%f\"")",  R"(sh -c "printf %%s \"\$(printf %%s %f)\"")",
        R"(sh -c "printf %%s %f # %f")", R"(bash -c "printf %%s \$'%f'")",
    };
    PosixProcessRunner runner;
    for (const auto& exec : execs) {
        for (const auto& name : names) {
            DesktopEntry entry;
            entry.exec = exec;
            const std::string path = "/d/" + name;
            const Commands commands = expandExec(entry, {path});
            ASSERT_EQ(commands.size(), 1U) << exec;
            ProcessRequest request;
            request.argv = commands[0];
            request.workingDirectory = folder.path().string();
            const ProcessResult result = runner.run(request);
            EXPECT_TRUE(result.succeeded()) << exec << " " << name << ": " << result.err;
            EXPECT_EQ(result.out, path) << exec << " " << commands[0][2];
        }
    }
    EXPECT_FALSE(test::existsBelow(folder.path(), "PWNED"));
}

TEST(DesktopExecLine, RelativePathsBecomeAbsoluteAndUrisAreEncoded) {
    DesktopEntry entry;
    entry.exec = "edit %F";
    EXPECT_EQ(expandExec(entry, {"-rf"}),
              (Commands{{"edit", (fs::current_path() / "-rf").string()}}));
    EXPECT_EQ(fileUri("/a/ü ~_.-/%#?"), "file:///a/%C3%BC%20~_.-/%25%23%3F");
}

TEST_F(DesktopEntries, ReadsTheEntryGroupWithItsEscapes) {
    const auto file = userEntry("x.desktop",
                                "# comment\nType = Application\nName=X\nName[de]=Y\n"
                                "Exec=run \"a\\\\\\\\b\" c\\sd\nPath=/w\nTerminal=true\n"
                                "Icon=x-icon\nNoDisplay=true\n[Desktop Action New]\nName=Other\n"
                                "NoDisplay=false\nExec=other\n");
    const auto entry = readDesktopEntry(file);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->type, "Application");
    EXPECT_EQ(entry->name, "X");
    EXPECT_EQ(entry->exec, "run \"a\\\\b\" c d");
    EXPECT_EQ(splitExecLine(entry->exec), (Words{"run", "a\\b", "c", "d"}));
    EXPECT_EQ(entry->workingDirectory, "/w");
    EXPECT_TRUE(entry->terminal);
    EXPECT_FALSE(entry->hidden);
    EXPECT_TRUE(entry->noDisplay) << "read from the entry's own group only";
    EXPECT_FALSE(readDesktopEntry(files().write("plain.desktop", "Name=X\n")));
    EXPECT_FALSE(readDesktopEntry(files().path() / "missing.desktop"));
}

TEST_F(DesktopEntries, FindsByPathIdAndName) {
    const auto editor =
        userEntry("org.example.Editor.desktop", app("Visual Studio Code", "code %F"));
    systemEntry("vendor/tool.desktop", app("Tool", "tool"));
    systemEntry("other.desktop", app("Sublime Text", "subl %F"));

    auto found = findDesktopEntry(editor.string());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->exec, "code %F");
    found = findDesktopEntry("org.example.Editor.desktop");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, "org.example.Editor.desktop");
    EXPECT_EQ(found->file, editor.string());
    found = findDesktopEntry("org.example.Editor");
    ASSERT_TRUE(found);
    found = findDesktopEntry("vendor-tool");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, "Tool");
    found = findDesktopEntry("Visual Studio Code");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, "org.example.Editor.desktop");
    found = findDesktopEntry("sublime TEXT");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, "other.desktop");

    EXPECT_FALSE(findDesktopEntry("Visual"));
    EXPECT_FALSE(findDesktopEntry(""));
    EXPECT_FALSE(findDesktopEntry((files().path() / "none.desktop").string()));
}

TEST_F(DesktopEntries, TheUsersEntriesHideTheSystemOnes) {
    systemEntry("a.desktop", app("Alpha", "system-alpha"));
    userEntry("a.desktop", app("Alpha", "user-alpha"));
    systemEntry("b.desktop", app("Beta", "beta"));
    userEntry("b.desktop", app("Beta", "beta") + "Hidden=true\n");

    const auto alpha = findDesktopEntry("a");
    ASSERT_TRUE(alpha);
    EXPECT_EQ(alpha->exec, "user-alpha");
    EXPECT_FALSE(findDesktopEntry("b.desktop"));
    EXPECT_FALSE(findDesktopEntry("Beta"));
    EXPECT_EQ(installedDesktopEntries().size(), 2U);
}

TEST_F(DesktopEntries, OnlyLaunchableApplicationsAreFound) {
    userEntry("link.desktop", "Type=Link\nName=Site\nURL=https://example.org\n");
    userEntry("noexec.desktop", "Type=Application\nName=Service\n");
    userEntry("missing.desktop", app("Missing", "missing") + "TryExec=no-such-program-here\n");
    userEntry("shown.desktop", app("Quiet", "quiet") + "NoDisplay=true\n");
    EXPECT_FALSE(findDesktopEntry("Site"));
    EXPECT_FALSE(findDesktopEntry("Service"));
    EXPECT_FALSE(findDesktopEntry("missing"));
    EXPECT_TRUE(findDesktopEntry("Quiet"));
}

TEST_F(DesktopEntries, LaunchesThroughTheEntryWithLiteralArguments) {
    const auto recorder = test::writeRecorder(files().path() / "bin" / "editor");
    userEntry("editor.desktop", app("Editor", "\"" + recorder.string() + "\" --open %F"));
    const auto a = files().write("docs/a\"; touch pwned; \".txt");
    const auto b = files().write("docs/$(touch pwned).txt");
    PosixProcessRunner runner;
    DesktopWorkspace workspace(runner);

    ASSERT_TRUE(workspace.launchApplication("Editor", {a.string(), b.string()}));
    const auto records = test::waitForRecords(recorder.parent_path(), 1);
    ASSERT_EQ(records.size(), 1U);
    EXPECT_NE(records[0].find("arg=--open\narg=" + a.string() + "\narg=" + b.string() + "\nend\n"),
              std::string::npos)
        << records[0];
    EXPECT_FALSE(test::existsBelow(files().path(), "pwned"));
    EXPECT_FALSE(fs::exists(fs::current_path() / "pwned"));
}

TEST_F(DesktopEntries, AShellCommandLineGetsTheHostileNameAsOneWord) {
    const auto recorder = test::writeRecorder(files().path() / "bin" / "counter");
    const auto work = files().mkdir("work");
    userEntry("count.desktop", app("Count", "sh -c \"" + recorder.string() +
                                                R"( %f '%f' \"%f\" \"\$(printf %%s %f)\"")") +
                                   "Path=" + work.string() + "\n");
    const auto file = files().write("docs/x;touch PWNED;'$(touch PWNED)\".txt", "hello");
    PosixProcessRunner runner;
    DesktopWorkspace workspace(runner);

    ASSERT_TRUE(workspace.launchApplication("Count", {file.string()}));
    const auto records = test::waitForRecords(recorder.parent_path(), 1);
    ASSERT_EQ(records.size(), 1U);
    const std::string arg = "arg=" + file.string() + "\n";
    EXPECT_NE(records[0].find(arg + arg + arg + arg + "end\n"), std::string::npos) << records[0];
    EXPECT_FALSE(test::existsBelow(files().path(), "PWNED"));
}

TEST_F(DesktopEntries, OneInstancePerFileAndTheEntrysFolder) {
    const auto recorder = test::writeRecorder(files().path() / "bin" / "viewer");
    const auto work = files().mkdir("work");
    userEntry("viewer.desktop",
              app("Viewer", recorder.string() + " %u") + "Path=" + work.string() + "\n");
    PosixProcessRunner runner;
    DesktopWorkspace workspace(runner);
    ASSERT_TRUE(workspace.launchApplication("viewer.desktop", {"/x/1", "/x/2", "/x/3"}));
    const auto records = test::waitForRecords(recorder.parent_path(), 3);
    EXPECT_EQ(records, (Words{"cwd=" + work.string() + "\narg=file:///x/1\nend\n",
                              "cwd=" + work.string() + "\narg=file:///x/2\nend\n",
                              "cwd=" + work.string() + "\narg=file:///x/3\nend\n"}));
}

TEST_F(DesktopEntries, TerminalEntriesRunInTheTerminal) {
    const auto terminal = test::writeRecorder(files().path() / "bin" / "myterm");
    const test::ScopedEnvironment env("TERMINAL", terminal.string());
    userEntry("top.desktop", app("Top", "htop --tree %f") + "Terminal=true\n");
    PosixProcessRunner runner;
    DesktopWorkspace workspace(runner);
    ASSERT_TRUE(workspace.launchApplication("Top", {"/x/a b"}));
    const auto records = test::waitForRecords(terminal.parent_path(), 1);
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(records[0],
              "cwd=" + home().string() + "\narg=-e\narg=htop\narg=--tree\narg=/x/a b\nend\n");
}

TEST_F(DesktopEntries, NothingToLaunchIsAFailure) {
    userEntry("gone.desktop", app("Gone", "no-such-program-here %F"));
    PosixProcessRunner runner;
    DesktopWorkspace workspace(runner);
    EXPECT_FALSE(workspace.launchApplication("Unknown App", {"/a"}));
    EXPECT_FALSE(workspace.launchApplication("Gone", {"/a"}));
}

}  // namespace
}  // namespace tf
