#include "model/file_record.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "fs/file_access.h"
#include "support/sandbox.h"

namespace tf {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::MatchesRegex;

class FileRecordTest : public test::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        // The desktop is looked up through the sandbox's own user-dirs file.
        ::unsetenv("XDG_DESKTOP_DIR");
    }

    std::string file(const std::string& relative, std::string_view content = {}) {
        return files().write(relative, content).string();
    }
};

TEST(FileRecord, SplitsNamesAndLowerCasesTheExtension) {
    const RCFile archive("/x/Archive.tar.gz");
    EXPECT_EQ(archive.name(), "Archive.tar");
    EXPECT_EQ(archive.simpleName(), "Archive");
    EXPECT_EQ(archive.ext(), "gz");
    EXPECT_EQ(archive.filename(), "Archive.tar.gz");
    EXPECT_EQ(archive.folder(), "/x");

    const RCFile photo("/x/Photo.JPG");
    EXPECT_EQ(photo.ext(), "jpg");
    EXPECT_TRUE(photo.isImage());
    EXPECT_FALSE(RCFile("/x/notes.txt").isImage());
    EXPECT_EQ(RCFile("/x/README").ext(), "");
}

TEST(FileRecord, HiddenMeansALeadingDot) {
    EXPECT_TRUE(RCFile("/x/.env").isHideFile());
    EXPECT_FALSE(RCFile("/x/a.env").isHideFile());
    EXPECT_FALSE(RCFile("").isHideFile());
}

TEST(FileRecord, TypeTestsFollowTheExtensionInAnyCase) {
    for (const char* ext : {"mobi", "azw3", "prc", "tpz", "azw", "azw4", "azs", "azl"}) {
        EXPECT_TRUE(RCFile(std::string("/x/Book.") + ext).isKindle()) << ext;
    }
    EXPECT_TRUE(RCFile("/x/BOOK.MOBI").isKindle());
    EXPECT_FALSE(RCFile("/x/book.pdf").isKindle());
    EXPECT_TRUE(RCFile("/x/winmail.dat").isTnef());
    EXPECT_TRUE(RCFile("/x/mail.TNEF").isTnef());
    EXPECT_FALSE(RCFile("/x/data.data").isTnef());
    EXPECT_TRUE(RCFile("/x/Help.CHM").isCHM());
    EXPECT_FALSE(RCFile("/x/chm").isCHM());
}

TEST(FileRecord, UrlPercentEncodesUnsafeBytes) {
    EXPECT_EQ(RCFile("/x/a b#c%d/\xC3\xA9.txt").url(), "file:///x/a%20b%23c%25d/%C3%A9.txt");
    EXPECT_EQ(RCFile("/x/plain-name_1.~x").url(), "file:///x/plain-name_1.~x");
}

TEST_F(FileRecordTest, SizeIsTheDisplayText) {
    EXPECT_EQ(RCFile(file("big.bin", std::string(1500000, 'x'))).size(), "1.50 MB");
    EXPECT_EQ(RCFile((files().path() / "missing").string()).size(), "0.00 B");
}

TEST_F(FileRecordTest, IsFolderDoesNotFollowSymbolicLinks) {
    const fs::path folder = files().mkdir("real");
    const fs::path link = files().path() / "link";
    fs::create_directory_symlink(folder, link);
    EXPECT_TRUE(RCFile(folder.string()).isFolder());
    EXPECT_FALSE(RCFile(link.string()).isFolder());
    EXPECT_FALSE(RCFile(file("plain.txt")).isFolder());
    EXPECT_FALSE(RCFile((files().path() / "missing").string()).isFolder());
}

TEST_F(FileRecordTest, ChildrenSkipHiddenItemsAndAreListedOnce) {
    const fs::path folder = files().mkdir("list");
    files().write("list/a");
    files().write("list/.b");
    files().mkdir("list/c");
    const auto record = RCFile::fileWithPath(folder.string());
    const auto& children = record->children();
    std::vector<std::string> names;
    for (const auto& child : children) {
        names.push_back(child->path());
        EXPECT_EQ(child->parent(), record);
    }
    std::sort(names.begin(), names.end());
    EXPECT_THAT(names, ElementsAre((folder / "a").string(), (folder / "c").string()));

    files().write("list/d");
    const auto& again = record->children();
    EXPECT_EQ(&again, &children);
    EXPECT_EQ(again.size(), 2U) << "the first listing is kept";
}

TEST_F(FileRecordTest, ParentLinkIsWeak) {
    const fs::path folder = files().mkdir("weak");
    files().write("weak/a");
    auto record = RCFile::fileWithPath(folder.string());
    const auto child = record->children().at(0);
    record.reset();
    EXPECT_EQ(child->parent(), nullptr);
}

TEST_F(FileRecordTest, UnlistableFoldersHaveNoChildren) {
    const fs::path folder = files().mkdir("locked");
    files().write("locked/a");
    setFolderLister([](const std::string&) { return std::nullopt; });
    EXPECT_TRUE(RCFile::fileWithPath(folder.string())->children().empty());
    setFolderLister(nullptr);
    EXPECT_TRUE(RCFile::fileWithPath(file("not-a-folder"))->children().empty());
}

TEST_F(FileRecordTest, ChildrenOfTheRootGetSingleSlashPaths) {
    setFolderLister([](const std::string& path) {
        return path == "/" ? std::optional<std::vector<std::string>>({"etc"}) : std::nullopt;
    });
    const auto root = RCFile::fileWithPath("/");
    const auto& children = root->children();
    ASSERT_EQ(children.size(), 1U);
    EXPECT_EQ(children[0]->path(), "/etc");
}

TEST_F(FileRecordTest, DatesAreEmptyUnlessThePathIsWritable) {
    const std::string path = file("dated.txt", "x");
    std::tm local{};
    local.tm_year = 2021 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 4;
    local.tm_hour = 5;
    local.tm_min = 6;
    local.tm_sec = 7;
    local.tm_isdst = -1;
    const timespec times[2] = {{std::mktime(&local), 0}, {std::mktime(&local), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

    const RCFile record(path);
    EXPECT_EQ(record.modifyDate(), "2021-03-04 05:06:07");
    EXPECT_THAT(record.createDate(), MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2} "
                                                  "[0-9]{2}:[0-9]{2}:[0-9]{2}"));

    std::vector<std::string> asked;
    setWritableCheck([&](const std::string& p) {
        asked.push_back(p);
        return false;
    });
    EXPECT_EQ(record.createDate(), "");
    EXPECT_EQ(record.modifyDate(), "");
    EXPECT_THAT(asked, ElementsAre(path, path));

    // Writable but missing: still no date.
    setWritableCheck([](const std::string&) { return true; });
    EXPECT_EQ(RCFile((files().path() / "missing").string()).modifyDate(), "");
}

TEST_F(FileRecordTest, DesktopIsTheUsersDesktopFolder) {
    EXPECT_TRUE(RCFile((home() / "Desktop").string()).isDesktop());
    EXPECT_FALSE(RCFile((home() / "Desktop/inner").string()).isDesktop());
    EXPECT_FALSE(RCFile(home().string()).isDesktop());

    fs::create_directories(home() / ".config");
    std::ofstream(home() / ".config/user-dirs.dirs")
        << "# written by the desktop\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
    EXPECT_TRUE(RCFile((home() / "Schreibtisch").string()).isDesktop());
    EXPECT_FALSE(RCFile((home() / "Desktop").string()).isDesktop());
}

TEST_F(FileRecordTest, DesktopIgnoresATrailingSlashOnHome) {
    ::setenv("HOME", (home().string() + "/").c_str(), 1);
    EXPECT_TRUE(RCFile((home() / "Desktop").string()).isDesktop());
}

TEST_F(FileRecordTest, TempPathIsAFreshFolderNamedAfterTheContents) {
    RCFile empty(file("empty.txt"));
    const std::string temp = empty.tempPath();
    EXPECT_EQ(fs::path(temp).filename(), ".d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(temp.rfind(home().string() + "/", 0), 0U) << "stays inside the sandbox: " << temp;
    ASSERT_TRUE(fs::is_directory(temp));
    EXPECT_TRUE(fs::is_empty(temp));
    EXPECT_EQ(&empty.tempPath(), &empty.tempPath());

    // Same contents, same folder; whatever an earlier record left there is cleared.
    std::ofstream(fs::path(temp) / "left-over") << "old";
    RCFile twin(file("twin.txt"));
    EXPECT_EQ(twin.tempPath(), temp);
    EXPECT_TRUE(fs::is_empty(temp));

    EXPECT_EQ(fs::path(RCFile(file("abc.txt", "abc")).tempPath()).filename(),
              ".900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(fs::path(RCFile("/nowhere/Report.final.pdf").tempPath()).filename(), ".Report.final");

    empty.removeTempPath();
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_EQ(empty.tempPath(), temp) << "asked again, made again";
    EXPECT_TRUE(fs::is_directory(temp));
}

}  // namespace
}  // namespace tf
