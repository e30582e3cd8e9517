#include "cli/sync_cli.h"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/pasteboard_cli.h"
#include "model/default_data.h"
#include "model/menu_manager.h"
#include "support/sandbox.h"

namespace tf {
namespace {

using test::CliResult;

class SyncCliTest : public test::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        setRunningDeliverable(Deliverable::Extension);
    }

    static CliResult run(const std::vector<std::string>& args) {
        return test::runCli(&runSyncCommand, args);
    }

    // The printed records of one list.
    static nlohmann::json catalogue(const std::string& list) {
        const CliResult r = run({"catalogue", list});
        EXPECT_EQ(r.status, 0) << r.err;
        return nlohmann::json::parse(r.out);
    }

    static std::vector<std::string> keys(const nlohmann::json& records) {
        std::vector<std::string> out;
        for (const auto& record : records) {
            out.push_back(record.at("key").get<std::string>());
        }
        return out;
    }

    // Keys of a default table that start switched on, in table order.
    static std::vector<std::string> switchedOn(const Array& table) {
        std::vector<std::string> out;
        for (const Value& entry : table) {
            if (!dictBool(*entry.dict(), "disabled")) {
                out.push_back(dictString(*entry.dict(), "key"));
            }
        }
        return out;
    }

    static const nlohmann::json& record(const nlohmann::json& records, const std::string& key) {
        const auto it = std::find_if(records.begin(), records.end(),
                                     [&](const auto& r) { return r.at("key") == key; });
        if (it == records.end()) {
            ADD_FAILURE() << "no record " << key;
            static const nlohmann::json missing = nlohmann::json::object();
            return missing;
        }
        return *it;
    }
};

TEST_F(SyncCliTest, MainListShowsTheSwitchedOnDefaultsInStoredOrder) {
    ASSERT_TRUE(RCDefaultData::setup());
    const auto expected = switchedOn(RCDefaultData::defaultMainMenu());
    ASSERT_LT(expected.size(), RCDefaultData::defaultMainMenu().size());

    const CliResult plain = run({"catalogue"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    const auto records = nlohmann::json::parse(plain.out);
    EXPECT_EQ(keys(records), expected);
    for (const auto& r : records) {
        EXPECT_FALSE(r.contains("disabled")) << r.dump();
        EXPECT_TRUE(r.contains("menuTitle")) << r.dump();
    }
    EXPECT_EQ(catalogue("main"), records);

    const auto& terminal = record(records, "Terminal Window");
    EXPECT_EQ(terminal.value("serve", ""), "New Terminal at Folder");
    EXPECT_EQ(terminal.value("isNotNeedURL", false), true);
    EXPECT_EQ(terminal.value("disabledAuth", false), true);
    const auto& hideAll = record(records, "Hide All Files");
    EXPECT_EQ(hideAll.value("isShowHideFile", false), true);
    EXPECT_FALSE(hideAll.contains("command"));
    EXPECT_FALSE(hideAll.contains("isNeedSelectURL"));
    EXPECT_EQ(record(records, "Hide Selected Files").value("isNeedSelectURL", false), true);
}

TEST_F(SyncCliTest, HideAndShowEntriesPrintNoOtherPlatformsCommands) {
    Array list;
    for (const char* key :
         {"Hide Selected Files", "Hide All Files", "Unhide All Files", "System Hide Files"}) {
        list.emplace_back(Dict{{"key", key}});
    }
    ASSERT_TRUE(RCMenuManager::sharedInstance().sharedDefaults().set(kMainListKey, Value(list)));
    const CliResult r = run({"catalogue"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("chflags"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("defaults write"), std::string::npos) << r.out;
    EXPECT_EQ(
        record(nlohmann::json::parse(r.out), "Unhide All Files").value("isShowHideFile", false),
        true);
}

TEST_F(SyncCliTest, TemplatesLeaveOutSwitchedOffExtensions) {
    ASSERT_TRUE(RCDefaultData::setup());
    const auto printed = keys(catalogue("templates"));
    EXPECT_EQ(printed, switchedOn(RCDefaultData::defaultNewFileMenu()));
    EXPECT_EQ(printed.front(), "New File From Window");
    for (const char* off : {"et", "dps", "html", "xml", "css", "js", "py", "sh"}) {
        EXPECT_EQ(std::count(printed.begin(), printed.end(), off), 0) << off;
    }
    EXPECT_EQ(std::count(printed.begin(), printed.end(), "wps"), 1);
}

TEST_F(SyncCliTest, OtherListsFollowTheirDefaults) {
    ASSERT_TRUE(RCDefaultData::setup());
    const auto apps = catalogue("apps");
    EXPECT_EQ(keys(apps), switchedOn(RCDefaultData::defaultCommonAppMenu()));
    for (const auto& app : apps) {
        EXPECT_EQ(app.value("appName", ""), app.at("key")) << "the key names the application";
    }
    EXPECT_EQ(keys(catalogue("icons")), switchedOn(RCDefaultData::defaultFolderIconMenu()));
    EXPECT_EQ(catalogue("scripts").size(), RCDefaultData::defaultCommonScriptMenu().size());
    EXPECT_EQ(run({"catalogue", "paths"}).out, "[]\n");
}

TEST_F(SyncCliTest, EmptyStorePrintsEmptyLists) {
    for (const char* list : {"main", "templates", "apps", "paths", "scripts", "icons"}) {
        const CliResult r = run({"catalogue", list});
        EXPECT_EQ(r.status, 0) << list;
        EXPECT_EQ(r.out, "[]\n") << list;
    }
}

TEST_F(SyncCliTest, EntriesWithoutAUsableKeyAreLeftOut) {
    Array main{Value(Dict{{"icon", Value("x")}}),
               Value(Dict{{"key", Value("Copy Path")}}),
               Value(Dict{{"key", Value("  \n")}}),
               Value(Dict{{"key", Value("(null)")}}),
               Value(Dict{{"key", Value(7)}}),
               Value("not a dictionary"),
               Value(Dict{{"key", Value("Delete")}, {"disabled", Value("YES")}})};
    ASSERT_TRUE(RCMenuManager::sharedInstance().sharedDefaults().set(kMainListKey, main));
    EXPECT_EQ(keys(catalogue("main")), std::vector<std::string>{"Copy Path"});
}

TEST_F(SyncCliTest, EveryRequestReadsTheStoreAfresh) {
    auto& store = RCMenuManager::sharedInstance().sharedDefaults();
    ASSERT_TRUE(store.set(kPathListKey, Array{Value(Dict{{"path", Value("/srv/a")}})}));
    EXPECT_EQ(keys(catalogue("paths")), std::vector<std::string>{"/srv/a"});
    ASSERT_TRUE(store.set(
        kPathListKey, Array{Value(Dict{{"path", Value("/srv/b/")}}),
                            Value(Dict{{"path", Value("/srv/c")}, {"disabled", Value(true)}})}));
    const auto paths = catalogue("paths");
    EXPECT_EQ(keys(paths), std::vector<std::string>{"/srv/b"});
    EXPECT_EQ(paths.at(0).value("path", ""), "/srv/b");
}

TEST_F(SyncCliTest, BadRequestsAreRefused) {
    const CliResult unknown = run({"catalogue", "recipes"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(std::count(unknown.err.begin(), unknown.err.end(), '\n'), 1) << unknown.err;
    EXPECT_EQ(run({"catalogue", "main", "extra"}).status, 2);
    EXPECT_EQ(run({"popup"}).status, 2);
    EXPECT_EQ(run({"--version"}).out, "trackfolio-sync 3.0.0\n");
}

// What the pasteboard command hands over, and when it refuses before anything is handed.
TEST(PasteboardCli, HandsInputUpToTheLimitToTheServiceAndSaysWhetherItTookIt) {
    std::optional<std::string> handed;
    std::string refusal;
    struct Case {
        std::vector<std::string> args;
        std::string input;
        bool installed;
        int status;
        bool handedOver;
    };
    const std::string full(kPasteboardLimit, 'x');
    const std::vector<Case> cases{
        {{"pasteboard"}, "a\nb", true, 0, true},
        {{"pasteboard"}, std::string("raw\xff name\n", 10), true, 0, true},
        {{"pasteboard"}, "", true, 0, true},
        {{"pasteboard"}, full, true, 0, true},
        {{"pasteboard"}, full + "y", true, 2, false},
        {{"pasteboard", "extra"}, "a", true, 2, false},
        {{"pasteboard"}, "a", false, 1, false},
        {{"pasteboard"}, "refused", true, 1, true},
    };
    for (const Case& c : cases) {
        handed.reset();
        setPasteboardSender(
            c.installed ? PasteboardSender([&](const std::string& text, std::string& error) {
                handed = text;
                error = "the clipboard did not take the text";
                return text != "refused";
            })
                        : PasteboardSender());
        std::istringstream in(c.input);
        std::ostringstream out;
        std::ostringstream err;
        const int status = runPasteboardCommand(c.args, in, out, err);
        const std::string shown = c.input.substr(0, 12);
        EXPECT_EQ(status, c.status) << shown;
        EXPECT_EQ(handed.has_value(), c.handedOver) << shown;
        if (c.handedOver) {
            EXPECT_EQ(handed, c.input) << "bytes handed over as read";
        }
        EXPECT_EQ(out.str(), "");
        const std::string message = err.str();
        EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), status == 0 ? 0 : 1) << message;
    }
    setPasteboardSender(nullptr);
}

}  // namespace
}  // namespace tf

namespace tf {
namespace {

// `zip`: passwords come from a file whose line break is not part of them; refusals are
// one line with exit 2, a failed archive exit 1 naming what failed.
TEST(ZipCli, PasswordFileUsageAndFailures) {
    const test::TempDir dir;
    const auto item = dir.write("in/a.txt", "a");
    const auto pw = dir.write("pw", "secret\n");
    const auto out = dir.path() / "a.zip";
    const auto zip = [](const std::vector<std::string>& args) {
        std::vector<std::string> all = {"zip"};
        all.insert(all.end(), args.begin(), args.end());
        return test::runCli(&runSyncCommand, all);
    };

    CliResult result = zip({"--password-file", pw.string(), "-o", out.string(), item.string()});
    ASSERT_EQ(result.status, 0) << result.err;
    archive* a = archive_read_new();
    archive_read_support_format_zip(a);
    archive_read_add_passphrase(a, "secret");
    ASSERT_EQ(archive_read_open_filename(a, out.c_str(), 16384), ARCHIVE_OK);
    archive_entry* entry = nullptr;
    ASSERT_EQ(archive_read_next_header(a, &entry), ARCHIVE_OK);
    EXPECT_TRUE(archive_entry_is_data_encrypted(entry));
    char byte = 0;
    EXPECT_EQ(archive_read_data(a, &byte, 1), 1);
    EXPECT_EQ(byte, 'a');
    archive_read_free(a);

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {item.string()},
             {"-o", out.string()},
             {"-o", out.string(), (dir.path() / "nope").string()},
             {"--password-file", (dir.path() / "nope").string(), "-o", out.string(), item.string()},
             {"--bogus", "-o", out.string(), item.string()}}) {
        result = zip(bad);
        EXPECT_EQ(result.status, 2) << bad.back();
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }

    result = zip({"-o", (dir.path() / "missing/a.zip").string(), item.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("a.zip"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace tf
