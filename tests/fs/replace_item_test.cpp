// Replacing an existing item: the new one takes its place whatever kinds the two are. (Failures
// that must keep the old item, and sources reached through bind mounts, are tested through
// the commands.)
#include "fs/replace_item.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "support/sandbox.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;

// What is at a path, as one comparable text (folders made here hold one entry each).
std::string describe(const fs::path& path) {
    if (fs::is_symlink(path) || !fs::is_directory(path)) {
        return fs::is_symlink(path) ? "link " + fs::read_symlink(path).string() : readFile(path);
    }
    std::string text;
    for (const auto& entry : fs::directory_iterator(path)) {
        text += "[" + entry.path().filename().string() + ": " + describe(entry.path()) + "]";
    }
    return text;
}

TEST(ReplaceItem, TheNewItemTakesThePlaceOfAnyKindOfOldOne) {
    enum Kind { File, Folder, Link };
    for (const bool acrossFileSystems : {false, true}) {
        setRenameFunctionForTesting(
            acrossFileSystems ? RenameFunction([](auto&, auto&) { return EXDEV; }) : nullptr);
        for (const ReplaceWay way : {ReplaceWay::Copy, ReplaceWay::Move}) {
            for (const Kind incoming : {File, Folder}) {
                for (const Kind existing : {File, Folder, Link}) {
                    TempDir dir;
                    const auto make = [&](const std::string& name, Kind kind, const char* text) {
                        if (kind == Link) {
                            fs::create_symlink(text, dir.path() / name);
                        } else {
                            dir.write(kind == File ? name : name + "/sub/in", text);
                        }
                    };
                    make("new", incoming, "new");
                    dir.mkdir("to");
                    make("to/item", existing, "old");
                    const std::string expected = describe(dir.path() / "new");
                    const CopyResult result = replaceItem((dir.path() / "new").string(),
                                                          (dir.path() / "to/item").string(), way);
                    SCOPED_TRACE(testing::Message()
                                 << acrossFileSystems << int(way) << incoming << existing);
                    EXPECT_TRUE(result.ok) << result.reason();
                    // Nothing staged or set aside stays behind.
                    EXPECT_EQ(describe(dir.path() / "to"), "[item: " + expected + "]");
                    EXPECT_EQ(fs::exists(dir.path() / "new"), way == ReplaceWay::Copy);
                }
            }
        }
    }
    setRenameFunctionForTesting(nullptr);
}

}  // namespace
}  // namespace tf::test
