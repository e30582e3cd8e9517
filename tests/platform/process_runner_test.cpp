#include "platform/process_runner.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "support/sandbox.h"

namespace tf {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

ProcessRequest shell(const std::string& script, std::vector<std::string> args = {}) {
    ProcessRequest request;
    request.argv = {"/bin/sh", "-c", script, "sh"};
    request.argv.insert(request.argv.end(), args.begin(), args.end());
    return request;
}

class ProcessRunnerTest : public test::SandboxTest {
  protected:
    PosixProcessRunner runner_;
};

// --- how programs end ---

TEST_F(ProcessRunnerTest, ReportsExitStatusAndSignal) {
    auto result = runner_.run(shell("exit 3"));
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.signal, 0);
    EXPECT_FALSE(result.succeeded());

    result = runner_.run({{"true"}, {}, {}, {}});
    EXPECT_TRUE(result.succeeded());

    result = runner_.run(shell("kill -TERM $$"));
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.signal, SIGTERM);
    EXPECT_EQ(result.exitCode, -1);
    EXPECT_FALSE(result.succeeded());
}

TEST_F(ProcessRunnerTest, AProgramThatCannotStartIsReported) {
    auto result = runner_.run({{"trackfolio-no-such-program"}, {}, {}, {}});
    EXPECT_FALSE(result.started);
    EXPECT_EQ(result.exitCode, -1);
    EXPECT_NE(result.error.find("trackfolio-no-such-program"), std::string::npos) << result.error;

    result = runner_.run({{(files().path() / "missing").string()}, {}, {}, {}});
    EXPECT_FALSE(result.started);
    EXPECT_FALSE(result.error.empty());

    // Present but not executable.
    result = runner_.run({{files().write("plain.txt", "echo hi\n").string()}, {}, {}, {}});
    EXPECT_FALSE(result.started);

    result = runner_.run({{}, {}, {}, {}});
    EXPECT_FALSE(result.started);
    EXPECT_FALSE(result.error.empty());

    result = runner_.run({{"true"}, (files().path() / "gone").string(), {}, {}});
    EXPECT_FALSE(result.started);
    EXPECT_NE(result.error.find("gone"), std::string::npos) << result.error;

    EXPECT_FALSE(runner_.spawnDetached({{"trackfolio-no-such-program"}, {}, {}, {}}));
}

// --- input and output ---

TEST_F(ProcessRunnerTest, LargeOutputOnBothStreamsDoesNotDeadlock) {
    // All of stderr comes first: a reader that drained stdout alone would wait forever.
    const auto result = runner_.run(shell(
        "head -c 4000000 /dev/zero | tr '\\0' e >&2; head -c 6000000 /dev/zero | tr '\\0' o"));
    ASSERT_TRUE(result.succeeded()) << result.error;
    EXPECT_EQ(result.err.size(), 4000000U);
    EXPECT_EQ(result.out.size(), 6000000U);
    EXPECT_EQ(result.err.find_first_not_of('e'), std::string::npos);
    EXPECT_EQ(result.out.find_first_not_of('o'), std::string::npos);
}

TEST_F(ProcessRunnerTest, InputIsDeliveredWhileOutputIsRead) {
    std::string input;
    for (int i = 0; input.size() < 5000000; ++i) {
        input += std::to_string(i) + "\n";
    }
    ProcessRequest request;
    request.argv = {"cat"};
    request.input = input;
    const auto result = runner_.run(request);
    ASSERT_TRUE(result.succeeded()) << result.error;
    EXPECT_EQ(result.out, input);

    request.argv = {"wc", "-l"};
    request.input = "a\nb\nc\n";
    EXPECT_EQ(runner_.run(request).out, "3\n");
}

TEST_F(ProcessRunnerTest, AProgramThatIgnoresItsInputDoesNotHurtUs) {
    ProcessRequest request = shell("exit 0");
    request.input.assign(8000000, 'x');
    const auto result = runner_.run(request);
    EXPECT_TRUE(result.succeeded()) << result.error;
    // Its standard input still reached end of file when there was none.
    EXPECT_EQ(runner_.run({{"cat"}, {}, {}, {}}).out, "");
}

TEST_F(ProcessRunnerTest, ABackgroundChildHoldingTheOutputDoesNotKeepUsWaiting) {
    const auto started = std::chrono::steady_clock::now();
    const auto result = runner_.run(shell("sleep 30 & echo $!; echo done"));
    ASSERT_TRUE(result.succeeded()) << result.error;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
    EXPECT_NE(result.out.find("done"), std::string::npos);
    const auto background = std::stoi(result.out);
    ::kill(background, SIGTERM);
}

// --- folder, environment, arguments ---

TEST_F(ProcessRunnerTest, RunsInTheGivenWorkingFolder) {
    const auto folder = files().mkdir("work here");
    ProcessRequest request;
    request.argv = {"pwd", "-P"};
    request.workingDirectory = folder.string();
    const auto result = runner_.run(request);
    ASSERT_TRUE(result.succeeded()) << result.error;
    EXPECT_EQ(result.out, fs::canonical(folder).string() + "\n");
}

TEST_F(ProcessRunnerTest, EnvironmentAdditionsReplaceInheritedValues) {
    ::setenv("TF_TEST_INHERITED", "old", 1);
    ::setenv("TF_TEST_KEPT", "kept", 1);
    ProcessRequest request;
    request.argv = {"env"};
    request.environment = {{"TF_TEST_INHERITED", "new"}, {"TF_TEST_ADDED", "a=b c"}};
    const auto result = runner_.run(request);
    ::unsetenv("TF_TEST_INHERITED");
    ::unsetenv("TF_TEST_KEPT");
    ASSERT_TRUE(result.succeeded()) << result.error;

    std::istringstream lines(result.out);
    std::vector<std::string> ours;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("TF_TEST_", 0) == 0) {
            ours.push_back(line);
        }
    }
    std::sort(ours.begin(), ours.end());
    EXPECT_EQ(ours, (std::vector<std::string>{"TF_TEST_ADDED=a=b c", "TF_TEST_INHERITED=new",
                                              "TF_TEST_KEPT=kept"}));

    request.environment = {{"BAD=NAME", "x"}};
    EXPECT_FALSE(runner_.run(request).started);
}

TEST_F(ProcessRunnerTest, ArgumentsReachTheProgramLiterally) {
    const std::vector<std::string> hostile = {"\"; touch pwned; \"",
                                              "$(touch pwned)",
                                              "`touch pwned`",
                                              "a b\tc",
                                              "",
                                              "'quoted'",
                                              "--help"};
    ProcessRequest request;
    request.argv = {"printf", "[%s]\\n"};
    request.argv.insert(request.argv.end(), hostile.begin(), hostile.end());
    request.workingDirectory = files().path().string();
    const auto result = runner_.run(request);
    ASSERT_TRUE(result.succeeded()) << result.error;
    std::string expected;
    for (const auto& argument : hostile) {
        expected += "[" + argument + "]\n";
    }
    EXPECT_EQ(result.out, expected);
    EXPECT_FALSE(fs::exists(files().path() / "pwned"));
}

// --- detached programs and lookup ---

TEST_F(ProcessRunnerTest, ADetachedProgramIsReapedAndWritesNowhere) {
    const auto report = files().path() / "report";
    // The script reports where its standard descriptors go and its pid, then exits.
    ProcessRequest request = shell(
        "fds=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2);"
        " printf '%s\\n%s\\n' \"$fds\" $$ > \"$1.tmp\"; mv \"$1.tmp\" \"$1\"",
        {report.string()});
    ASSERT_TRUE(runner_.spawnDetached(request));
    ASSERT_TRUE(eventually([&] { return fs::exists(report); }));

    std::istringstream lines(test::readFile(report));
    std::string line;
    for (int fd = 0; fd < 3; ++fd) {
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(line, "/dev/null") << "descriptor " << fd;
    }
    ASSERT_TRUE(std::getline(lines, line));
    const auto proc = fs::path("/proc") / line;
    // A zombie would keep its /proc entry until someone waits for it.
    EXPECT_TRUE(eventually([&] { return !fs::exists(proc); })) << proc;
}

TEST_F(ProcessRunnerTest, FindsProgramsOnThePath) {
    const auto sh = findProgram("sh");
    ASSERT_TRUE(sh.has_value());
    EXPECT_TRUE(fs::path(*sh).is_absolute());
    EXPECT_FALSE(findProgram("trackfolio-no-such-program").has_value());
    EXPECT_FALSE(findProgram("").has_value());

    const auto tool = files().write("bin/tool", "#!/bin/sh\n");
    fs::permissions(tool, fs::perms::owner_all);
    files().mkdir("first/tool");
    files().write("second/tool", "not executable");
    const std::string old = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    const std::string path = (files().path() / "first").string() +
                             "::" + (files().path() / "second").string() + ":" +
                             (files().path() / "bin").string();
    ::setenv("PATH", path.c_str(), 1);
    // Folders and files that are not executable are passed over.
    const auto found = findProgram("tool");
    ::setenv("PATH", old.c_str(), 1);
    EXPECT_EQ(found, tool.string());

    EXPECT_EQ(findProgram(tool.string()), tool.string());
    EXPECT_FALSE(findProgram((files().path() / "second" / "tool").string()).has_value());
}

TEST_F(ProcessRunnerTest, AnAddedPathIsWhereTheProgramIsLookedUp) {
    const auto tool = files().write("bin/only-here", "#!/bin/sh\necho found\n");
    fs::permissions(tool, fs::perms::owner_all);
    ProcessRequest request;
    request.argv = {"only-here"};
    EXPECT_FALSE(runner_.run(request).started);
    request.environment = {{"PATH", (files().path() / "bin").string() + ":/usr/bin:/bin"}};
    const auto result = runner_.run(request);
    ASSERT_TRUE(result.succeeded()) << result.error;
    EXPECT_EQ(result.out, "found\n");
}

}  // namespace
}  // namespace tf
