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
    const auto times = [](std::size_t n, std::string_view piece) {
        std::string text;
        while (n-- > 0)
            text += piece;
        return text;
    };
    // 255 bytes each; the stem is cut on a character boundary, the extension kept (unless it
    // leaves no room at all).
    const std::pair<std::string, std::string> cases[] = {
        {times(125, "\xC3\xA9") + "a.txt", times(124, "\xC3\xA9") + "-1.txt"},
        {"abc" + times(63, "\xF0\x9F\x93\x84"), "abc" + times(62, "\xF0\x9F\x93\x84") + "-1"},
        {"x." + times(253, "e"), "x." + times(251, "e") + "-1"},
    };
    for (const auto& [name, expected] : cases) {
        ASSERT_EQ(name.size(), 255u);
        dir.write(name);
        EXPECT_EQ(uniquePath((dir.path() / name).string()), (dir.path() / expected).string());
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
