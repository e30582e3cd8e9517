// "Encrypted Compression" through the menu: the save panel it shows, the setting it keeps,
// the alert on failure and one compression at a time.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "commands/zip/zip_commands.h"
#include "support/engine_fixture.h"
#include "util/strings.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr std::int64_t kCompress = 1;

// Entry name -> encrypted, read with libarchive.
std::map<std::string, bool> entriesOf(const fs::path& archivePath) {
    std::map<std::string, bool> entries;
    archive* a = archive_read_new();
    archive_read_support_format_zip(a);
    EXPECT_EQ(archive_read_open_filename(a, archivePath.c_str(), 16384), ARCHIVE_OK);
    archive_entry* e = nullptr;
    while (archive_read_next_header(a, &e) == ARCHIVE_OK) {
        entries[archive_entry_pathname(e)] = archive_entry_is_data_encrypted(e) != 0;
    }
    archive_read_free(a);
    return entries;
}

class ZipCommands : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        setMainList({{{"key", "Encrypted Compression"}}});
    }
    void click(const std::vector<fs::path>& items) {
        std::vector<std::string> selection;
        for (const fs::path& item : items) {
            selection.push_back(item.string());
        }
        menuFor(MenuKind::Items, selection, items.front().parent_path().string());
        ASSERT_TRUE(sync().activate(sync().menuId(), kCompress));
    }
    void wait() {
        ASSERT_TRUE(session_->waitUntilIdle(std::chrono::seconds(30)));
        EXPECT_EQ(sync().loadingCount(), 0);
        EXPECT_FALSE(isCompressing(sync()));
    }
};

TEST_F(ZipCommands, SavePanelPasswordAndSkipJunkSetting) {
    const fs::path report = files().write("in/report.txt", "r");
    files().write("in/A/.DS_Store", "junk");
    files().write("in/A/x", "x");
    const fs::path out = files().mkdir("out") / "report.zip";
    session({{{"save", out.string()}, {"password", "pw"}, {"check", true}}});
    click({report, report.parent_path() / "A"});
    wait();

    const auto panels = transcriptOf("save");
    ASSERT_EQ(panels.size(), 1u);
    EXPECT_EQ(panels[0]["name"], localized("Archiver"));
    EXPECT_EQ(panels[0]["folder"], report.parent_path().string());
    EXPECT_EQ(panels[0]["allowedTypes"], json::array({"zip"}));
    EXPECT_EQ(panels[0]["passwordPlaceholder"], localized("Enter Password Tip"));
    EXPECT_EQ(panels[0]["checkBox"], localized("Skip .DS_Store, _MACOSX"));
    EXPECT_TRUE(settings().readBool("compress skip junk"));
    EXPECT_EQ(entriesOf(out), (std::map<std::string, bool>{{"report.txt", true}, {"A/x", true}}));
    EXPECT_TRUE(transcriptOf("alert").empty());

    // The box starts as last left; a blank password writes a plain archive.
    session({{{"save", out.string()}, {"password", "   "}}});
    click({report});
    wait();
    EXPECT_EQ(transcriptOf("save").back()["name"], "report");
    EXPECT_EQ(transcriptOf("save").back()["answer"]["checked"], true);
    EXPECT_EQ(entriesOf(out), (std::map<std::string, bool>{{"report.txt", false}}));
}

TEST_F(ZipCommands, CancelledPanelWritesNothingAndFailureNamesTheArchive) {
    const fs::path item = files().write("in/a.txt", "a");
    session({{{"cancel", true}}});
    click({item});
    wait();
    EXPECT_EQ(std::distance(fs::directory_iterator(item.parent_path()), {}), 1);
    EXPECT_TRUE(transcriptOf("alert").empty());

    const fs::path missing = files().path() / "no-such-folder" / "a.zip";
    session({{{"save", missing.string()}}});
    click({item});
    wait();
    const auto alerts = transcriptOf("alert");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]["message"], localized("Compression Failed"));
    EXPECT_NE(alerts[0]["informative"].get<std::string>().find("a.zip"), std::string::npos);
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(ZipCommands, SecondCompressionWhileOneRunsIsIgnored) {
    const fs::path item = files().write("in/a.txt", "a");
    const fs::path out = files().mkdir("out") / "a.zip";
    session({{{"save", out.string()}}, {{"save", out.string()}}});
    click({item});
    // The first run's end is delivered on the main queue, which has not run yet.
    EXPECT_TRUE(isCompressing(sync()));
    click({item});
    wait();
    EXPECT_EQ(transcriptOf("save").size(), 1u);
    // Once it has ended, the next one runs.
    click({item});
    wait();
    EXPECT_EQ(transcriptOf("save").size(), 2u);
    EXPECT_TRUE(fs::exists(out));
}

}  // namespace
}  // namespace tf::test
