// The copy engine behind "Copy to", "Move to", embedding and pasting.
#include "fs/file_copy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "support/sandbox.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;

struct stat statOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

void setTimes(const fs::path& path, long seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds + 5, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

void expectSameMetadata(const fs::path& original, const fs::path& copy) {
    const struct stat a = statOf(original);
    const struct stat b = statOf(copy);
    EXPECT_EQ(a.st_mode, b.st_mode) << copy;
    EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec) << copy;
    EXPECT_EQ(a.st_mtim.tv_nsec, b.st_mtim.tv_nsec) << copy;
}

std::string bytes(std::size_t count, char seed) {
    std::string text(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        text[i] = static_cast<char>(seed + static_cast<char>(i * 7 % 251));
    }
    return text;
}

class FileCopy : public ::testing::Test {
  protected:
    void TearDown() override { setRenameFunctionForTesting(nullptr); }

    // tree/a.txt (0640), tree/sub/b.bin (100 KB), tree/sub/run.sh (0755), tree/empty/,
    // tree/inner -> sub/b.bin, tree/outside -> a path outside the tree, tree/pipe.
    fs::path makeTree() {
        const fs::path tree = dir_.mkdir("tree");
        dir_.write("tree/a.txt", "alpha");
        dir_.write("tree/sub/b.bin", bytes(100 * 1024, 'b'));
        dir_.write("tree/sub/run.sh", "#!/bin/sh\n");
        dir_.mkdir("tree/empty");
        fs::permissions(tree / "a.txt", fs::perms(0640));
        fs::permissions(tree / "sub/run.sh", fs::perms(0755));
        fs::permissions(tree / "sub", fs::perms(0750));
        fs::create_symlink("sub/b.bin", tree / "inner");
        outside_ = dir_.write("secret.txt", "not to be copied");
        fs::create_symlink(outside_, tree / "outside");
        EXPECT_EQ(::mkfifo((tree / "pipe").c_str(), 0620), 0);
        setTimes(tree / "a.txt", 1'000'000'000, 123'456'789);
        setTimes(tree / "sub/b.bin", 1'100'000'000, 5);
        setTimes(tree / "inner", 1'200'000'000, 0);
        setTimes(tree / "sub", 1'300'000'000, 42);
        setTimes(tree / "empty", 1'400'000'000, 0);
        setTimes(tree, 1'500'000'000, 0);
        return tree;
    }

    TempDir dir_;
    fs::path outside_;
};

TEST_F(FileCopy, ATreeKeepsContentModesTimesAndLinks) {
    const fs::path tree = makeTree();
    const fs::path copy = dir_.path() / "copy";
    const CopyResult result = copyItem(tree.string(), copy.string());
    ASSERT_TRUE(result.ok) << result.reason() << " " << result.failedPath;

    EXPECT_EQ(readFile(copy / "a.txt"), "alpha");
    EXPECT_EQ(readFile(copy / "sub/b.bin"), bytes(100 * 1024, 'b'));
    for (const char* entry : {"", "a.txt", "sub", "sub/b.bin", "sub/run.sh", "empty", "pipe"}) {
        expectSameMetadata(tree / entry, copy / entry);
    }
    // Links stay links with the same text: nothing outside the tree is read.
    EXPECT_TRUE(fs::is_symlink(copy / "inner"));
    EXPECT_EQ(fs::read_symlink(copy / "inner"), "sub/b.bin");
    EXPECT_EQ(statOf(copy / "inner").st_mtim.tv_sec, 1'200'000'005);
    EXPECT_TRUE(fs::is_symlink(copy / "outside"));
    EXPECT_EQ(fs::read_symlink(copy / "outside"), outside_);
    EXPECT_TRUE(S_ISFIFO(statOf(copy / "pipe").st_mode));
    // The source is untouched.
    EXPECT_EQ(readFile(tree / "sub/b.bin"), bytes(100 * 1024, 'b'));
}

TEST_F(FileCopy, ManyFilesInManyFoldersArriveWholeWithFolderTimesKept) {
    // Enough files that several are copied at once; folder times must survive that.
    const fs::path tree = dir_.mkdir("many");
    for (int folder = 0; folder < 8; ++folder) {
        const std::string name = "f" + std::to_string(folder);
        for (int item = 0; item < 40; ++item) {
            dir_.write("many/" + name + "/deeper/n" + std::to_string(item),
                       bytes(static_cast<std::size_t>(item * 97), static_cast<char>(item)));
        }
        fs::permissions(tree / name, fs::perms(0711));
        setTimes(tree / name / "deeper", 1'000'000'000 + folder, 0);
        setTimes(tree / name, 1'100'000'000 + folder, 0);
    }
    const fs::path copy = dir_.path() / "copy";
    const CopyResult result = copyItem(tree.string(), copy.string());
    ASSERT_TRUE(result.ok) << result.reason() << " " << result.failedPath;
    for (int folder = 0; folder < 8; ++folder) {
        const std::string name = "f" + std::to_string(folder);
        expectSameMetadata(tree / name, copy / name);
        expectSameMetadata(tree / name / "deeper", copy / name / "deeper");
        for (int item = 0; item < 40; ++item) {
            const fs::path relative = fs::path(name) / "deeper" / ("n" + std::to_string(item));
            ASSERT_EQ(readFile(copy / relative), readFile(tree / relative)) << relative;
        }
    }
}

TEST_F(FileCopy, ALinkGivenAsTheItemIsCopiedAsALink) {
    const fs::path folder = dir_.mkdir("folder");
    dir_.write("folder/x.txt", "x");
    fs::create_symlink(folder, dir_.path() / "shortcut");
    const CopyResult result =
        copyItem((dir_.path() / "shortcut").string(), (dir_.path() / "copied").string());
    ASSERT_TRUE(result.ok) << result.reason();
    EXPECT_TRUE(fs::is_symlink(dir_.path() / "copied"));
    EXPECT_EQ(fs::read_symlink(dir_.path() / "copied"), folder);
}

TEST_F(FileCopy, RefusesWithoutLeavingAnythingBehind) {
    const fs::path tree = makeTree();
    const fs::path taken = dir_.write("taken.txt", "mine");

    CopyResult result = copyItem((tree / "a.txt").string(), taken.string());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, EEXIST);
    EXPECT_EQ(readFile(taken), "mine");

    result = copyItem((dir_.path() / "missing").string(), (dir_.path() / "out").string());
    EXPECT_EQ(result.error, ENOENT);
    EXPECT_FALSE(fs::exists(dir_.path() / "out"));

    result = copyItem((tree / "a.txt").string(), (dir_.path() / "no/such/out").string());
    EXPECT_EQ(result.error, ENOENT);

    // Into itself: the copy would never end.
    result = copyItem(tree.string(), (tree / "sub/tree").string());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, EINVAL);
    EXPECT_FALSE(fs::exists(tree / "sub/tree"));
    EXPECT_EQ(readFile(tree / "a.txt"), "alpha");
}

TEST_F(FileCopy, ReportsProgressUpToTheTotalOfFileBytes) {
    const fs::path tree = makeTree();
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
    CopyOptions options;
    options.chunkSize = 16 * 1024;
    options.progress = [&](std::uint64_t done, std::uint64_t total) {
        reports.emplace_back(done, total);
    };
    ASSERT_TRUE(copyItem(tree.string(), (dir_.path() / "copy").string(), options).ok);
    const std::uint64_t total = 5 + 100 * 1024 + 10;
    ASSERT_GT(reports.size(), 6u);
    EXPECT_EQ(reports.front(), std::make_pair(std::uint64_t{0}, total));
    EXPECT_EQ(reports.back(), std::make_pair(total, total));
    for (std::size_t i = 1; i < reports.size(); ++i) {
        EXPECT_GE(reports[i].first, reports[i - 1].first);
        EXPECT_EQ(reports[i].second, total);
    }
}

TEST_F(FileCopy, CancelStopsAndRemovesThePartialCopy) {
    const fs::path tree = makeTree();
    std::atomic<bool> cancel{false};
    CopyOptions options;
    options.cancel = &cancel;
    options.chunkSize = 4096;
    options.progress = [&](std::uint64_t done, std::uint64_t) {
        if (done > 8192) {
            cancel = true;
        }
    };
    const CopyResult result = copyItem(tree.string(), (dir_.path() / "copy").string(), options);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.error, 0);
    EXPECT_FALSE(fs::exists(dir_.path() / "copy"));
    EXPECT_EQ(readFile(tree / "sub/b.bin"), bytes(100 * 1024, 'b'));
}

TEST_F(FileCopy, ContentThatCannotBeCopiedInTheKernelIsReadInstead) {
    // Files of /proc report no size and give nothing to copy_file_range, but can be read.
    const fs::path copy = dir_.path() / "status";
    ASSERT_TRUE(copyItem("/proc/self/status", copy.string()).ok);
    EXPECT_NE(readFile(copy).find("Name:"), std::string::npos);
}

TEST_F(FileCopy, MoveRenamesAndNeverReplaces) {
    const fs::path tree = makeTree();
    const fs::path moved = dir_.path() / "moved";
    ASSERT_TRUE(moveItem(tree.string(), moved.string()).ok);
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_EQ(readFile(moved / "a.txt"), "alpha");

    const fs::path taken = dir_.write("taken.txt", "mine");
    const CopyResult result = moveItem((moved / "a.txt").string(), taken.string());
    EXPECT_EQ(result.error, EEXIST);
    EXPECT_EQ(readFile(taken), "mine");
    EXPECT_EQ(readFile(moved / "a.txt"), "alpha");
}

TEST_F(FileCopy, MoveAcrossFileSystemsCopiesThenRemoves) {
    const fs::path tree = makeTree();
    std::vector<std::string> renamed;
    setRenameFunctionForTesting([&](const std::string& from, const std::string&) {
        renamed.push_back(from);
        return EXDEV;
    });
    std::uint64_t lastDone = 0;
    CopyOptions options;
    options.progress = [&](std::uint64_t done, std::uint64_t) { lastDone = done; };
    const fs::path moved = dir_.path() / "moved";
    const CopyResult result = moveItem(tree.string(), moved.string(), options);
    ASSERT_TRUE(result.ok) << result.reason();
    EXPECT_EQ(renamed, std::vector<std::string>{tree.string()});
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
    EXPECT_EQ(readFile(moved / "sub/b.bin"), bytes(100 * 1024, 'b'));
    EXPECT_EQ(statOf(moved / "a.txt").st_mtim.tv_nsec, 123'456'789);
    EXPECT_EQ(statOf(moved / "sub").st_mode & 07777, 0750u);
    EXPECT_TRUE(fs::is_symlink(moved / "outside"));
    EXPECT_EQ(readFile(outside_), "not to be copied");
    EXPECT_EQ(lastDone, 5u + 100 * 1024 + 10);
}

TEST_F(FileCopy, AFailedMoveLeavesTheSourceAlone) {
    const fs::path tree = makeTree();
    setRenameFunctionForTesting([](const std::string&, const std::string&) { return EXDEV; });
    CopyResult result = moveItem(tree.string(), (dir_.path() / "gone/moved").string());
    EXPECT_EQ(result.error, ENOENT);
    EXPECT_EQ(readFile(tree / "a.txt"), "alpha");

    setRenameFunctionForTesting([](const std::string&, const std::string&) { return EACCES; });
    result = moveItem(tree.string(), (dir_.path() / "moved").string());
    EXPECT_EQ(result.error, EACCES);
    EXPECT_EQ(result.failedPath, tree.string());
    EXPECT_FALSE(result.reason().empty());
    EXPECT_TRUE(fs::exists(tree / "sub/b.bin"));
    EXPECT_FALSE(fs::exists(dir_.path() / "moved"));
}

}  // namespace
}  // namespace tf::test
