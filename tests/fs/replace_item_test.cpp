// Replacing an existing item: the new one takes its place whatever the two are, and a failure
// on the way (a full disk, a mount point) leaves the old one as it was.
#include "fs/replace_item.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/mounts.h"
#include "support/sandbox.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// What is at a path, as one comparable text.
std::string describe(const fs::path& path) {
    if (fs::is_symlink(path)) {
        return "link to " + fs::read_symlink(path).string();
    }
    if (!fs::is_directory(path)) {
        return fs::exists(path) ? readFile(path) : "nothing";
    }
    std::string text = "folder:";
    for (const std::string& name : namesIn(path)) {
        text += " " + name + "=" + describe(path / name);
    }
    return text;
}

enum class Kind { File, Folder, Link };

void make(const TempDir& dir, const fs::path& relative, Kind kind, const std::string& content) {
    switch (kind) {
        case Kind::File:
            dir.write(relative, content);
            break;
        case Kind::Folder:
            dir.write(relative / "inside.txt", content);
            dir.write(relative / "sub/deep.bin", content + content);
            break;
        case Kind::Link:
            fs::create_directories((dir.path() / relative).parent_path());
            fs::create_symlink(content, dir.path() / relative);
            break;
    }
}

struct Way {
    const char* name;
    ReplaceWay way;
    bool acrossFileSystems;
};
constexpr Way kWays[] = {{"copy", ReplaceWay::Copy, false},
                         {"move", ReplaceWay::Move, false},
                         {"move across file systems", ReplaceWay::Move, true}};

class ReplaceItem : public ::testing::Test {
  protected:
    void TearDown() override { setRenameFunctionForTesting(nullptr); }
};

TEST_F(ReplaceItem, TheNewItemTakesThePlaceOfAnyKindOfOldOne) {
    for (const Way& way : kWays) {
        setRenameFunctionForTesting(
            way.acrossFileSystems
                ? RenameFunction([](const std::string&, const std::string&) { return EXDEV; })
                : nullptr);
        for (const Kind incoming : {Kind::File, Kind::Folder}) {
            for (const Kind existing : {Kind::File, Kind::Folder, Kind::Link}) {
                SCOPED_TRACE(std::string(way.name) + " " + std::to_string(int(incoming)) +
                             " over " + std::to_string(int(existing)));
                TempDir dir;
                make(dir, "from/item", incoming, "new");
                make(dir, "to/item", existing, "old");
                const std::string expected = describe(dir.path() / "from/item");
                const CopyResult result = replaceItem((dir.path() / "from/item").string(),
                                                      (dir.path() / "to/item").string(), way.way);
                EXPECT_TRUE(result.ok) << result.reason() << " " << result.failedPath;
                EXPECT_EQ(describe(dir.path() / "to/item"), expected);
                // Nothing staged or set aside is left behind.
                EXPECT_EQ(namesIn(dir.path() / "to"), std::vector<std::string>{"item"});
                EXPECT_EQ(fs::exists(dir.path() / "from/item"), way.way == ReplaceWay::Copy);
            }
        }
    }
}

TEST_F(ReplaceItem, WithNothingInTheWayItIsAPlainCopyOrMove) {
    TempDir dir;
    dir.write("a.txt", "A");
    dir.mkdir("to");
    EXPECT_TRUE(replaceItem((dir.path() / "a.txt").string(), (dir.path() / "to/a.txt").string(),
                            ReplaceWay::Move)
                    .ok);
    EXPECT_EQ(readFile(dir.path() / "to/a.txt"), "A");
    EXPECT_FALSE(fs::exists(dir.path() / "a.txt"));
}

TEST_F(ReplaceItem, AnOldItemHoldingTheSourceIsNeverTouched) {
    TempDir dir;
    dir.write("d/a/a", "nested");
    for (const ReplaceWay way : {ReplaceWay::Copy, ReplaceWay::Move}) {
        // d/a/a onto d/a (its own folder), and onto itself.
        for (const char* target : {"d/a", "d/a/a"}) {
            const CopyResult result =
                replaceItem((dir.path() / "d/a/a").string(), (dir.path() / target).string(), way);
            EXPECT_FALSE(result.ok) << target;
            EXPECT_EQ(result.error, EINVAL) << target;
            EXPECT_EQ(readFile(dir.path() / "d/a/a"), "nested");
            EXPECT_EQ(namesIn(dir.path() / "d"), std::vector<std::string>{"a"});
        }
    }
}

// ---- Failures keep the old item -----------------------------------------------------------

class ReplaceOnASmallDisk : public ReplaceItem {
  protected:
    void SetUp() override {
        std::string why;
        disk_ = ScopedMount::tmpfs(dir_.path() / "disk", "1m", why);
        if (!disk_) {
            GTEST_SKIP() << why;
        }
    }
    void TearDown() override {
        disk_.reset();
        ReplaceItem::TearDown();
    }
    fs::path disk() const { return dir_.path() / "disk"; }

    TempDir dir_;
    std::unique_ptr<ScopedMount> disk_;
};

TEST_F(ReplaceOnASmallDisk, ACopyThatRunsOutOfSpaceLeavesTheOldItemAsItWas) {
    const std::string big(3 * 1024 * 1024, 'n');
    for (const ReplaceWay way : {ReplaceWay::Copy, ReplaceWay::Move}) {
        for (const Kind incoming : {Kind::File, Kind::Folder}) {
            for (const Kind existing : {Kind::File, Kind::Folder}) {
                SCOPED_TRACE(std::to_string(int(way)) + " " + std::to_string(int(incoming)) +
                             " over " + std::to_string(int(existing)));
                make(dir_, "disk/item", existing, "old");
                make(dir_, "from/item", incoming, big);
                const std::string before = describe(disk() / "item");
                const CopyResult result = replaceItem((dir_.path() / "from/item").string(),
                                                      (disk() / "item").string(), way);
                EXPECT_FALSE(result.ok);
                EXPECT_EQ(result.error, ENOSPC) << result.reason();
                EXPECT_EQ(describe(disk() / "item"), before);
                EXPECT_EQ(namesIn(disk()), std::vector<std::string>{"item"});
                EXPECT_TRUE(fs::exists(dir_.path() / "from/item"));
                fs::remove_all(disk() / "item");
                fs::remove_all(dir_.path() / "from");
            }
        }
    }
}

TEST_F(ReplaceOnASmallDisk, AMountPointIsNotReplacedNorEmptied) {
    dir_.write("disk/kept.txt", "kept");
    dir_.write("from/disk/other.txt", "other");
    const CopyResult result =
        replaceItem((dir_.path() / "from/disk").string(), disk().string(), ReplaceWay::Copy);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(readFile(disk() / "kept.txt"), "kept");
    EXPECT_EQ(namesIn(dir_.path()), (std::vector<std::string>{"disk", "from"}));
}

// ---- Which item holds which ---------------------------------------------------------------

TEST(IsOrHolds, ComparesTheItemsThemselvesNotThePaths) {
    TempDir dir;
    dir.write("a/b/c.txt", "c");
    dir.mkdir("x");
    fs::create_hard_link(dir.path() / "a/b/c.txt", dir.path() / "hard");
    fs::create_directory_symlink("a", dir.path() / "link");
    std::string why;
    const auto alias = ScopedMount::bind(dir.path() / "a", dir.path() / "alias", why);
    struct Case {
        const char* item;
        const char* other;
        bool expected;
        bool needsAlias;
    };
    const Case cases[] = {
        {"a/b/c.txt", "a/b/c.txt", true, false},
        {"hard", "a/b/c.txt", true, false},
        {"a", "a/b/c.txt", true, false},
        {"a/b", "a/b/c.txt", true, false},
        {"a", "a/b", true, false},
        {"a/b/c.txt", "a/b", false, false},
        {"a/b", "a", false, false},
        {"x", "a/b/c.txt", false, false},
        {"missing", "a/b/c.txt", false, false},
        {"a", "missing", false, false},
        // A link is an item of its own; what lies behind it is reached through it.
        {"link", "a/b/c.txt", false, false},
        {"a", "link/b/c.txt", true, false},
        {"a", "x/../a/b", true, false},
        // The same folders seen through a bind mount.
        {"alias", "a/b/c.txt", true, true},
        {"alias/b", "a/b/c.txt", true, true},
        {"a", "alias/b/c.txt", true, true},
        {"a/b", "alias/b", true, true},
        {"alias/b", "x", false, true},
    };
    for (const Case& c : cases) {
        if (c.needsAlias && !alias) {
            continue;
        }
        EXPECT_EQ(isOrHolds((dir.path() / c.item).string(), (dir.path() / c.other).string()),
                  c.expected)
            << c.item << " holds " << c.other;
    }
    if (!alias) {
        GTEST_SKIP() << "bind-mount cases not run: " << why;
    }
}

TEST(IsOrHolds, AReplaceThroughABindMountLeavesTheSourceAlone) {
    TempDir dir;
    dir.write("real/d/d", "selected");
    std::string why;
    const auto alias = ScopedMount::bind(dir.path() / "real", dir.path() / "alias", why);
    if (!alias) {
        GTEST_SKIP() << why;
    }
    // alias/d/d moved into real: the item in the way, real/d, is the folder holding it.
    const CopyResult result = replaceItem((dir.path() / "alias/d/d").string(),
                                          (dir.path() / "real/d").string(), ReplaceWay::Move);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, EINVAL);
    EXPECT_EQ(readFile(dir.path() / "real/d/d"), "selected");
}

}  // namespace
}  // namespace tf::test
