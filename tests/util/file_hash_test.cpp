#include "util/file_hash.h"

#include "support/sandbox.h"

namespace tf {
namespace {

using test::TempDir;

TEST(FileMD5, KnownDigests) {
    TempDir dir;
    EXPECT_EQ(fileMD5(dir.write("empty")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(fileMD5(dir.write("abc", "abc")), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(fileMD5(dir.write("fox", "The quick brown fox jumps over the lazy dog")),
              "9e107d9d372bb6826bd81d3542a419d6");
}

TEST(FileMD5, ContentLongerThanOneReadChunk) {
    TempDir dir;
    auto path = dir.write("big", std::string((1u << 20) + 5, 'a'));
    EXPECT_EQ(fileMD5(path), "1d116de03e4a911270b11f9d1fdc76ce");
}

TEST(FileMD5, UnreadablePathsGiveEmptyText) {
    TempDir dir;
    EXPECT_EQ(fileMD5(dir.path() / "missing"), "");
    EXPECT_EQ(fileMD5(dir.mkdir("folder")), "");
}

}  // namespace
}  // namespace tf
