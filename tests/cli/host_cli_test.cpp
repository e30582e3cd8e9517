#include "cli/host_cli.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "model/menu_manager.h"
#include "support/sandbox.h"

extern char** environ;

namespace tf {
namespace {

namespace fs = std::filesystem;

using test::CliResult;

class HostCliTest : public test::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        setRunningDeliverable(Deliverable::Host);
    }

    static CliResult run(const std::vector<std::string>& args) {
        return test::runCli(&runHostCommand, args);
    }

    std::string settingsBytes() const {
        return test::readFile(RCMenuManager::sharedInstance().paths().sharedSettingsFile());
    }

    static Value stored(std::string_view key) {
        return RCMenuManager::sharedInstance().sharedDefaults().value(key);
    }
};

// Refused input: status 2, one line on err, nothing on out.
void expectRefused(const CliResult& r) {
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.back(), '\n');
}

TEST_F(HostCliTest, SetupWritesTheDefaultsOnceAndKeepsUserChoices) {
    ASSERT_EQ(run({"setup"}).status, 0);
    EXPECT_EQ(run({"settings", "get", "common path next menu"}).out, "3\n");
    const std::string first = settingsBytes();
    ASSERT_EQ(run({"setup"}).status, 0);
    EXPECT_EQ(settingsBytes(), first) << "a second set-up changes nothing";

    ASSERT_EQ(run({"settings", "set", "common path next menu", "5"}).status, 0);
    ASSERT_EQ(run({"settings", "set", "array right menu", "[{\"key\":\"Copy Path\"}]"}).status, 0);
    ASSERT_EQ(run({"setup"}).status, 0);
    EXPECT_EQ(stored("common path next menu"), Value(5));
    EXPECT_EQ(stored("array right menu").array()->size(), 1U);
}

TEST_F(HostCliTest, ScalarsRoundTripWithTheirTypes) {
    struct Case {
        const char* key;
        const char* json;
        Value expected;
    };
    const Case cases[] = {
        {"pref check7", "true", Value(true)},
        {"common path next menu", "4", Value(4)},
        {"main open key", "9223372036854775807", Value(std::int64_t{9223372036854775807})},
        {"fold menu name", "\"Tools \\u00e9\"", Value("Tools \xC3\xA9")},
        {"Some Entry", "false", Value(false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        ASSERT_EQ(run({"settings", "set", c.key, c.json}).status, 0);
        EXPECT_EQ(stored(c.key), c.expected);
        const CliResult got = run({"settings", "get", c.key});
        EXPECT_EQ(got.status, 0);
        EXPECT_EQ(nlohmann::json::parse(got.out), nlohmann::json::parse(c.json));
    }
    EXPECT_EQ(run({"settings", "get", "pref check7"}).out, "true\n");
}

TEST_F(HostCliTest, ListsOfDictionariesKeepRealsDataAndDates) {
    const std::string json =
        R"([{"path":"/x","n":2.5,"whole":2.0,"count":7,"on":true,)"
        R"("blob":{"$data":"AAEC/w=="},"when":{"$date":"2024-01-31T12:00:00Z"}}])";
    ASSERT_EQ(run({"settings", "set", "array common path", json}).status, 0);

    const Value list = stored("array common path");
    ASSERT_NE(list.array(), nullptr);
    const Dict& entry = *list.array()->at(0).dict();
    EXPECT_EQ(entry.at("n"), Value(2.5));
    EXPECT_EQ(entry.at("whole").type(), Value::Type::Real);
    EXPECT_EQ(entry.at("count"), Value(7));
    EXPECT_EQ(entry.at("blob"), Value(Data{0, 1, 2, 255}));
    EXPECT_EQ(entry.at("when").type(), Value::Type::Date);

    const CliResult got = run({"settings", "get", "array common path"});
    ASSERT_EQ(got.status, 0);
    EXPECT_EQ(nlohmann::json::parse(got.out), nlohmann::json::parse(json));
    EXPECT_NE(got.out.find("2.0"), std::string::npos) << "a whole real stays a real";
}

TEST_F(HostCliTest, AbsentKnownKeysReadAsTheirDefault) {
    EXPECT_EQ(run({"settings", "get", "pref check3"}).out, "false\n");
    EXPECT_EQ(run({"settings", "get", "main open key"}).out, "0\n");
    EXPECT_EQ(run({"settings", "get", "fold menu name"}).out, "\"\"\n");
    EXPECT_EQ(run({"settings", "get", "array common app"}).out, "[]\n");
    EXPECT_EQ(run({"settings", "unset", "pref check3"}).status, 0);
}

TEST_F(HostCliTest, UnknownKeysExistOnlyWhileSet) {
    expectRefused(run({"settings", "get", "No Such Entry"}));
    expectRefused(run({"settings", "unset", "No Such Entry"}));
    ASSERT_EQ(run({"settings", "set", "No Such Entry", "true"}).status, 0);
    EXPECT_EQ(run({"settings", "unset", "No Such Entry"}).status, 0);
    expectRefused(run({"settings", "get", "No Such Entry"}));
}

TEST_F(HostCliTest, BadValuesAreRefusedAndLeaveTheFileAlone) {
    ASSERT_EQ(run({"setup"}).status, 0);
    ASSERT_EQ(run({"settings", "set", "pref check7", "true"}).status, 0);
    const std::string before = settingsBytes();
    const std::vector<std::vector<std::string>> bad = {
        {"pref check7", "{\"a\":"},
        {"pref check7", ""},
        {"pref check7", "1"},
        {"pref check7", "null"},
        {"common path next menu", "2.5"},
        {"common path next menu", "9223372036854775808"},
        {"common path next menu", "99999999999999999999"},
        {"common path next menu", "1e400"},
        {"Some Entry", "[-9e308]"},
        {"fold menu name", "[\"x\"]"},
        {"Some Entry", "\"x\""},
        {"Some Entry", "1"},
        {"array common path", "[1]"},
        {"array common path", "[{\"ok\":true}, \"no\"]"},
        {"array common path", "{\"path\":\"/x\"}"},
        {"array common path", "[{\"blob\":{\"$data\":\"!!\"}}]"},
        {"array common path", "[{\"when\":{\"$date\":\"yesterday\"}}]"},
        {"array common path", "[{\"gone\":null}]"},
        // The settings file cannot keep a NUL: "a\u0000b" was stored as "a".
        {"fold menu name", R"("a\u0000b")"},
        {"No Such Entry", R"("\u0000")"},
        {"array common path", R"([{"path":"/x\u0000/y"}])"},
        {"array common path", R"([{"pa\u0000th":"/x"}])"},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b[0] + " = " + b[1]);
        expectRefused(run({"settings", "set", b[0], b[1]}));
    }
    EXPECT_EQ(settingsBytes(), before);
    EXPECT_EQ(stored("pref check7"), Value(true));
}

TEST_F(HostCliTest, NulIsNamedInTheRefusalAndOtherControlCharactersRoundTrip) {
    const CliResult refused = run({"settings", "set", "fold menu name", R"("a\u0000b")"});
    expectRefused(refused);
    EXPECT_NE(refused.err.find("NUL"), std::string::npos) << refused.err;
    EXPECT_TRUE(stored("fold menu name").isNull());
    // Tabs, escapes for terminal colours and the like are text a script may hold; the file
    // keeps them as they are and reads them back byte for byte.
    const std::string text = R"("tab\t cr\r lf\n esc\u001b[1m bell\u0007 del\u007f")";
    ASSERT_EQ(run({"settings", "set", "fold menu name", text}).status, 0);
    RCMenuManager::sharedInstance().reloadFromEnvironment();
    EXPECT_EQ(stored("fold menu name"),
              Value(std::string("tab\t cr\r lf\n esc\x1b[1m bell\a del\x7f")));
}

TEST_F(HostCliTest, MultiLineInputStillGivesOneErrorLine) {
    expectRefused(run({"settings", "set", "pref check7", "{\n  \"a\": \n"}));
    expectRefused(run({"settings", "get", "no\nsuch"}));
    expectRefused(run({"settings", "set", "odd\nkey", "1"}));
}

TEST_F(HostCliTest, UnwritableStoreIsReportedInOneLine) {
    const fs::path blocker = files().write("plain-file", "x");
    ::setenv("TRACKFOLIO_HOME", (blocker / "home").c_str(), 1);
    RCMenuManager::sharedInstance().reloadFromEnvironment();
    expectRefused(run({"settings", "set", "pref check7", "true"}));
    expectRefused(run({"setup"}));
    expectRefused(run({"settings", "unset", "pref check7"}));
}

TEST_F(HostCliTest, ListPrintsEverythingAsJson) {
    ASSERT_EQ(run({"setup"}).status, 0);
    ASSERT_EQ(run({"settings", "set", "pref check7", "true"}).status, 0);
    ASSERT_EQ(run({"settings", "set", "Some Entry", "false"}).status, 0);
    const CliResult listed = run({"settings", "list"});
    ASSERT_EQ(listed.status, 0);
    const auto json = nlohmann::json::parse(listed.out);
    EXPECT_EQ(json.at("pref check7"), true);
    EXPECT_EQ(json.at("Some Entry"), false);
    EXPECT_EQ(json.at("common path next menu"), 3);
    EXPECT_TRUE(json.at("array right menu").is_array());
    EXPECT_FALSE(json.at("array right menu").empty());
}

TEST_F(HostCliTest, UsageErrorsAndVersion) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"frobnicate"},
                                               {"settings"},
                                               {"settings", "get"},
                                               {"settings", "set", "pref check7"},
                                               {"settings", "get", "a", "b"},
                                               {"settings", "rename", "a"},
                                               {"setup", "now"},
                                               {"--version", "extra"}}) {
        const CliResult r = run(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_FALSE(r.err.empty());
        EXPECT_EQ(r.out, "");
    }
    const CliResult help = run({});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage"), std::string::npos);
    EXPECT_EQ(run({"--version"}).out, "trackfolio 3.0.0\n");
}

// The real program, started with an argument vector in the sandbox's environment.
CliResult spawnTrackfolio(const std::vector<std::string>& args, const fs::path& scratch) {
    const std::string outFile = (scratch / "stdout").string();
    const std::string errFile = (scratch / "stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<std::string> argv = {TRACKFOLIO_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) {
        pointers.push_back(a.data());
    }
    pointers.push_back(nullptr);
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, TRACKFOLIO_BIN, &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return {-1, "", "spawn failed"};
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return {-1, "", "did not exit normally"};
    }
    return {WEXITSTATUS(status), test::readFile(outFile), test::readFile(errFile)};
}

TEST_F(HostCliTest, ProgramSetsUpAndStoresABool) {
    const fs::path scratch = files().mkdir("spawn");
    const CliResult setup = spawnTrackfolio({"setup"}, scratch);
    ASSERT_EQ(setup.status, 0) << setup.err;
    const CliResult set = spawnTrackfolio({"settings", "set", "pref check7", "true"}, scratch);
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(stored("pref check7"), Value(true));
    EXPECT_EQ(stored("common path next menu"), Value(3));

    const CliResult got = spawnTrackfolio({"settings", "get", "pref check7"}, scratch);
    EXPECT_EQ(got.out, "true\n");
    const CliResult refused = spawnTrackfolio({"settings", "set", "pref check7", "1"}, scratch);
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
}

// Run as a separate program: the overflow it guards against would take the test runner down.
TEST_F(HostCliTest, DeeplyNestedValueIsRefusedNotACrash) {
    ASSERT_EQ(run({"setup"}).status, 0);
    const std::string before = settingsBytes();
    constexpr std::size_t kDepth = 30000;  // well inside the 128 KiB argument limit
    const std::string nested = std::string(kDepth, '[') + std::string(kDepth, ']');
    const CliResult r =
        spawnTrackfolio({"settings", "set", "array common path", nested}, files().mkdir("deep"));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(settingsBytes(), before);
}

}  // namespace
}  // namespace tf
