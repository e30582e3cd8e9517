#include "util/path_text.h"

#include <sys/stat.h>

#include <cstdlib>
#include <optional>

#include "support/sandbox.h"

namespace tf {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(PathComponents, ExtensionIgnoresHiddenNamesAndTrailingDots) {
    EXPECT_EQ(pathExtension("/a/report.docx"), "docx");
    EXPECT_EQ(pathExtension("/a/x.tar.gz"), "gz");
    EXPECT_EQ(pathExtension("Photo.JPG"), "JPG");
    EXPECT_EQ(pathExtension("/a/.env"), "");
    EXPECT_EQ(pathExtension("/a/.env.local"), "local");
    EXPECT_EQ(pathExtension("/a/x."), "");
    EXPECT_EQ(pathExtension("/a.b/file"), "");
    EXPECT_EQ(pathExtension("/a/folder.app/"), "app");
    EXPECT_EQ(pathExtension(""), "");
    EXPECT_EQ(pathExtension("/"), "");
}

TEST(PathComponents, DeletingExtensionKeepsEverythingElse) {
    EXPECT_EQ(deletingPathExtension("/a/report.docx"), "/a/report");
    EXPECT_EQ(deletingPathExtension("/a/x.tar.gz"), "/a/x.tar");
    EXPECT_EQ(deletingPathExtension("/a/.env"), "/a/.env");
    EXPECT_EQ(deletingPathExtension("/a/New/"), "/a/New");
    EXPECT_EQ(deletingPathExtension("/a.b/file"), "/a.b/file");
    EXPECT_EQ(deletingPathExtension("/"), "/");
}

TEST(PathComponents, LastComponentAndParent) {
    EXPECT_EQ(lastPathComponent("/a/b/report.docx"), "report.docx");
    EXPECT_EQ(lastPathComponent("/a/b/"), "b");
    EXPECT_EQ(lastPathComponent("name"), "name");
    EXPECT_EQ(lastPathComponent("/"), "/");
    EXPECT_EQ(deletingLastPathComponent("/a/b/report.docx"), "/a/b");
    EXPECT_EQ(deletingLastPathComponent("/a/b//"), "/a");
    EXPECT_EQ(deletingLastPathComponent("/a"), "/");
    EXPECT_EQ(deletingLastPathComponent("/"), "/");
    EXPECT_EQ(deletingLastPathComponent("name"), "");
    EXPECT_EQ(deletingLastPathComponent("a//b"), "a");
}

TEST(PathComponents, TrailingSlashesAndChildPaths) {
    EXPECT_EQ(withoutTrailingSlashes("/a/b//"), "/a/b");
    EXPECT_EQ(withoutTrailingSlashes("//"), "/");
    EXPECT_EQ(withoutTrailingSlashes("a//b"), "a//b");
    EXPECT_EQ(withoutTrailingSlashes(""), "");
    EXPECT_EQ(childPath("/a", "b"), "/a/b");
    EXPECT_EQ(childPath("/a/", "b"), "/a/b");
    EXPECT_EQ(childPath("/", "b"), "/b");
    EXPECT_EQ(childPath("", "b"), "/b");
    EXPECT_EQ(childPath("rel", ".hidden"), "rel/.hidden");
}

class HomeOverride {
  public:
    explicit HomeOverride(const char* home) {
        if (const char* old = std::getenv("HOME"))
            old_ = old;
        ::setenv("HOME", home, 1);
    }
    ~HomeOverride() {
        if (old_) {
            ::setenv("HOME", old_->c_str(), 1);
        } else {
            ::unsetenv("HOME");
        }
    }

  private:
    std::optional<std::string> old_;
};

TEST(StandardizePath, ExpandsHomeAndResolvesDotsTextually) {
    HomeOverride home("/home/tester");
    EXPECT_EQ(standardizePath("~"), "/home/tester");
    EXPECT_EQ(standardizePath("~/Documents/"), "/home/tester/Documents");
    EXPECT_EQ(standardizePath("~other/x"), "~other/x");
    EXPECT_EQ(standardizePath("/a/./b//c/"), "/a/b/c");
    EXPECT_EQ(standardizePath("/a/b/../c"), "/a/c");
    EXPECT_EQ(standardizePath("/../.."), "/");
    EXPECT_EQ(standardizePath("/a/.."), "/");
    EXPECT_EQ(standardizePath("//"), "/");
    EXPECT_EQ(standardizePath(""), "");
}

TEST(StandardizePath, RelativePathsStayRelative) {
    EXPECT_EQ(standardizePath("a/./b/"), "a/b");
    EXPECT_EQ(standardizePath("a/../../b"), "../b");
    EXPECT_EQ(standardizePath("../../a"), "../../a");
    EXPECT_EQ(standardizePath("./a"), "a");
    EXPECT_EQ(standardizePath("a/.."), ".");
}

TEST(HomeFolder, PrefersTheEnvironment) {
    HomeOverride home("/srv/someone");
    EXPECT_EQ(homeFolder(), "/srv/someone");
}

TEST(HomeFolder, FallsBackToThePasswordDatabase) {
    HomeOverride home("");
    ::unsetenv("HOME");
    std::string folder = homeFolder();
    EXPECT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
}

TEST(UniquePath, FreePathIsReturnedUnchanged) {
    TempDir dir;
    std::string path = (dir.path() / "report.docx").string();
    EXPECT_EQ(uniquePath(path), path);
}

TEST(UniquePath, NumbersBeforeTheExtension) {
    TempDir dir;
    dir.write("report.docx", "1");
    std::string base = dir.path().string();
    EXPECT_EQ(uniquePath(base + "/report.docx"), base + "/report-1.docx");
    dir.write("report-1.docx", "2");
    EXPECT_EQ(uniquePath(base + "/report.docx"), base + "/report-2.docx");
}

TEST(UniquePath, OnlyTheLastExtensionCounts) {
    TempDir dir;
    dir.write("x.tar.gz");
    EXPECT_EQ(uniquePath((dir.path() / "x.tar.gz").string()), (dir.path() / "x.tar-1.gz").string());
}

TEST(UniquePath, FoldersAndNamesWithoutExtension) {
    TempDir dir;
    dir.mkdir("New");
    dir.write(".env");
    EXPECT_EQ(uniquePath((dir.path() / "New").string()), (dir.path() / "New-1").string());
    EXPECT_EQ(uniquePath((dir.path() / ".env").string()), (dir.path() / ".env-1").string());
}

TEST(UniquePath, DanglingSymlinkIsTaken) {
    TempDir dir;
    fs::create_symlink(dir.path() / "nowhere", dir.path() / "link.txt");
    EXPECT_EQ(uniquePath((dir.path() / "link.txt").string()), (dir.path() / "link-1.txt").string());
}

TEST(UniquePath, KeepsNonUtf8BytesOfTheName) {
    TempDir dir;
    const std::string name = "caf\xE9 \xFF.txt";  // Latin-1, not valid UTF-8
    dir.write(name);
    std::string result = uniquePath((dir.path() / name).string());
    EXPECT_EQ(result, dir.path().string() + "/caf\xE9 \xFF-1.txt");
}

TEST(UniquePath, ANameAtTheLengthLimitGivesWayForTheNumber) {
    TempDir dir;
    const auto repeat = [](std::string_view piece, std::size_t times) {
        std::string text;
        for (std::size_t i = 0; i < times; ++i)
            text += piece;
        return text;
    };
    struct Case {
        std::string stem;
        std::string extension;
    };
    const Case cases[] = {
        {repeat("a", 251), ".txt"},
        {repeat("\xC3\xA9", 125) + "a", ".txt"},       // two-byte characters
        {"ab" + repeat("\xE2\x82\xAC", 83), ".md"},    // three-byte characters
        {"abc" + repeat("\xF0\x9F\x93\x84", 63), ""},  // four-byte characters, no extension
        {"x", "." + repeat("e", 253)},                 // an extension that leaves no room
    };
    for (const Case& c : cases) {
        const std::string name = c.stem + c.extension;
        ASSERT_LE(name.size(), 255u);
        dir.write(name);
        const std::string result = uniquePath((dir.path() / name).string());
        const std::string made = result.substr(dir.path().string().size() + 1);
        SCOPED_TRACE(name);
        EXPECT_LE(made.size(), 255u);
        EXPECT_EQ(result.substr(0, dir.path().string().size() + 1), dir.path().string() + "/");
        // The stem loses whole characters only; the extension stays.
        const bool wholeName = c.extension.size() > 200;
        const std::string suffix = "-1" + (wholeName ? std::string() : c.extension);
        ASSERT_GE(made.size(), suffix.size());
        EXPECT_EQ(made.substr(made.size() - suffix.size()), suffix);
        const std::string kept = made.substr(0, made.size() - suffix.size());
        const std::string whole = wholeName ? name : c.stem;
        EXPECT_EQ(whole.substr(0, kept.size()), kept);
        ASSERT_LT(kept.size(), whole.size());
        EXPECT_NE(static_cast<unsigned char>(whole[kept.size()]) & 0xC0, 0x80);
        // The next one is numbered on.
        dir.write(made);
        EXPECT_NE(uniquePath((dir.path() / name).string()), result);
    }
}

TEST(FileSize, MissingPathAndRegularFile) {
    TempDir dir;
    EXPECT_EQ(fileSize(dir.path() / "missing"), 0u);
    EXPECT_EQ(fileSize(dir.write("a.bin", std::string(1234, 'a'))), 1234u);
    EXPECT_EQ(fileSize(dir.write("empty")), 0u);
}

std::uint64_t ownSize(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return static_cast<std::uint64_t>(info.st_size);
}

TEST(FileSize, SumsEveryEntryOfANestedTreeWithoutFollowingLinks) {
    TempDir dir;
    fs::path root = dir.mkdir("root");
    dir.write("root/a.txt", std::string(100, 'a'));
    dir.write("root/sub/b.txt", std::string(2000, 'b'));
    dir.write("root/sub/deeper/c.txt", std::string(30000, 'c'));
    dir.mkdir("root/empty");
    fs::path big = dir.write("outside.bin", std::string(500000, 'x'));
    fs::create_symlink(big, root / "sub" / "link");
    fs::create_directory_symlink(dir.path(), root / "loop");

    // The root folder's own size is not part of the total; the folders below it are.
    std::uint64_t expected = 100 + 2000 + 30000 + ownSize(root / "sub") +
                             ownSize(root / "sub" / "deeper") + ownSize(root / "empty") +
                             ownSize(root / "sub" / "link") + ownSize(root / "loop");
    EXPECT_EQ(fileSize(root), expected);
    // A link to a folder is measured as the link, like every other entry.
    EXPECT_EQ(fileSize(root / "loop"), ownSize(root / "loop"));
}

TEST(FileSize, UnreadableFolderContributesOnlyItsOwnSize) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    TempDir dir;
    fs::path root = dir.mkdir("root");
    fs::path locked = dir.mkdir("root/locked");
    dir.write("root/locked/secret", std::string(5000, 's'));
    dir.write("root/open.txt", std::string(10, 'o'));
    fs::permissions(locked, fs::perms::none);
    std::uint64_t size = fileSize(root);
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_EQ(size, 10 + ownSize(locked));
}

}  // namespace
}  // namespace tf
