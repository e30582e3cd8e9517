// Folder listings kept between menu requests must never hide a change.
#include "fs/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/sandbox.h"

namespace tf::test {
namespace {

class ListingCache : public ::testing::Test {
  protected:
    void SetUp() override { setListingCacheMinimumAge(std::chrono::milliseconds(0)); }
    void TearDown() override { setListingCacheMinimumAge(std::chrono::seconds(1)); }

    // Names the visitor saw, stopping after `limit` of them.
    static std::vector<std::string> list(const std::string& path, std::size_t limit = 100000) {
        std::vector<std::string> names;
        const bool listed = forEachFolderEntryCached(path, [&](const std::string& name, bool) {
            names.push_back(name);
            return names.size() < limit;
        });
        EXPECT_TRUE(listed);
        return names;
    }
    static std::vector<std::string> sorted(std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return names;
    }
    // A modification time no earlier listing can carry, whatever the clock's tick.
    static void stampFolder(const std::string& path, long seconds) {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }

    TempDir dir_;
};

TEST_F(ListingCache, AChangedFolderIsListedAgain) {
    const std::string folder = dir_.mkdir("f").string();
    dir_.write("f/a.txt");
    stampFolder(folder, 1000000);
    EXPECT_EQ(list(folder), (std::vector<std::string>{"a.txt"}));
    EXPECT_EQ(list(folder), (std::vector<std::string>{"a.txt"}));

    dir_.write("f/b.txt");
    stampFolder(folder, 2000000);
    EXPECT_EQ(sorted(list(folder)), (std::vector<std::string>{"a.txt", "b.txt"}));

    std::filesystem::remove(dir_.path() / "f/a.txt");
    stampFolder(folder, 3000000);
    EXPECT_EQ(list(folder), (std::vector<std::string>{"b.txt"}));
}

TEST_F(ListingCache, AReplacedFolderIsNotTakenForTheOldOne) {
    const std::string folder = dir_.mkdir("f").string();
    dir_.write("f/old.txt");
    stampFolder(folder, 1000000);
    EXPECT_EQ(list(folder), (std::vector<std::string>{"old.txt"}));
    std::filesystem::remove_all(folder);
    dir_.write("f/new.txt");
    stampFolder(folder, 1000000);
    EXPECT_EQ(list(folder), (std::vector<std::string>{"new.txt"}));
}

TEST_F(ListingCache, ListingsBeyondWhatWasKeptAreReadOnToTheEnd) {
    const std::string folder = dir_.mkdir("big").string();
    for (int i = 0; i < 600; ++i) {
        dir_.write("big/" + std::to_string(i));
    }
    stampFolder(folder, 1000000);
    const std::vector<std::string> first = list(folder, 10);
    ASSERT_EQ(first.size(), 10u);
    const std::vector<std::string> all = list(folder);
    EXPECT_EQ(all.size(), 600u);
    EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + 10), first);
    std::vector<std::string> names = sorted(all);
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
    EXPECT_EQ(list(folder).size(), 600u);
}

TEST_F(ListingCache, UnreadableFoldersAndTheSeamAreRespected) {
    EXPECT_FALSE(forEachFolderEntryCached((dir_.path() / "missing").string(),
                                          [](const std::string&, bool) { return true; }));
    const std::string folder = dir_.mkdir("f").string();
    dir_.write("f/a.txt");
    stampFolder(folder, 1000000);
    EXPECT_EQ(list(folder).size(), 1u);
    setFolderLister([](const std::string&) { return std::nullopt; });
    EXPECT_FALSE(forEachFolderEntryCached(folder, [](const std::string&, bool) { return true; }));
    setFolderLister(nullptr);
}

}  // namespace
}  // namespace tf::test
