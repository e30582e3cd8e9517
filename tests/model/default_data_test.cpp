#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>

#include "model/default_data.h"
#include "model/menu_manager.h"
#include "support/sandbox.h"
#include "util/strings.h"

namespace tf {
namespace {

class DefaultDataTest : public test::SandboxTest {
  protected:
    SettingsStore& settings() { return RCMenuManager::sharedInstance().sharedDefaults(); }
    Array list(std::string_view key) { return settings().readArray(key); }

    std::vector<std::string> keys(std::string_view key) {
        std::vector<std::string> out;
        for (const Value& v : list(key)) {
            out.push_back(dictString(*v.dict(), "key"));
        }
        return out;
    }

    const Dict* entry(const Array& entries, std::string_view key) {
        for (const Value& v : entries) {
            if (dictString(*v.dict(), "key") == key) {
                return v.dict();
            }
        }
        return nullptr;
    }

    // A stored main list as an older version left it: the default table without the
    // entries added after `version`.
    void storeOlderInstall(const std::string& version, std::vector<std::string> withoutKeys) {
        Dict d;
        RCDefaultData::recoverAll(d);
        Array& main = *d[std::string(kMainListKey)].array();
        std::erase_if(main, [&](const Value& v) {
            const std::string k = dictString(*v.dict(), "key");
            return std::find(withoutKeys.begin(), withoutKeys.end(), k) != withoutKeys.end();
        });
        Array& apps = *d[std::string(kAppListKey)].array();
        std::erase_if(apps, [](const Value& v) { return dictString(*v.dict(), "key") == "Warp"; });
        d["update version"] = version;
        d["common path next menu"] = 3;
        ASSERT_TRUE(settings().update([&](Dict& s) { s = d; }));
    }
};

TEST_F(DefaultDataTest, FirstStartWritesTheDefaultTablesWithoutVersionMarks) {
    ASSERT_TRUE(RCDefaultData::setup());
    const Array main = list(kMainListKey);
    ASSERT_EQ(main.size(), 31u);
    const Array table = RCDefaultData::defaultMainMenu();
    for (std::size_t i = 0; i < main.size(); ++i) {
        Dict expected = *table[i].dict();
        expected.erase("is changed version");
        EXPECT_EQ(*main[i].dict(), expected) << i;
    }
    EXPECT_EQ(dictString(*main[0].dict(), "key"), "New File");
    EXPECT_EQ(dictString(*main[30].dict(), "key"), "System Hide Files");
    EXPECT_EQ(*find(*main[5].dict(), "disabled"), Value(true));
    EXPECT_EQ(find(*main[0].dict(), "disabled"), nullptr);

    const Array templates = list(kTemplateListKey);
    ASSERT_EQ(templates.size(), 20u);
    EXPECT_EQ(dictString(*templates[0].dict(), "key"), "New File From Window");
    EXPECT_EQ(find(*templates[0].dict(), "is changed version"), nullptr);
    EXPECT_EQ(*find(*entry(templates, "wps"), "disabled"), Value(0));
    EXPECT_EQ(*find(*entry(templates, "et"), "disabled"), Value(1));
    EXPECT_EQ(*find(*entry(templates, "sh"), "disabled"), Value(1));
    EXPECT_EQ(dictString(*entry(templates, "odp"), "ext"), "odp");

    EXPECT_TRUE(settings().contains(kPathListKey));
    EXPECT_TRUE(list(kPathListKey).empty());
    EXPECT_EQ(list(kAppListKey).size(), 11u);
    EXPECT_EQ(list(kScriptListKey).size(), 3u);
    const Array icons = list(kFolderIconListKey);
    ASSERT_EQ(icons.size(), 20u);
    EXPECT_EQ(dictString(*icons[0].dict(), "icon"), "foldericon");
    EXPECT_EQ(dictString(*icons[1].dict(), "icon"), "google");
    EXPECT_EQ(*find(*entry(icons, "apple"), "disabled"), Value(0));
    EXPECT_EQ(*find(*entry(icons, "share"), "disabled"), Value(1));

    EXPECT_EQ(settings().value("common path next menu"), Value(3));
    EXPECT_EQ(settings().readString("update version"), "3.0.0");
}

TEST_F(DefaultDataTest, UpgradeFrom250AddsTheNewerEntriesAndLeavesOlderOnesAlone) {
    storeOlderInstall("2.5.0", {"AirDrop", "Execute Script", "Common Script"});
    // The user's own edits of an older entry must survive.
    ASSERT_TRUE(RCMenuManager::sharedInstance().updateMenuKey(kMainListKey, "Lock and Unlock",
                                                              "displayName", Value("Mine")));
    ASSERT_TRUE(RCDefaultData::setup());
    const auto k = keys(kMainListKey);
    ASSERT_EQ(k.size(), 31u);
    EXPECT_EQ(k[3], "Common Script");
    EXPECT_EQ(k[5], "Execute Script");
    EXPECT_EQ(k[6], "AirDrop");
    const Array main = list(kMainListKey);
    // Inserted entries keep their version mark, as the table gives it.
    EXPECT_EQ(dictString(*entry(main, "AirDrop"), "is changed version"), "2.5.6");
    EXPECT_EQ(dictString(*entry(main, "Lock and Unlock"), "displayName"), "Mine");
    const Array apps = list(kAppListKey);
    EXPECT_NE(entry(apps, "Warp"), nullptr);
    EXPECT_EQ(settings().readString("update version"), "3.0.0");
}

TEST_F(DefaultDataTest, UpgradeFrom229ReplacesAnExistingNewerEntryWithTheDefault) {
    storeOlderInstall("2.2.9", {});
    ASSERT_TRUE(RCMenuManager::sharedInstance().updateMenuKey(
        kMainListKey, "Lock and Unlock", Dict{{"displayName", "Mine"}, {"disabled", false}}));
    ASSERT_TRUE(RCDefaultData::setup());
    const Array main = list(kMainListKey);
    const Dict* lock = entry(main, "Lock and Unlock");
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(*lock, (Dict{{"key", "Lock and Unlock"}, {"icon", "lock"}, {"disabled", true}}));
    // Entries of 2.2.0 and older stay as the user left them.
    EXPECT_EQ(dictString(*entry(main, "Encrypted Compression"), "icon"), "compress");
}

TEST_F(DefaultDataTest, AnUpgradeKeepsStoredIWorkTemplatesAndAResetGivesOpenDocument) {
    storeOlderInstall("2.5.0", {});
    // The template list as earlier versions wrote it, with one of the user's switches.
    Array older = list(kTemplateListKey);
    const std::map<std::string, std::string> iWork = {
        {"odt", "pages"}, {"ods", "numbers"}, {"odp", "key"}};
    for (Value& v : older) {
        Dict& d = *v.dict();
        if (const auto found = iWork.find(dictString(d, "key")); found != iWork.end()) {
            d = Dict{{"key", found->second},
                     {"ext", found->second},
                     {"icon", found->second},
                     {"disabled", found->second == "numbers" ? 1 : 0}};
        }
    }
    ASSERT_TRUE(settings().set(kTemplateListKey, Value(older)));

    ASSERT_TRUE(RCDefaultData::setup());
    EXPECT_EQ(list(kTemplateListKey), older);

    ASSERT_TRUE(RCDefaultData::recoverNewFile());
    const Array templates = list(kTemplateListKey);
    const auto k = keys(kTemplateListKey);
    EXPECT_EQ(std::vector<std::string>(k.begin() + 7, k.begin() + 10),
              (std::vector<std::string>{"odt", "ods", "odp"}));
    EXPECT_EQ(*templates[8].dict(),
              (Dict{{"key", "ods"}, {"ext", "ods"}, {"icon", "ods"}, {"disabled", 0}}));
    for (const char* gone : {"pages", "numbers", "key"}) {
        EXPECT_EQ(entry(templates, gone), nullptr) << gone;
    }
}

TEST_F(DefaultDataTest, AnEntryBeyondTheEndOfAShortListLandsAtTheTop) {
    ASSERT_TRUE(settings().update([](Dict& s) {
        s[std::string(kMainListKey)] = Array{Value(Dict{{"key", "New File"}})};
        s["update version"] = "2.5.5";
    }));
    ASSERT_TRUE(RCDefaultData::setup());
    // Common Script (table position 3), Execute Script (5) and AirDrop (6) all lie beyond
    // the end of the list when their turn comes, so each goes to the top in turn.
    EXPECT_EQ(keys(kMainListKey),
              (std::vector<std::string>{"AirDrop", "Execute Script", "Common Script", "New File"}));
}

TEST_F(DefaultDataTest, AddingFolderIconDuringAnUpgradeResetsTheFolderIconList) {
    storeOlderInstall("2.0.9", {"Folder Icon"});
    ASSERT_TRUE(settings().set(kFolderIconListKey, Value(Array{Value(Dict{{"key", "mine"}})})));
    ASSERT_TRUE(RCDefaultData::setup());
    const Array main = list(kMainListKey);
    EXPECT_NE(entry(main, "Folder Icon"), nullptr);
    EXPECT_EQ(list(kFolderIconListKey).size(), 20u);
}

TEST_F(DefaultDataTest, UnknownPreviousVersionOnlyRemovesWithdrawnEntries) {
    Dict d;
    Array defaults = RCDefaultData::defaultMainMenu();
    defaults.push_back(Value(Dict{{"key", "Old Thing"}, {"is changed version", "delete"}}));
    d[std::string(kMainListKey)] =
        Array{Value(Dict{{"key", "Old Thing"}}), Value(Dict{{"key", "New File"}})};
    RCDefaultData::updateMenuKey(d, kMainListKey, defaults);
    const Array& main = *d[std::string(kMainListKey)].array();
    ASSERT_EQ(main.size(), 1u);
    EXPECT_EQ(dictString(*main[0].dict(), "key"), "New File");
}

TEST_F(DefaultDataTest, ResetDropsWithdrawnEntriesAndVersionMarks) {
    Dict d;
    const Array table{Value(Dict{{"key", "A"}, {"is changed version", "2.0.0"}}),
                      Value(Dict{{"key", "B"}, {"is changed version", "delete"}}),
                      Value(Dict{{"key", "C"}, {"is changed version", "delete"}}),
                      Value(Dict{{"key", "D"}, {"is changed version", " "}})};
    RCDefaultData::addMenuKey(d, "list", table);
    const Array& result = *d["list"].array();
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(*result[0].dict(), (Dict{{"key", "A"}}));
    EXPECT_EQ(*result[1].dict(), (Dict{{"key", "D"}, {"is changed version", " "}}));
}

TEST_F(DefaultDataTest, ResettingScriptsGivesTheShellScriptsNewKeysEachTime) {
    ASSERT_TRUE(RCDefaultData::recoverCommonScript());
    const auto first = keys(kScriptListKey);
    ASSERT_TRUE(RCDefaultData::recoverCommonScript());
    const auto second = keys(kScriptListKey);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0], "HelloWelcome");
    EXPECT_EQ(second[0], "HelloWelcome");
    EXPECT_NE(first[1], second[1]);
    EXPECT_NE(first[2], second[2]);
    ASSERT_EQ(second[1].size(), 36u);
    EXPECT_EQ(second[1][14], '4') << second[1];
    EXPECT_EQ(second[1].find_first_not_of("0123456789ABCDEF-"), std::string::npos);
    const Array scripts = list(kScriptListKey);
    const Dict* folder = entry(scripts, second[1]);
    EXPECT_EQ(dictString(*folder, "script"), "mkdir @rpos/@rname");
    EXPECT_EQ(dictString(*folder, "displayName"), localized("New folder based on file"));
    EXPECT_EQ(*find(*folder, "needFile"), Value(true));
    EXPECT_EQ(*find(*folder, "needFolder"), Value(false));
}

TEST_F(DefaultDataTest, SameVersionWritesNothingButTheSubmenuMode) {
    ASSERT_TRUE(RCDefaultData::setup());
    ASSERT_TRUE(settings().remove("common path next menu"));
    ASSERT_TRUE(RCMenuManager::sharedInstance().removeMenuKey(kMainListKey, "Delete"));
    const Dict before = *settings().snapshot();
    ASSERT_TRUE(RCDefaultData::setup());
    Dict after = *settings().snapshot();
    EXPECT_EQ(after["common path next menu"], Value(3));
    after.erase("common path next menu");
    EXPECT_EQ(after, before);

    struct stat first {};
    ASSERT_EQ(::stat(settings().file().c_str(), &first), 0);
    ASSERT_TRUE(RCDefaultData::setup());
    struct stat second {};
    ASSERT_EQ(::stat(settings().file().c_str(), &second), 0);
    EXPECT_EQ(first.st_ino, second.st_ino);
}

TEST_F(DefaultDataTest, ASubmenuModeTheUserChoseIsKept) {
    ASSERT_TRUE(settings().set("common path next menu", 4));
    ASSERT_TRUE(RCDefaultData::setup());
    EXPECT_EQ(settings().readInteger("common path next menu"), 4);
}

TEST_F(DefaultDataTest, WelcomeScriptIsPythonThatAsksThroughTheAlertCommand) {
    const Array scripts = RCDefaultData::defaultCommonScriptMenu();
    const Dict& hello = *scripts[0].dict();
    EXPECT_EQ(dictString(hello, "ext"), "py");
    EXPECT_EQ(dictString(hello, "icon"), "python");
    EXPECT_EQ(dictString(hello, "displayName"), localized("Hello"));
    const std::string script = dictString(hello, "script");
    EXPECT_NE(script.find("\"alert\""), std::string::npos);
    EXPECT_NE(script.find(localized("Go Review")), std::string::npos);

    // It must at least compile: write it out and let python3 check it.
    const auto file = files().write("welcome.py", script);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const std::string code = "import ast,sys; ast.parse(open(sys.argv[1]).read())";
        ::execlp("python3", "python3", "-c", code.c_str(), file.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 127) {
        GTEST_SKIP() << "python3 is not installed";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace tf
