// The compression run: which entries an archive gets, the progress pairs it reports, and
// what is left on disk after success, failure and cancel. Archives are read back with
// libarchive directly.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

#include "support/sandbox.h"
#include "zip/ss_zip_archive.h"

namespace tf {
namespace {

namespace fs = std::filesystem;
using Pairs = std::vector<std::pair<std::int64_t, std::int64_t>>;

struct Entry {
    std::string data;
    std::string link;
    mode_t type = 0;
    bool encrypted = false;
};

// Reads every entry of an archive; an entry whose data cannot be read records "<error>".
std::map<std::string, Entry> readArchive(const fs::path& path, const char* password = nullptr) {
    // libarchive gives no UTF-8 names back in the C locale.
    ::setlocale(LC_CTYPE, "C.UTF-8");
    std::map<std::string, Entry> entries;
    archive* a = archive_read_new();
    archive_read_support_format_zip(a);
    if (password != nullptr) {
        archive_read_add_passphrase(a, password);
    }
    EXPECT_EQ(archive_read_open_filename(a, path.c_str(), 16384), ARCHIVE_OK) << path;
    archive_entry* e = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(a, &e)) == ARCHIVE_OK || status == ARCHIVE_WARN) {
        Entry entry;
        entry.type = archive_entry_filetype(e);
        entry.encrypted = archive_entry_is_data_encrypted(e) != 0;
        if (const char* link = archive_entry_symlink_utf8(e)) {
            entry.link = link;
        }
        char buffer[4096];
        la_ssize_t n = 0;
        while ((n = archive_read_data(a, buffer, sizeof buffer)) > 0) {
            entry.data.append(buffer, static_cast<std::size_t>(n));
        }
        if (n < 0) {
            entry.data = "<error>";
        }
        entries[archive_entry_pathname_utf8(e)] = entry;
    }
    archive_read_free(a);
    return entries;
}

std::vector<std::string> names(const std::map<std::string, Entry>& entries) {
    std::vector<std::string> out;
    for (const auto& [name, entry] : entries) {
        out.push_back(name);
    }
    return out;
}

class ZipRunTest : public ::testing::Test {
  protected:
    Pairs run(const std::vector<std::string>& paths, const std::vector<std::string>& exclude = {},
              const std::optional<std::string>& password = std::nullopt) {
        Pairs pairs;
        compressor.startCompressWithPaths(
            paths, exclude, password,
            [&](std::int64_t done, std::int64_t total) { pairs.emplace_back(done, total); });
        return pairs;
    }

    // No temporary archive is left beside the output.
    void expectNoLeftovers(const fs::path& folder) {
        for (const auto& e : fs::directory_iterator(folder)) {
            EXPECT_NE(e.path().filename().string().rfind(".out.zip.", 0), 0u) << e.path();
        }
    }

    test::TempDir src;
    test::TempDir dst;
    ZipCompressor compressor;
    fs::path out = dst.path() / "out.zip";

    void SetUp() override { compressor.savePath = out; }
};

TEST_F(ZipRunTest, OneFileAndFolderWithEmptySubfolder) {
    const auto report = src.write("report.txt", "quarterly");
    src.write("A/x.txt", "x");
    src.mkdir("A/e");
    EXPECT_EQ(run({report}), (Pairs{{0, 0}, {1, 1}}));
    EXPECT_EQ(names(readArchive(out)), (std::vector<std::string>{"report.txt"}));
    EXPECT_EQ(readArchive(out)["report.txt"].data, "quarterly");

    EXPECT_EQ(run({src.path() / "A"}), (Pairs{{0, 0}, {1, 2}, {2, 2}}));
    const auto entries = readArchive(out);
    EXPECT_EQ(names(entries), (std::vector<std::string>{"A/e/", "A/x.txt"}));
    EXPECT_EQ(entries.at("A/e/").type, AE_IFDIR);
    expectNoLeftovers(dst.path());
}

TEST_F(ZipRunTest, EmptyFolderAloneLeavesAnEmptyArchive) {
    EXPECT_EQ(run({src.mkdir("E")}), (Pairs{{0, 0}, {0, kZipNothingCounted}}));
    ASSERT_TRUE(fs::exists(out));
    EXPECT_TRUE(readArchive(out).empty());
}

TEST_F(ZipRunTest, JunkIsLeftOutButCountedAndOnlyInsideFolders) {
    src.write("A/.DS_Store", "j");
    src.write("A/_MACOSX/y", "j");
    src.write("A/__MACOSX/._z", "j");
    src.write("A/only-junk/.DS_Store", "j");
    src.write("A/keep", "k");
    const auto topJunk = src.write(".DS_Store", "top");
    const auto pairs = run({src.path() / "A", topJunk}, junkFileNames());
    ASSERT_FALSE(pairs.empty());
    // Eight items below A plus the selected file, every one reported.
    EXPECT_EQ(pairs.back(), (std::pair<std::int64_t, std::int64_t>{9, 9}));
    EXPECT_EQ(pairs.size(), 10u);
    // A folder whose contents were all left out keeps its own entry rather than vanish.
    EXPECT_EQ(names(readArchive(out)),
              (std::vector<std::string>{".DS_Store", "A/keep", "A/only-junk/"}));

    run({src.path() / "A"});
    EXPECT_EQ(readArchive(out).size(), 5u);  // nothing excluded without the list
}

TEST_F(ZipRunTest, PasswordRule) {
    for (const char* bad : {"", " ", "   ", "\t\n", "(null)"}) {
        EXPECT_FALSE(isUsableZipPassword(bad)) << '"' << bad << '"';
    }
    for (const char* good : {" a ", "(null) ", "null", "pässword"}) {
        EXPECT_TRUE(isUsableZipPassword(good)) << '"' << good << '"';
    }
}

TEST_F(ZipRunTest, PasswordEncryptsFilesWithAes) {
    src.write("A/secret.txt", std::string(100000, 's'));
    src.write("A/empty.txt", "");
    src.mkdir("A/sub");
    run({src.path() / "A"}, {}, std::string(" pw "));
    auto entries = readArchive(out, " pw ");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_TRUE(entries["A/secret.txt"].encrypted);
    EXPECT_EQ(entries["A/secret.txt"].data, std::string(100000, 's'));
    EXPECT_EQ(readArchive(out, "wrong")["A/secret.txt"].data, "<error>");
    EXPECT_EQ(readArchive(out)["A/secret.txt"].data, "<error>");

    // Blank passwords never reach the facade as encryption.
    run({src.path() / "A"}, {}, std::nullopt);
    EXPECT_FALSE(readArchive(out)["A/secret.txt"].encrypted);
}

TEST_F(ZipRunTest, ArchiveInsideSelectedFolderDoesNotAddItself) {
    src.write("A/x", "x");
    compressor.savePath = src.path() / "A" / "out.zip";
    fs::copy_file(src.path() / "A/x", compressor.savePath);  // an older archive being replaced
    const auto pairs = run({src.path() / "A"});
    EXPECT_GT(pairs.back().second, 0);
    EXPECT_EQ(names(readArchive(compressor.savePath)), (std::vector<std::string>{"A/x"}));
    expectNoLeftovers(src.path() / "A");
}

TEST_F(ZipRunTest, CancelStopsBeforeNextItemAndKeepsWhatWasThere) {
    for (const char* name : {"A/1", "A/2", "A/3"}) {
        src.write(name, name);
    }
    std::ofstream(out) << "older file";
    Pairs pairs;
    compressor.startCompressWithPaths({src.path() / "A"}, {}, std::nullopt,
                                      [&](std::int64_t done, std::int64_t total) {
                                          pairs.emplace_back(done, total);
                                          if (done == 1) {
                                              compressor.stopCompress();
                                          }
                                      });
    EXPECT_EQ(pairs, (Pairs{{0, 0}, {1, 3}, {1, kZipCancelled}}));
    EXPECT_EQ(test::readFile(out), "older file");
    expectNoLeftovers(dst.path());
}

TEST_F(ZipRunTest, FailuresRemoveTheArchiveAndNameTheItem) {
    // The archive cannot be created at all.
    compressor.savePath = dst.path() / "missing" / "out.zip";
    EXPECT_EQ(run({src.write("f", "f")}), (Pairs{{0, 0}, {0, kZipFailed}}));
    EXPECT_EQ(compressor.failedItem(), "");

    // A file whose size changes while it is read must not go in truncated.
    compressor.savePath = out;
    const std::string moving = "/proc/self/status";
    const auto pairs = run({src.path() / "f", moving, src.path() / "f"});
    EXPECT_EQ(pairs.back(), (std::pair<std::int64_t, std::int64_t>{3, kZipFailed}));
    EXPECT_EQ(compressor.failedItem(), moving);
    EXPECT_FALSE(fs::exists(out));
    expectNoLeftovers(dst.path());
}

TEST_F(ZipRunTest, SpecialFilesSkippedAndLinksStoredAsLinks) {
    src.write("A/f", "data");
    ASSERT_EQ(::mkfifo((src.path() / "A/pipe").c_str(), 0600), 0);
    fs::create_directory_symlink("..", src.path() / "A/up");  // a loop if followed
    fs::create_symlink("f", src.path() / "A/to-file");
    ASSERT_EQ(::mkfifo((src.path() / "top-pipe").c_str(), 0600), 0);
    const auto pairs = run({src.path() / "A", src.path() / "top-pipe"}, {}, std::string("pw"));
    EXPECT_EQ(pairs.back(), (std::pair<std::int64_t, std::int64_t>{5, 5}));
    const auto entries = readArchive(out, "pw");
    EXPECT_EQ(names(entries), (std::vector<std::string>{"A/f", "A/to-file", "A/up"}));
    EXPECT_EQ(entries.at("A/up").type, AE_IFLNK);
    EXPECT_EQ(entries.at("A/up").link, "..");
    EXPECT_EQ(entries.at("A/to-file").link, "f");
    EXPECT_EQ(entries.at("A/f").data, "data");
}

TEST_F(ZipRunTest, NamesKeepUtf8AndSpacesAndFacadeRefusesMixedPasswords) {
    src.write("Ä b/ünï côde.txt", "u");
    run({src.path() / "Ä b"});
    EXPECT_EQ(names(readArchive(out)), (std::vector<std::string>{"Ä b/ünï côde.txt"}));

    // Same names from different folders (a search result) each keep an entry of their own.
    src.write("one/a.txt", "1");
    src.write("two/a.txt", "2");
    src.write("one/d/x", "1");
    src.write("two/d/x", "2");
    run({src.path() / "one/a.txt", src.path() / "two/a.txt", src.path() / "one/d",
         src.path() / "two/d"});
    EXPECT_EQ(names(readArchive(out)),
              (std::vector<std::string>{"a-1.txt", "a.txt", "d-1/x", "d/x"}));

    SSZipArchive archive((dst.path() / "mixed.zip").string());
    ASSERT_TRUE(archive.open());
    EXPECT_TRUE(archive.writeFileAtPath(src.path() / "Ä b/ünï côde.txt", "", std::string("a")));
    EXPECT_FALSE(archive.writeFileAtPath(src.path() / "Ä b/ünï côde.txt", "2", std::nullopt));
    EXPECT_TRUE(archive.close());
    EXPECT_EQ(names(readArchive(dst.path() / "mixed.zip", "a")),
              (std::vector<std::string>{"ünï côde.txt"}));
}

}  // namespace
}  // namespace tf
