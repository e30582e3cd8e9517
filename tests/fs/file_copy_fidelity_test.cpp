// What a copy keeps besides content and modes (extended attributes, the holes of sparse
// files), and the mount points a move must not cross. Small file systems are mounted for the
// cases that need them (root only; skipped elsewhere).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "fs/file_copy.h"
#include "support/mounts.h"
#include "support/sandbox.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;

std::string attribute(const fs::path& path, const char* name) {
    std::string value(4096, '\0');
    const ssize_t length = ::lgetxattr(path.c_str(), name, value.data(), value.size());
    value.resize(static_cast<std::size_t>(std::max<ssize_t>(length, 0)));
    return length < 0 ? "<" + std::string(std::strerror(errno)) + ">" : value;
}

bool setAttribute(const fs::path& path, const char* name, const std::string& value) {
    return ::lsetxattr(path.c_str(), name, value.data(), value.size(), 0) == 0;
}

class CopyFidelity : public ::testing::Test {
  protected:
    void TearDown() override {
        setRenameFunctionForTesting(nullptr);
        while (!mounts_.empty()) {
            unmountLast();
        }
    }

    // Mounts a file system (or binds `from`) at `at`; false with the reason in skip_.
    bool mount(const fs::path& at, const char* type, const char* from = nullptr) {
        auto mounted = from != nullptr ? ScopedMount::mount(from, at, nullptr, MS_BIND, {}, skip_)
                                       : ScopedMount::mount(type, at, type, 0, "size=8m", skip_);
        if (!mounted) {
            return false;
        }
        mounts_.push_back(std::move(mounted));
        return true;
    }

    void unmountLast() { mounts_.pop_back(); }

    TempDir dir_;
    std::vector<std::unique_ptr<ScopedMount>> mounts_;
    std::string skip_;
};

TEST_F(CopyFidelity, ExtendedAttributesGoWithCopiesAndMoves) {
    const std::string binary = std::string("\0\x01\xff", 3) + std::string(3000, 'x');
    struct Case {
        const char* name;
        bool move;
        bool targetWithout;  // ramfs takes no extended attributes at all
    };
    for (const Case& item : {Case{"copy", false, false}, Case{"move across", true, false},
                             Case{"copy to a file system without them", false, true}}) {
        SCOPED_TRACE(item.name);
        const fs::path tree = dir_.mkdir(fs::path(item.name) / "tree/folder").parent_path();
        dir_.write(fs::path(item.name) / "tree/file", "content");
        fs::create_symlink("file", tree / "link");
        if (!setAttribute(tree / "file", "user.plain", "one") ||
            !setAttribute(tree / "file", "user.binary", binary) ||
            !setAttribute(tree / "folder", "user.folder", "two")) {
            GTEST_SKIP() << "this file system takes no user attributes";
        }
        // Links take trusted.* only, and only from root.
        const bool linkAttribute = setAttribute(tree / "link", "trusted.link", "three");
        fs::permissions(tree / "folder", fs::perms(0750));
        const timespec times[2] = {{1'000'000'000, 7}, {1'000'000'000, 7}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (tree / "folder").c_str(), times, 0), 0);

        fs::path copy = tree.parent_path() / "copy";
        if (item.targetWithout) {
            if (!mount(tree.parent_path() / "plain", "ramfs")) {
                GTEST_SKIP() << skip_;
            }
            copy = tree.parent_path() / "plain/copy";
        }
        if (item.move) {
            setRenameFunctionForTesting(
                [](const std::string&, const std::string&) { return EXDEV; });
        }
        const CopyResult result = item.move ? moveItem(tree.string(), copy.string())
                                            : copyItem(tree.string(), copy.string());
        ASSERT_TRUE(result.ok) << result.reason() << " " << result.failedPath;
        EXPECT_EQ(readFile(copy / "file"), "content");
        if (item.targetWithout) {
            continue;
        }
        EXPECT_EQ(attribute(copy / "file", "user.plain"), "one");
        EXPECT_TRUE(attribute(copy / "file", "user.binary") == binary);
        EXPECT_EQ(attribute(copy / "folder", "user.folder"), "two");
        if (linkAttribute) {
            EXPECT_EQ(attribute(copy / "link", "trusted.link"), "three");
        }
        // Setting attributes on the folder left its mode and times as they were.
        struct stat info {};
        ASSERT_EQ(::stat((copy / "folder").c_str(), &info), 0);
        EXPECT_EQ(std::make_tuple(info.st_mode & 07777, info.st_mtim.tv_sec, info.st_mtim.tv_nsec),
                  std::make_tuple(0750u, 1'000'000'000L, 7L));
    }
}

TEST_F(CopyFidelity, SparseFilesKeepTheirHolesOnASmallFileSystem) {
    constexpr off_t kMiB = off_t{1} << 20;
    struct Case {
        const char* name;
        off_t size;
        std::vector<std::pair<off_t, std::size_t>> data;  // offset, length
    };
    const std::vector<Case> cases = {
        {"data first, then a long hole", 16 * kMiB, {{0, 4096}}},
        {"a hole first, data at the very end", 12 * kMiB, {{12 * kMiB - 4096, 4096}}},
        {"islands of odd sizes", 12 * kMiB, {{0, 10}, {5 * kMiB + 3, 70'000}, {11 * kMiB, 1}}},
        {"nothing but a hole", 10 * kMiB, {}},
    };
    // Both 8 MB: the files fit only without their holes.
    if (!mount(dir_.path() / "from", "tmpfs") || !mount(dir_.path() / "into", "tmpfs")) {
        GTEST_SKIP() << skip_;
    }
    const fs::path source = dir_.path() / "from/sparse";
    const fs::path copy = dir_.path() / "into/sparse";
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        const int fd = ::open(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        for (const auto& [offset, length] : item.data) {
            const std::string bytes(length, static_cast<char>('a' + offset % 26));
            ASSERT_EQ(::pwrite(fd, bytes.data(), length, offset), static_cast<ssize_t>(length));
        }
        ASSERT_EQ(::ftruncate(fd, item.size), 0);
        ::close(fd);

        std::uint64_t lastDone = 0;
        CopyOptions options;
        options.chunkSize = 64 * 1024;
        options.progress = [&](std::uint64_t done, std::uint64_t) { lastDone = done; };
        const CopyResult result = copyItem(source.string(), copy.string(), options);
        ASSERT_TRUE(result.ok) << result.reason() << " " << result.failedPath;
        struct stat info {};
        ASSERT_EQ(::stat(copy.c_str(), &info), 0);
        EXPECT_LE(info.st_blocks * 512, kMiB);
        EXPECT_TRUE(readFile(copy) == readFile(source));
        // The holes count as done: progress ends at the full size.
        EXPECT_EQ(lastDone, static_cast<std::uint64_t>(item.size));
        fs::remove(source);
        fs::remove(copy);
    }
}

TEST_F(CopyFidelity, AMoveRefusesASourceThatIsOrHoldsAMountPoint) {
    // Two file systems, so the move has to copy and remove.
    const fs::path from = dir_.path() / "from";
    const fs::path into = dir_.path() / "into";
    if (!mount(from, "tmpfs") || !mount(into, "tmpfs")) {
        GTEST_SKIP() << skip_;
    }
    // What gets something mounted on it, relative to the moved tree; whether a bind mount
    // of a folder of the same file system (same device number).
    for (const auto& [mounted, bind] : std::vector<std::pair<std::string, bool>>{
             {"inner/mounted", false}, {"inner/bound", true}, {"", false}}) {
        SCOPED_TRACE(mounted);
        const fs::path tree = from / "tree";
        const fs::path point = mounted.empty() ? tree : tree / mounted;
        fs::create_directories(from / "elsewhere");
        ASSERT_TRUE(bind ? mount(point, "none", (from / "elsewhere").c_str())
                         : mount(point, "tmpfs"))
            << skip_;
        dir_.write("from/tree/own.txt", "own");
        dir_.write(point / "kept.txt", "kept");

        const CopyResult result = moveItem(tree.string(), (into / "tree").string());
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, EXDEV);
        EXPECT_EQ(result.failedPath, point.string());
        EXPECT_EQ(result.reason(), point.string() + " is a mount point");
        // Refused before anything was made or removed.
        EXPECT_FALSE(fs::exists(into / "tree"));
        EXPECT_EQ(readFile(point / "kept.txt"), "kept");
        EXPECT_EQ(readFile(tree / "own.txt"), "own");
        unmountLast();
        fs::remove_all(tree);
    }

    // A mount appearing once the move has looked the tree over stops the removal there.
    dir_.write("from/tree/a.txt", "a");
    const fs::path later = dir_.mkdir("from/tree/later");
    CopyOptions options;
    options.progress = [&](std::uint64_t done, std::uint64_t) {
        if (done > 0 && mounts_.size() == 2 && mount(later, "tmpfs")) {
            dir_.write(later / "kept.txt", "kept");
        }
    };
    const CopyResult result = moveItem((from / "tree").string(), (into / "tree").string(), options);
    ASSERT_EQ(mounts_.size(), 3u) << skip_;
    EXPECT_EQ(result.reason(), later.string() + " is a mount point");
    EXPECT_EQ(readFile(later / "kept.txt"), "kept");
    EXPECT_EQ(readFile(into / "tree/a.txt"), "a");
    unmountLast();

    // Without a mount point inside, the same move goes through.
    fs::remove_all(from / "tree");
    fs::remove_all(into / "tree");
    dir_.write("from/tree/inner/deep.txt", "deep");
    const CopyResult moved = moveItem((from / "tree").string(), (into / "tree").string());
    ASSERT_TRUE(moved.ok) << moved.reason() << " " << moved.failedPath;
    EXPECT_FALSE(fs::exists(from / "tree"));
    EXPECT_EQ(readFile(into / "tree/inner/deep.txt"), "deep");
}

}  // namespace
}  // namespace tf::test
