// `trackfolio-sync menu` and `run`: the same engine as the file-manager menus, driven from
// the command line with the headless prompts.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

#include "cli/sync_cli.h"
#include "model/default_data.h"
#include "model/menu_manager.h"
#include "support/sandbox.h"

namespace tf::test {
namespace {

class MenuCli : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        ASSERT_TRUE(RCDefaultData::setup().ok);
        ASSERT_TRUE(
            RCMenuManager::sharedInstance().sharedDefaults().set("is reviewed", Value(true)).ok);
    }
    static CliResult run(const std::vector<std::string>& args) {
        return runCli(&runSyncCommand, args);
    }
    static std::vector<nlohmann::json> jsonLines(const std::string& text) {
        std::vector<nlohmann::json> lines;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty()) {
                lines.push_back(nlohmann::json::parse(line));
            }
        }
        return lines;
    }
};

TEST_F(MenuCli, PrintsTheTreeWithTagsAndAsJson) {
    const std::string file = files().write("a.txt").string();
    CliResult r = run({"menu", file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("New File  [1]\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n  Text"), std::string::npos) << r.out;

    r = run({"menu", "--json", "file://" + file});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json menu = nlohmann::json::parse(r.out);
    ASSERT_TRUE(menu.is_array());
    EXPECT_EQ(menu[0]["key"], "New File");
    EXPECT_EQ(menu[0]["tag"], 1);
}

TEST_F(MenuCli, KindAndTargetChooseTheMenu) {
    const auto folder = files().mkdir("some folder");
    CliResult items = run({"menu", "--json", "--kind", "items", folder.string()});
    CliResult background = run({"menu", "--json", "--target", folder.string()});
    ASSERT_EQ(items.status, 0) << items.err;
    ASSERT_EQ(background.status, 0) << background.err;
    // "Copy to" needs selected items; the background of a folder is not a selection.
    EXPECT_NE(items.out.find("\"Copy to\""), std::string::npos);
    EXPECT_EQ(background.out.find("\"Copy to\""), std::string::npos);
}

TEST_F(MenuCli, RunDispatchesATagAndWritesTheTranscript) {
    // "Extract Icon" runs in the background: run waits for it before it exits.
    ASSERT_TRUE(RCMenuManager::sharedInstance()
                    .updateMenuKey(kMainListKey, "Extract Icon", "disabled", Value(false))
                    .ok);
    const std::string file = files().write("a.txt").string();
    const std::string transcript = (files().path() / "t.jsonl").string();
    const CliResult menu = run({"menu", "--json", file});
    const nlohmann::json tree = nlohmann::json::parse(menu.out);
    std::int64_t extractTag = 0;
    for (const auto& entry : tree) {
        if (entry["key"] == "Extract Icon") {
            extractTag = entry["tag"];
        }
    }
    ASSERT_NE(extractTag, 0);
    const CliResult r =
        run({"run", "--tag", std::to_string(extractTag), "--transcript", transcript, file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(files().path() / "a.png"));
    // Nothing to tell the user, so nothing recorded.
    EXPECT_TRUE(jsonLines(readFile(transcript)).empty());
}

TEST_F(MenuCli, RunAnswersPromptsFromTheAnswersFile) {
    // "Terminal To" > "Select Folder" asks for a folder first.
    ASSERT_TRUE(RCMenuManager::sharedInstance()
                    .updateMenuKey(kMainListKey, "Terminal To", "disabled", Value(false))
                    .ok);
    const std::string file = files().write("a.txt").string();
    const std::string answers = files().write("answers.jsonl", "{\"cancel\": true}\n").string();
    const CliResult menu = run({"menu", "--json", file});
    std::int64_t terminalTo = 0;
    for (const auto& entry : nlohmann::json::parse(menu.out)) {
        if (entry["key"] == "Terminal To") {
            terminalTo = entry["tag"];
        }
    }
    ASSERT_NE(terminalTo, 0);
    const CliResult r =
        run({"run", "--tag", std::to_string(terminalTo * 100 + 1), "--answers", answers, file});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<nlohmann::json> lines = jsonLines(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.out;
    EXPECT_EQ(lines[0]["type"], "choose-folder");
    EXPECT_TRUE(lines[0]["answer"].is_null());
}

TEST_F(MenuCli, RefusesTagsNotInTheMenuAndBadOptions) {
    const std::string file = files().write("a.txt").string();
    EXPECT_EQ(run({"run", "--tag", "98", file}).status, 2);
    EXPECT_EQ(run({"run", file}).status, 2);
    EXPECT_EQ(run({"run", "--tag", "x1", file}).status, 2);
    EXPECT_EQ(run({"menu", "--kind", "sideways", file}).status, 2);
    EXPECT_EQ(run({"menu", "--target"}).status, 2);
    EXPECT_EQ(run({"menu", "file://server/a.txt"}).status, 2);
    const CliResult missing =
        run({"run", "--tag", "1", "--answers", (files().path() / "none").string(), file});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);
}

TEST_F(MenuCli, PathsThatCannotBeDecodedWholeAreRefusedNotCut) {
    // "important%00.txt" once decoded to "important" + NUL, and the folder beside it was what
    // the command acted on.
    const std::string folder = files().mkdir("d/important").string();
    const std::string uri = "file://" + folder;
    const std::vector<std::pair<std::string, std::string>> refused{
        {uri + "%00.txt", "NUL"},
        {uri + "/100%", "percent escape"},
        {uri + "%zz", "percent escape"},
        {uri + "#x.txt", "fragment"},
        {"file://server" + folder, "another host"},
        {folder + std::string("\0.txt", 5), "NUL"},
        {"", "empty path"},
    };
    for (const auto& [argument, reason] : refused) {
        for (const char* option : {"", "--target"}) {
            std::vector<std::string> args{"menu"};
            if (*option != '\0') {
                args.emplace_back(option);
            }
            args.push_back(argument);
            const CliResult r = run(args);
            EXPECT_EQ(r.status, 2) << argument;
            EXPECT_EQ(r.out, "") << argument;
            EXPECT_NE(r.err.find(reason), std::string::npos) << argument << ": " << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    const std::string spaced = files().write("d/a b.txt").string();
    const CliResult escaped = run({"menu", "--json", "file://" + folder + "/../a%20b.txt"});
    EXPECT_EQ(escaped.status, 0) << escaped.err;
    EXPECT_EQ(escaped.out, run({"menu", "--json", spaced}).out);
}

TEST_F(MenuCli, ACutMadeByOneRunCanBePastedByTheNext) {
    // The one-shot commands leave the cut list alone (only the long-lived service clears it
    // when it starts), so the Paste entry appears in a later menu.
    const std::string file = files().write("from/a.txt").string();
    const auto to = files().mkdir("to");
    ASSERT_TRUE(RCMenuManager::sharedInstance()
                    .updateMenuKey(kMainListKey, "Cut Paste", "cutPaths", Value(Array{file}))
                    .ok);
    const std::string other = files().write("other.txt").string();
    ASSERT_EQ(run({"run", "--tag", "1", other}).status, 0);
    const CliResult r = run({"menu", "--json", "--target", to.string()});
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"Cut Paste\""), std::string::npos);
}

}  // namespace
}  // namespace tf::test
