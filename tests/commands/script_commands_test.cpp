// Catalogue scripts with placeholders, "Execute Script" on selected files, and the alert
// command scripts use to talk to the user.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

#include "cli/command_cli.h"
#include "cli/sync_cli.h"
#include "commands/scripts/script_commands.h"
#include "runtime/queues.h"
#include "support/engine_fixture.h"
#include "support/fifo_gate.h"
#include "util/strings.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Every file an injected `touch pwned` would have made below `root`.
std::vector<std::string> pwnedBelow(const fs::path& root) {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->path().filename() == "pwned") {
            found.push_back(it->path().string());
        }
    }
    return found;
}

class ScriptCommands : public EngineTest {
  protected:
    // One catalogue script under "Common Script", shown for files and folders alike.
    void useScript(const std::string& script, const std::string& ext = "sh") {
        setMainList({{{"key", "Common Script"}}});
        Array scripts;
        scripts.emplace_back(Dict{{"key", "S1"},
                                  {"displayName", "Script"},
                                  {"ext", ext},
                                  {"needFile", false},
                                  {"needFolder", false},
                                  {"formats", ""},
                                  {"script", script}});
        setSetting("array common script", Value(std::move(scripts)));
    }
    // Clicks Common Script > the script without waiting for background work.
    void clickScript(const std::vector<std::string>& selection, MenuKind kind = MenuKind::Items,
                     const std::string& target = {}) {
        const MenuList menu = menuFor(kind, selection, target);
        ASSERT_EQ(keysOf(menu), std::vector<std::string>{"Common Script"});
        ASSERT_TRUE(sync().activate(sync().menuId(), 101));
    }
    void runScript(const std::vector<std::string>& selection, MenuKind kind = MenuKind::Items,
                   const std::string& target = {}) {
        clickScript(selection, kind, target);
        ASSERT_TRUE(session_->waitUntilIdle(std::chrono::seconds(30)));
    }
    std::vector<std::string> alertTexts() const {
        std::vector<std::string> texts;
        for (const nlohmann::json& alert : transcriptOf("alert")) {
            EXPECT_EQ(alert["message"], localized("Tip"));
            texts.push_back(alert["informative"].get<std::string>());
        }
        return texts;
    }
    std::vector<std::vector<std::string>> processArgvs() const {
        std::vector<std::vector<std::string>> argvs;
        for (const nlohmann::json& line : transcriptOf("process")) {
            argvs.push_back(line["argv"].get<std::vector<std::string>>());
        }
        return argvs;
    }
    std::string file(const std::string& name, const std::string& content = {}) {
        return files().write(name, content).string();
    }
};

// ---- Catalogue scripts: placeholders ------------------------------------------------------

TEST_F(ScriptCommands, EachSelectedItemRunsOnceInOrderWithItsOwnValues) {
    useScript("echo @rfname");
    runScript({file("one.txt"), file("two.md"), file("three")});
    EXPECT_EQ(alertTexts(), (std::vector<std::string>{"one.txt\n", "two.md\n", "three\n"}));
    const auto argvs = processArgvs();
    ASSERT_EQ(argvs.size(), 3u);
    EXPECT_EQ(argvs[0], (std::vector<std::string>{"/bin/bash", "-c", "echo 'one.txt'"}));
    EXPECT_EQ(argvs[2][2], "echo 'three'");
}

TEST_F(ScriptCommands, AScriptUsingOnlyTheNameStillRunsPerItemAndSilentSuccessShowsNothing) {
    useScript("true @rname");
    runScript({file("a.txt"), file("b.tar.gz")});
    const auto argvs = processArgvs();
    ASSERT_EQ(argvs.size(), 2u);
    EXPECT_EQ(argvs[0][2], "true 'a'");
    EXPECT_EQ(argvs[1][2], "true 'b'");
    EXPECT_TRUE(transcriptOf("alert").empty());
}

TEST_F(ScriptCommands, PlaceholderValuesForMultipleExtensionsFoldersAndCase) {
    useScript(R"(printf '%s|%s|%s|%s|%s' "@rname" "@rext" "@rfname" "@rpos" "@rpath")");
    const std::string dir = files().path().string();
    const std::string archive = file("archive.tar.gz");
    const std::string folder = files().mkdir("plain").string();
    const std::string upper = file("REPORT.PDF");
    const std::string hidden = file(".env");
    runScript({archive, folder, upper, hidden});
    EXPECT_EQ(alertTexts(), (std::vector<std::string>{
                                "archive|gz|archive.tar.gz|" + dir + "|" + archive,
                                "plain||plain|" + dir + "|" + folder,
                                "REPORT|pdf|REPORT.PDF|" + dir + "|" + upper,
                                ".env||.env|" + dir + "|" + hidden,
                            }));
}

TEST_F(ScriptCommands, AnUnquotedPathWithASpaceStaysOneWord) {
    useScript("printf '%s|' @rpath");
    const std::string spaced = file("my notes.txt");
    runScript({spaced});
    EXPECT_EQ(alertTexts(), std::vector<std::string>{spaced + "|"});
}

// The built-in "New folder based on file", as the default catalogue holds it.
TEST_F(ScriptCommands, TheBuiltInNewFolderScriptNamesTheFolderAfterAHostileFile) {
    const Array defaults = RCDefaultData::defaultCommonScriptMenu();
    const auto builtIn = std::find_if(defaults.begin(), defaults.end(), [](const Value& entry) {
        return dictString(*entry.dict(), "displayName") == localized("New folder based on file");
    });
    ASSERT_NE(builtIn, defaults.end());
    useScript(dictString(*builtIn->dict(), "script"));
    const std::vector<std::string> names{"x$(touch pwned).jpg", "it's `touch pwned`.tar.gz",
                                         "-rf \\\"$HOME\";touch pwned\n.png"};
    std::vector<std::string> selection;
    for (const std::string& name : names) {
        selection.push_back(file(name));
    }
    runScript(selection);
    EXPECT_TRUE(alertTexts().empty());
    EXPECT_TRUE(pwnedBelow(files().path()).empty());
    for (const std::string folder :
         {"x$(touch pwned)", "it's `touch pwned`", "-rf \\\"$HOME\";touch pwned\n"}) {
        EXPECT_TRUE(fs::is_directory(files().path() / folder)) << folder;
    }
}

TEST_F(ScriptCommands, AnItemWhoseNameHasNoExactFormIsReportedAndNotRun) {
    useScript("echo $(( @rname + 1 ))");
    const std::string word = file("x[$(touch pwned)].txt");
    runScript({word, file("41.txt")});
    EXPECT_EQ(alertTexts(),
              (std::vector<std::string>{
                  word + "\necho $(( @rname + 1 ))\n" + localized("Error Execute Tip"), "42\n"}));
    EXPECT_EQ(processArgvs().size(), 1u);
    EXPECT_TRUE(pwnedBelow(files().path()).empty());
}

TEST_F(ScriptCommands, ExpansionOrderAndRepeatedPlaceholders) {
    constexpr auto sh = ScriptLanguage::Shell;
    // Placeholder text inside an inserted value is not filled in again.
    EXPECT_EQ(expandScriptPlaceholders("@rpath", "/d/@rext.TXT", sh), "'/d/@rext.TXT'");
    EXPECT_EQ(expandScriptPlaceholders("@rname-@rname @rpos", "/d/x.y.z", sh), "'x'-'x' '/d'");
    EXPECT_EQ(expandScriptPlaceholders("cp @rfname @rfname.bak", "/d/a b", sh),
              "cp 'a b' 'a b'.bak");
    EXPECT_FALSE(hasScriptPlaceholder("echo @r path @rpat"));
    EXPECT_TRUE(hasScriptPlaceholder("echo @rext"));
}

// ---- Catalogue scripts: running -----------------------------------------------------------

TEST_F(ScriptCommands, AFailingShellScriptShowsItsTextAndTheTipButNotItsOutput) {
    useScript("echo @rfname; echo oops >&2; exit 1");
    runScript({file("a.txt")});
    EXPECT_EQ(alertTexts(), std::vector<std::string>{"echo 'a.txt'; echo oops >&2; exit 1\n" +
                                                     localized("Error Execute Tip")});
}

TEST_F(ScriptCommands, AScriptKilledBySignalIsAFailure) {
    useScript("kill -9 $$");
    runScript({file("a.txt")});
    EXPECT_EQ(alertTexts(),
              std::vector<std::string>{"kill -9 $$\n" + localized("Error Execute Tip")});
}

TEST_F(ScriptCommands, WithoutPlaceholdersTheTextRunsOnceWhateverTheSelection) {
    useScript("echo ran");
    runScript({}, MenuKind::Container);
    EXPECT_EQ(alertTexts(), std::vector<std::string>{"ran\n"});
    ASSERT_EQ(transcriptOf("process").size(), 1u);
    EXPECT_TRUE(transcriptOf("process")[0]["cwd"].is_null());

    session();
    runScript({file("a"), file("b"), file("c")});
    EXPECT_EQ(transcriptOf("process").size(), 2u);
}

TEST_F(ScriptCommands, ScriptsRunBesideTheFirstItemOrInTheFolderShown) {
    useScript("pwd");
    const std::string sub = files().mkdir("sub").string();
    const std::string other = files().mkdir("other").string();
    runScript({file("sub/a.txt"), file("other/b.txt")});
    runScript({}, MenuKind::Container, other);
    EXPECT_EQ(alertTexts(), (std::vector<std::string>{sub + "\n", other + "\n"}));
}

// A click only starts a script: menus and later clicks must not wait for it. What it shows
// comes when it ends, and meanwhile the background queue goes on with other work.
TEST_F(ScriptCommands, ScriptsOfBothKindsRunOffTheClickAndReportWhenTheyEnd) {
    const fs::path gate = files().path() / "gate";
    ASSERT_TRUE(makeGate(gate));
    const std::vector<std::array<std::string, 2>> scripts{
        {"sh", "read -r word < gate; echo \"$word @rfname\""},
        {"py", "import sys\nsys.exit(open('gate').read().strip() + ' @rfname')"},
    };
    std::size_t shown = 0;
    for (const auto& [ext, script] : scripts) {
        session();
        useScript(script, ext);
        clickScript({file("a.txt")});
        EXPECT_FALSE(sync().isIdle()) << ext;
        bool otherWorkDone = false;
        sync().runInBackground([] {}, [&] { otherWorkDone = true; });
        ASSERT_TRUE(defaultRunLoop().runUntil([&] { return otherWorkDone; }, 10s)) << ext;
        EXPECT_EQ(transcriptOf("alert").size(), shown) << "shown before the script ended";
        ASSERT_TRUE(openGate(gate, "go\n"));
        ASSERT_TRUE(session_->waitUntilIdle(30s));
        ++shown;
    }
    EXPECT_EQ(alertTexts(), (std::vector<std::string>{"go a.txt\n", "go a.txt"}));
    EXPECT_EQ(processArgvs().back(),
              (std::vector<std::string>{"python3", "-c",
                                        "import sys\nsys.exit(open('gate').read().strip() + "
                                        "' a.txt')"}));
}

TEST_F(ScriptCommands, SecondKindRunsOneAfterAnotherAndReportsOnlyFailures) {
    // The first item waits before writing: had the runs overlapped, the order would flip.
    useScript(
        "import sys, time\n"
        "if '@rfname' == 'a.txt':\n"
        "    time.sleep(0.3)\n"
        "open('log', 'a').write('@rfname\\n')\n"
        "if '@rfname' == 'c.txt':\n"
        "    sys.exit(3)\n"
        "print('success output is not shown')\n",
        "scpt");
    runScript({file("a.txt"), file("b.txt"), file("c.txt")});
    EXPECT_EQ(readFile(files().path() / "log"), "a.txt\nb.txt\nc.txt\n");
    EXPECT_EQ(alertTexts(), std::vector<std::string>{localized("Error Execute Tip")});
}

TEST_F(ScriptCommands, ACatalogueScriptRunsFromTheCommandLine) {
    useScript("echo @rfname");
    const std::string target = file("from cli.txt");
    const std::string transcript = (files().path() / "t.jsonl").string();
    const CliResult r =
        runCli(&runSyncCommand, {"run", "--tag", "101", "--transcript", transcript, target});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(readFile(transcript));
    std::string line;
    std::vector<std::string> informatives;
    while (std::getline(lines, line)) {
        const nlohmann::json entry = nlohmann::json::parse(line);
        if (entry["type"] == "alert") {
            informatives.push_back(entry["informative"]);
        }
    }
    EXPECT_EQ(informatives, std::vector<std::string>{"from cli.txt\n"});
}

// ---- "Execute Script" ---------------------------------------------------------------------

class ExecuteScriptFiles : public ScriptCommands {
  protected:
    void SetUp() override {
        ScriptCommands::SetUp();
        setMainList({{{"key", "Execute Script"}}});
    }
    void runFiles(const std::vector<std::string>& selection) {
        const MenuList menu = menuFor(MenuKind::Items, selection);
        ASSERT_EQ(keysOf(menu), std::vector<std::string>{"Execute Script"});
        ASSERT_TRUE(sync().activate(sync().menuId(), 1));
        ASSERT_TRUE(session_->waitUntilIdle(std::chrono::seconds(30)));
    }
    // The menu offers the entry only for the formats it lists; the command itself also runs
    // Python files, reached here directly.
    void runCommand(const std::vector<std::string>& selection) {
        menuFor(MenuKind::Items, selection);
        const CommandHandler* handler = sync().commands().find(CommandId::ExecuteSelectedScripts);
        ASSERT_NE(handler, nullptr);
        CommandCall call;
        call.id = CommandId::ExecuteSelectedScripts;
        (*handler)(sync(), call);
        ASSERT_TRUE(session_->waitUntilIdle(std::chrono::seconds(30)));
    }
};

TEST_F(ExecuteScriptFiles, RunsShellFilesInTurnAndSkipsOthers) {
    const std::string slow = file("slow.sh", "sleep 0.3; echo slow >> log; echo from slow\n");
    const std::string failing = file("fail.SH", "echo fail >> log; echo hidden; exit 2\n");
    const std::string quiet = file("quiet.sh", "echo quiet >> log\n");
    const std::string text = file("notes.txt", "echo never >> log\n");
    const std::string compiled = file("old.scpt", "echo never >> log\n");
    runFiles({slow, text, failing, compiled, quiet});
    EXPECT_EQ(readFile(files().path() / "log"), "slow\nfail\nquiet\n");
    EXPECT_EQ(alertTexts(),
              (std::vector<std::string>{"from slow\n", localized("Error Execute Tip")}));
    EXPECT_EQ(processArgvs(), (std::vector<std::vector<std::string>>{
                                  {"/bin/sh", slow}, {"/bin/sh", failing}, {"/bin/sh", quiet}}));
    EXPECT_EQ(transcriptOf("process")[0]["cwd"], files().path().string());
}

TEST_F(ExecuteScriptFiles, PythonFilesRunWithPython) {
    const std::string shell = file("a.sh", "sleep 0.3; echo a >> log\n");
    const std::string python = file("b.py", "open('log', 'a').write('b\\n')\nprint('hi')\n");
    const std::string broken = file("c.PY", "raise SystemExit(1)\n");
    runCommand({python, shell, broken});
    EXPECT_EQ(readFile(files().path() / "log"), "b\na\n");
    EXPECT_EQ(processArgvs(), (std::vector<std::vector<std::string>>{
                                  {"python3", python}, {"/bin/sh", shell}, {"python3", broken}}));
    EXPECT_EQ(alertTexts(), (std::vector<std::string>{"hi\n", localized("Error Execute Tip")}));
}

TEST_F(ExecuteScriptFiles, HostileFileNamesAreOnlyEverArguments) {
    const std::string quoteName = file("a\"; touch pwned; \".sh", "echo ok\n");
    const std::string substName = file("$(touch pwned).sh", "echo ok\n");
    const std::string backtick = file("`touch pwned`.py", "print('ok')\n");
    runFiles({quoteName, substName});
    session();
    runCommand({backtick});
    EXPECT_TRUE(pwnedBelow(files().path()).empty());
    EXPECT_TRUE(pwnedBelow(home()).empty());
    EXPECT_EQ(alertTexts(), (std::vector<std::string>{"ok\n", "ok\n", "ok\n"}));
}

// ---- `trackfolio-sync alert` ---------------------------------------------------------------

// Sets an environment variable for one test.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

class AlertCli : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        // Answers and transcript of an outer run must not leak into these tests.
        ::unsetenv("TRACKFOLIO_ANSWERS");
        ::unsetenv("TRACKFOLIO_TRANSCRIPT");
    }
    static CliResult alert(const std::vector<std::string>& args) {
        std::vector<std::string> all{"alert"};
        all.insert(all.end(), args.begin(), args.end());
        return runCli(&runSyncCommand, all);
    }
    std::string answers(const std::string& lines) {
        return files().write("answers-" + std::to_string(++count_) + ".jsonl", lines).string();
    }
    std::vector<nlohmann::json> transcriptLines() {
        std::vector<nlohmann::json> lines;
        std::istringstream in(readFile(transcript_));
        std::string line;
        while (std::getline(in, line)) {
            lines.push_back(nlohmann::json::parse(line));
        }
        return lines;
    }

    int count_ = 0;
    std::string transcript_ = (files().path() / "t.jsonl").string();
};

TEST_F(AlertCli, PrintsTheChosenButtonAndAppendsToTheTranscript) {
    files().write("t.jsonl", "{\"type\":\"earlier\"}\n");
    // The options the built-in welcome script passes.
    CliResult r = alert({"--title", "Hello", "--message", "Welcome", "--button", "Cancel",
                         "--button", "Go Review", "--answers", answers("{\"button\": 2}\n"),
                         "--transcript", transcript_});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Go Review\n");

    r = alert({"--message", "Second", "--informative", "More", "--answers",
               answers("{\"button\": \"OK\"}\n"), "--transcript", transcript_});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, localized("OK") + "\n");

    const auto lines = transcriptLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["type"], "earlier");
    EXPECT_EQ(lines[1]["message"], "Hello");
    EXPECT_EQ(lines[1]["informative"], "Welcome");
    EXPECT_EQ(lines[1]["buttons"], (std::vector<std::string>{"Cancel", "Go Review"}));
    EXPECT_EQ(lines[1]["style"], "informational");
    EXPECT_EQ(lines[2]["message"], localized("Tip"));
    EXPECT_EQ(lines[2]["informative"], "Second\n\nMore");
    EXPECT_EQ(lines[2]["buttons"], std::vector<std::string>{localized("OK")});
}

TEST_F(AlertCli, CancelledOrUnansweredPrintsNothingAndExitsOne) {
    CliResult r = alert({"--message", "m", "--answers", answers("{\"cancel\": true}\n")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    r = alert({"--message", "m", "--button", "A"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    r = alert({"--message", "m", "--button", "A", "--answers", answers("{\"button\": \"B\"}\n")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
}

TEST_F(AlertCli, AnswersAndTranscriptComeFromTheEnvironmentUnlessGiven) {
    const ScopedVariable answerVariable("TRACKFOLIO_ANSWERS", answers("{\"button\": \"Yes\"}\n"));
    const ScopedVariable transcriptVariable("TRACKFOLIO_TRANSCRIPT", transcript_);
    CliResult r = alert({"--message", "From env", "--button", "No", "--button", "Yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Yes\n");
    r = alert(
        {"--message", "Given", "--button", "No", "--answers", answers("{\"button\": \"No\"}\n")});
    EXPECT_EQ(r.out, "No\n");
    const auto lines = transcriptLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1]["answer"], "No");
}

TEST_F(AlertCli, BadUsageIsOneLineOnStandardErrorAndExitTwo) {
    const std::string missing = (files().path() / "none.jsonl").string();
    const std::vector<std::vector<std::string>> cases{
        {},
        {"--title", "T"},
        {"--message"},
        {"--message", "m", "--colour", "red"},
        {"--message", "m", "stray"},
        {"--message", "m", "--button", " "},
        {"--message", "m", "--answers", missing},
        {"--message", "m", "--answers", answers("[1]\n")},
        {"--message", "m", "--transcript", (files().path() / "no/such/t.jsonl").string()},
    };
    for (const auto& args : cases) {
        const CliResult r = alert(args);
        EXPECT_EQ(r.status, 2) << testing::PrintToString(args);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    const CliResult help = alert({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--message"), std::string::npos);
}

TEST_F(AlertCli, HostileTextIsShownAsGivenAndNeverRun) {
    const std::string hostile = "a\"; touch pwned; \"$(touch pwned)`touch pwned`\n";
    const CliResult r =
        alert({"--title", hostile, "--message", hostile, "--button", hostile, "--answers",
               answers("{\"button\": 1}\n"), "--transcript", transcript_});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, hostile + "\n");
    const auto lines = transcriptLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["informative"], hostile);
    EXPECT_EQ(lines[0]["message"], hostile);
    EXPECT_TRUE(pwnedBelow(files().path()).empty());
}

}  // namespace
}  // namespace tf::test
