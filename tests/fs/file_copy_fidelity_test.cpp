// What a copy keeps besides content and modes: extended attributes, holes in sparse files;
// and the mount points a move must not cross. Small file systems are mounted for the cases
// that need them (root only; skipped elsewhere).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fs/file_copy.h"
#include "support/sandbox.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;

// A file system mounted at a folder for one test.
class Mount {
  public:
    Mount(const fs::path& at, const char* type, const char* options, const char* from = nullptr,
          unsigned long flags = 0)
        : at_(at) {
        fs::create_directories(at);
        if (::mount(from != nullptr ? from : type, at.c_str(), type, flags, options) != 0) {
            error_ = std::strerror(errno);
        }
    }
    ~Mount() {
        if (error_.empty() && ::umount2(at_.c_str(), 0) != 0) {
            ::umount2(at_.c_str(), MNT_DETACH);
        }
    }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;

    // Empty once mounted.
    const std::string& error() const { return error_; }

  private:
    fs::path at_;
    std::string error_;
};

std::string attribute(const fs::path& path, const char* name) {
    std::string value(4096, '\0');
    const ssize_t length = ::lgetxattr(path.c_str(), name, value.data(), value.size());
    if (length < 0) {
        return "<" + std::string(std::strerror(errno)) + ">";
    }
    value.resize(static_cast<std::size_t>(length));
    return value;
}

bool setAttribute(const fs::path& path, const char* name, const std::string& value) {
    return ::lsetxattr(path.c_str(), name, value.data(), value.size(), 0) == 0;
}

bool sameContent(const fs::path& a, const fs::path& b) {
    std::ifstream left(a, std::ios::binary);
    std::ifstream right(b, std::ios::binary);
    std::vector<char> one(1 << 20);
    std::vector<char> two(1 << 20);
    while (left && right) {
        left.read(one.data(), static_cast<std::streamsize>(one.size()));
        right.read(two.data(), static_cast<std::streamsize>(two.size()));
        if (left.gcount() != right.gcount() ||
            std::memcmp(one.data(), two.data(), static_cast<std::size_t>(left.gcount())) != 0) {
            return false;
        }
    }
    return left.eof() && right.eof();
}

class CopyFidelity : public ::testing::Test {
  protected:
    void TearDown() override {
        setRenameFunctionForTesting(nullptr);
        while (!mounts_.empty()) {
            mounts_.pop_back();
        }
    }

    // False (with the reason in skip_) when mounting is not allowed here.
    bool mount(const fs::path& at, const char* type, const char* options,
               const char* from = nullptr, unsigned long flags = 0) {
        mounts_.push_back(std::make_unique<Mount>(at, type, options, from, flags));
        if (!mounts_.back()->error().empty()) {
            skip_ = "cannot mount " + std::string(type) + ": " + mounts_.back()->error();
            mounts_.pop_back();
            return false;
        }
        return true;
    }

    // tree/file (user.plain, user.binary), tree/folder (user.folder), tree/link; the link
    // gets trusted.link where the file system takes it. Returns whether the link has it.
    bool makeAttributedTree(const fs::path& tree) {
        fs::create_directories(tree / "folder");
        std::ofstream(tree / "file") << "content";
        fs::create_symlink("file", tree / "link");
        if (!setAttribute(tree / "file", "user.plain", "one") ||
            !setAttribute(tree / "file", "user.binary", binary_) ||
            !setAttribute(tree / "folder", "user.folder", "two")) {
            skip_ = "this file system takes no user attributes";
        }
        fs::permissions(tree / "folder", fs::perms(0750));
        const timespec times[2] = {{1'000'000'000, 7}, {1'000'000'000, 7}};
        ::utimensat(AT_FDCWD, (tree / "folder").c_str(), times, 0);
        return setAttribute(tree / "link", "trusted.link", "three");
    }

    TempDir dir_;
    std::vector<std::unique_ptr<Mount>> mounts_;
    std::string skip_;
    const std::string binary_ = std::string("\0\x01\xff", 3) + std::string(3000, 'x');
};

TEST_F(CopyFidelity, CopiesAndMovesKeepExtendedAttributes) {
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move across file systems" : "copy");
        const fs::path tree = dir_.path() / (move ? "moved-tree" : "tree");
        const bool linkAttribute = makeAttributedTree(tree);
        if (!skip_.empty()) {
            GTEST_SKIP() << skip_;
        }
        const fs::path copy = dir_.path() / (move ? "moved" : "copy");
        CopyResult result;
        if (move) {
            setRenameFunctionForTesting(
                [](const std::string&, const std::string&) { return EXDEV; });
            result = moveItem(tree.string(), copy.string());
        } else {
            result = copyItem(tree.string(), copy.string());
        }
        ASSERT_TRUE(result.ok) << result.reason() << " " << result.failedPath;
        EXPECT_EQ(attribute(copy / "file", "user.plain"), "one");
        EXPECT_TRUE(attribute(copy / "file", "user.binary") == binary_);
        EXPECT_EQ(attribute(copy / "folder", "user.folder"), "two");
        if (linkAttribute) {
            EXPECT_EQ(attribute(copy / "link", "trusted.link"), "three");
        }
        // Setting attributes on the folder left its mode and times as they were.
        struct stat info {};
        ASSERT_EQ(::stat((copy / "folder").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0750u);
        EXPECT_EQ(info.st_mtim.tv_sec, 1'000'000'000);
        EXPECT_EQ(info.st_mtim.tv_nsec, 7);
    }
}

TEST_F(CopyFidelity, ATargetWithoutExtendedAttributesStillTakesTheCopy) {
    const fs::path tree = dir_.path() / "tree";
    makeAttributedTree(tree);
    if (skip_.empty()) {
        // ramfs has no extended attributes at all.
        mount(dir_.path() / "plain", "ramfs", "mode=0755");
    }
    if (!skip_.empty()) {
        GTEST_SKIP() << skip_;
    }
    const fs::path copy = dir_.path() / "plain/copy";
    const CopyResult result = copyItem(tree.string(), copy.string());
    ASSERT_TRUE(result.ok) << result.reason() << " " << result.failedPath;
    EXPECT_EQ(readFile(copy / "file"), "content");
    EXPECT_TRUE(fs::is_directory(copy / "folder"));
}

struct SparseCase {
    const char* name;
    off_t size;
    std::vector<std::pair<off_t, std::size_t>> data;  // offset, length
};

TEST_F(CopyFidelity, SparseFilesKeepTheirHoles) {
    constexpr off_t kMiB = off_t{1} << 20;
    const std::vector<SparseCase> cases = {
        {"data first, then a long hole", 100 * kMiB, {{0, 4096}}},
        {"a hole first, data at the very end", 64 * kMiB, {{64 * kMiB - 4096, 4096}}},
        {"islands of odd sizes", 48 * kMiB, {{0, 10}, {5 * kMiB + 3, 70'000}, {40 * kMiB, 1}}},
        {"nothing but a hole", 30 * kMiB, {}},
    };
    // Both sides far smaller than the files: only their data fits.
    if (!mount(dir_.path() / "from", "tmpfs", "size=8m") ||
        !mount(dir_.path() / "into", "tmpfs", "size=8m")) {
        GTEST_SKIP() << skip_;
    }
    for (const SparseCase& item : cases) {
        SCOPED_TRACE(item.name);
        const fs::path source = dir_.path() / "from" / "sparse";
        const fs::path copy = dir_.path() / "into" / "sparse";
        {
            const int fd = ::open(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ASSERT_GE(fd, 0);
            for (const auto& [offset, length] : item.data) {
                const std::string bytes(length, static_cast<char>('a' + offset % 26));
                ASSERT_EQ(::pwrite(fd, bytes.data(), length, offset), static_cast<ssize_t>(length));
            }
            ASSERT_EQ(::ftruncate(fd, item.size), 0);
            ::close(fd);
        }
        std::uint64_t lastDone = 0;
        CopyOptions options;
        options.chunkSize = 64 * 1024;
        options.progress = [&](std::uint64_t done, std::uint64_t) { lastDone = done; };
        const CopyResult result = copyItem(source.string(), copy.string(), options);
        ASSERT_TRUE(result.ok) << result.reason() << " " << result.failedPath;

        struct stat info {};
        ASSERT_EQ(::stat(copy.c_str(), &info), 0);
        EXPECT_EQ(info.st_size, item.size);
        EXPECT_LE(info.st_blocks * 512, kMiB);
        EXPECT_TRUE(sameContent(source, copy));
        // The holes count as done: the progress ends at the full size.
        EXPECT_EQ(lastDone, static_cast<std::uint64_t>(item.size));
        fs::remove(source);
        fs::remove(copy);
    }
}

struct MountInsideCase {
    const char* name;
    // Which item gets something mounted on it, relative to the moved tree.
    const char* mountPoint;
    bool bind;
};

TEST_F(CopyFidelity, AMoveNeverCrossesAMountPoint) {
    const std::vector<MountInsideCase> cases = {
        {"another file system inside", "inner/mounted", false},
        {"a folder of the same file system bound inside", "inner/bound", true},
        {"the item itself", "", false},
    };
    // Two file systems, so the move has to copy and remove.
    const fs::path from = dir_.path() / "from";
    const fs::path into = dir_.path() / "into";
    if (!mount(from, "tmpfs", "size=8m") || !mount(into, "tmpfs", "size=8m")) {
        GTEST_SKIP() << skip_;
    }
    for (const MountInsideCase& item : cases) {
        SCOPED_TRACE(item.name);
        const fs::path tree = from / "tree";
        const fs::path point = item.mountPoint[0] != '\0' ? tree / item.mountPoint : tree;
        fs::create_directories(point);
        if (item.bind) {
            fs::create_directories(from / "elsewhere");
            ASSERT_TRUE(mount(point, "none", nullptr, (from / "elsewhere").c_str(), MS_BIND))
                << skip_;
        } else {
            ASSERT_TRUE(mount(point, "tmpfs", "size=1m")) << skip_;
        }
        std::ofstream(tree / "own.txt") << "own";
        std::ofstream(point / "kept.txt") << "kept";

        const CopyResult result = moveItem(tree.string(), (into / "tree").string());
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, EXDEV);
        EXPECT_EQ(result.failedPath, point.string());
        EXPECT_EQ(result.reason(), point.string() + " is a mount point");
        // Refused before anything was made or removed.
        EXPECT_FALSE(fs::exists(into / "tree"));
        EXPECT_EQ(readFile(point / "kept.txt"), "kept");
        EXPECT_EQ(readFile(tree / "own.txt"), "own");

        mounts_.pop_back();
        fs::remove_all(from / "elsewhere");
        fs::remove_all(tree);
        fs::remove_all(into / "tree");
    }

    // Without a mount point inside, the same move goes through.
    dir_.write("from/tree/inner/deep.txt", "deep");
    const CopyResult result = moveItem((from / "tree").string(), (into / "tree").string());
    ASSERT_TRUE(result.ok) << result.reason() << " " << result.failedPath;
    EXPECT_FALSE(fs::exists(from / "tree"));
    EXPECT_EQ(readFile(into / "tree/inner/deep.txt"), "deep");
}

}  // namespace
}  // namespace tf::test
