#include "model/url_cache.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "model/menu_manager.h"
#include "support/sandbox.h"

namespace tf {
namespace {

using Paths = std::vector<std::string>;

// A grant source beside the cache; counts how often it is asked.
class FakeProvider : public URLProvider {
  public:
    FakeProvider(Paths paths, std::string answerPrefix)
        : paths_(std::move(paths)), prefix_(std::move(answerPrefix)) {}
    Paths availablePaths() override { return paths_; }
    std::optional<std::string> securityScopedURLForPath(const std::string& path) override {
        ++asked;
        if (prefix_.empty()) {
            return std::nullopt;
        }
        return prefix_ + path;
    }
    int asked = 0;

  private:
    Paths paths_;
    std::string prefix_;
};

struct FileStamp {
    ino_t inode = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        return {};
    }
    return {info.st_ino, std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec};
}

class URLCacheTest : public test::SandboxTest {
  protected:
    void TearDown() override {
        cache().setSuiteName("");
        cache().reload();
        SandboxTest::TearDown();
    }

    RCURLCache& cache() { return RCURLCache::sharedInstance(); }
    SettingsStore& privateStore() { return RCMenuManager::sharedInstance().privateDefaults(); }
    Dict storedGrants() { return privateStore().readDict(kCachedURLsKey); }

    std::string realFolder(const std::string& relative) {
        return std::filesystem::weakly_canonical(files().mkdir(relative)).string();
    }
};

TEST(GrantCoversTest, AFolderCoversItselfAndWhatIsBelowItButNotItsNamesakes) {
    EXPECT_TRUE(grantCovers("/u/a", "/u/a"));
    EXPECT_TRUE(grantCovers("/u/a", "/u/a/b/c"));
    EXPECT_FALSE(grantCovers("/u/a", "/u/ab"));
    EXPECT_FALSE(grantCovers("/u/a", "/u"));
    EXPECT_FALSE(grantCovers("/u/a/b", "/u/a"));
    EXPECT_TRUE(grantCovers("/", "/"));
    EXPECT_TRUE(grantCovers("/", "/anything/below"));
    EXPECT_TRUE(grantCovers("/u/a/", "/u/a/b"));
    EXPECT_FALSE(grantCovers("", "/u"));
    EXPECT_FALSE(grantCovers("/u/a", ""));
}

TEST_F(URLCacheTest, SavingAFolderReplacesTheGrantsBelowItAndKeepsTheOthers) {
    cache().saveSecurityURL("/u/a/b");
    cache().saveSecurityURL("/u/ab");
    cache().saveSecurityURL("/u/a");
    EXPECT_EQ(cache().availablePaths(), (Paths{"/u/a", "/u/ab"}));

    const Dict stored = storedGrants();
    ASSERT_EQ(stored.size(), 2u);
    const Value* bookmark = find(stored, "/u/a");
    ASSERT_NE(bookmark, nullptr);
    ASSERT_NE(bookmark->data(), nullptr);
    EXPECT_EQ(*bookmark->data(), (Data{'/', 'u', '/', 'a'}));
    EXPECT_NE(find(stored, "/u/ab"), nullptr);
}

TEST_F(URLCacheTest, AGrantCoversOnlyItsOwnSubtree) {
    cache().saveSecurityURL("/u/a");
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/u/a/b/c"), "/u/a");
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/u/a"), "/u/a");
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/u/ab"), std::nullopt);
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/u"), std::nullopt);
    EXPECT_EQ(cache().urlWithAllowAccessToPath(""), std::nullopt);

    cache().saveSecurityURL("/");
    EXPECT_EQ(cache().availablePaths(), (Paths{"/"}));
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/etc/x"), "/");
}

TEST_F(URLCacheTest, SavingAStoredPathAgainLeavesTheFileAlone) {
    const auto file = privateStore().file();
    cache().saveSecurityURL("/u/a");
    const FileStamp first = stampOf(file);
    const std::string content = test::readFile(file);
    ASSERT_NE(first.inode, 0u);

    cache().saveSecurityURL("/u/a");
    EXPECT_EQ(stampOf(file), first);
    EXPECT_EQ(test::readFile(file), content);

    cache().saveSecurityURL("");
    EXPECT_EQ(stampOf(file), first);

    // A covered but different path is a new grant and is written.
    cache().saveSecurityURL("/u/a/b");
    EXPECT_NE(test::readFile(file), content);
    EXPECT_EQ(cache().availablePaths(), (Paths{"/u/a", "/u/a/b"}));
}

TEST_F(URLCacheTest, SymbolicLinksInTheAskedPathAreResolvedButStoredPathsAreNot) {
    const std::string real = realFolder("real");
    const auto link = files().path() / "link";
    std::filesystem::create_directory_symlink(real, link);

    cache().saveSecurityURL(real);
    // The tail does not exist yet (a file about to be created) and is kept.
    EXPECT_EQ(cache().urlWithAllowAccessToPath((link / "new" / "file.txt").string()), real);

    cache().clearAllCached();
    cache().saveSecurityURL(link.string());
    EXPECT_EQ(cache().urlWithAllowAccessToPath((link / "new").string()), std::nullopt);
    EXPECT_EQ(cache().urlWithAllowAccessToPath(link.string()), std::nullopt);
}

TEST_F(URLCacheTest, GrantsSurviveARestartAndEachIsResolvedAtMostOnce) {
    cache().saveSecurityURL("/u/a");
    cache().saveSecurityURL("/v");
    cache().reload();
    EXPECT_EQ(cache().resolveCount(), 0);
    EXPECT_EQ(cache().availablePaths(), (Paths{"/u/a", "/v"}));

    EXPECT_EQ(cache().urlWithAllowAccessToPath("/u/a/x"), "/u/a");
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/u/a/y"), "/u/a");
    EXPECT_EQ(cache().resolveCount(), 1);
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/v/w"), "/v");
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/v"), "/v");
    EXPECT_EQ(cache().resolveCount(), 2);

    // Grants made in this run need no resolving.
    cache().saveSecurityURL("/w");
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/w/1"), "/w");
    EXPECT_EQ(cache().resolveCount(), 2);
}

TEST_F(URLCacheTest, RemovingTakesOutOnlyTheFirstCoveredGrant) {
    cache().saveSecurityURL("/u/a/c");
    cache().saveSecurityURL("/u/a/b");
    cache().saveSecurityURL("/z");
    cache().removeCachedPath("/u/a");
    EXPECT_EQ(cache().availablePaths(), (Paths{"/u/a/c", "/z"}));
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/u/a/b/x"), std::nullopt);

    // A path below a grant does not cover it.
    cache().removeCachedPath("/z/below");
    cache().removeCachedPath("/nothing");
    EXPECT_EQ(cache().availablePaths(), (Paths{"/u/a/c", "/z"}));

    cache().reload();
    EXPECT_EQ(cache().availablePaths(), (Paths{"/u/a/c", "/z"}));
}

TEST_F(URLCacheTest, ClearingForgetsEveryGrantForGood) {
    cache().saveSecurityURL("/u/a");
    cache().saveSecurityURL("/v");
    cache().clearAllCached();
    EXPECT_TRUE(cache().availablePaths().empty());
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/u/a"), std::nullopt);
    ASSERT_TRUE(privateStore().contains(kCachedURLsKey));
    EXPECT_TRUE(storedGrants().empty());
    cache().reload();
    EXPECT_TRUE(cache().availablePaths().empty());
}

TEST_F(URLCacheTest, OtherProvidersAreAskedAfterTheCacheInOrder) {
    FakeProvider refusing({"/p"}, "");
    FakeProvider granting({"/other", "/p"}, "granted:");
    cache().addURLProvider(&refusing);
    cache().addURLProvider(&granting);
    cache().addURLProvider(&granting);

    EXPECT_EQ(cache().urlWithAllowAccessToPath("/p/q"), "granted:/p");
    EXPECT_EQ(refusing.asked, 1);
    EXPECT_EQ(granting.asked, 1);

    cache().saveSecurityURL("/p");
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/p/q"), "/p");
    EXPECT_EQ(granting.asked, 1);

    cache().clearAllCached();
    cache().removeURLProvider(&granting);
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/p/q"), std::nullopt);
    EXPECT_EQ(granting.asked, 1);
    cache().removeURLProvider(&refusing);
}

TEST_F(URLCacheTest, ARestartForgetsTheExtraProviders) {
    FakeProvider granting({"/p"}, "granted:");
    cache().addURLProvider(&granting);
    cache().reload();
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/p"), std::nullopt);
    EXPECT_EQ(granting.asked, 0);
}

TEST_F(URLCacheTest, ASuiteKeepsTheGrantsInItsOwnFile) {
    cache().setSuiteName("group.shared");
    cache().saveSecurityURL("/u/a");
    const auto suiteFile =
        RCMenuManager::sharedInstance().paths().configFolder / "group.shared.plist";
    SettingsStore suite(suiteFile);
    EXPECT_NE(find(suite.readDict(kCachedURLsKey), "/u/a"), nullptr);
    EXPECT_FALSE(privateStore().contains(kCachedURLsKey));

    cache().reload();
    EXPECT_EQ(cache().suiteName(), "group.shared");
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/u/a/b"), "/u/a");

    // A blank name means this program's own settings.
    cache().setSuiteName("  ");
    cache().clearAllCached();
    cache().saveSecurityURL("/v");
    EXPECT_NE(find(storedGrants(), "/v"), nullptr);
}

TEST_F(URLCacheTest, ChoosingASuiteAddsItsGrantsToThoseInMemory) {
    {
        SettingsStore suite(RCMenuManager::sharedInstance().paths().configFolder / "g.plist");
        ASSERT_TRUE(suite.set(kCachedURLsKey, Value(Dict{{"/s", Value(Data{'/', 's'})}})));
    }
    cache().saveSecurityURL("/own");
    cache().setSuiteName("g");
    EXPECT_EQ(cache().availablePaths(), (Paths{"/own", "/s"}));
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/s/t"), "/s");
}

TEST_F(URLCacheTest, AFailedWriteKeepsTheGrantInMemory) {
    const auto config = RCMenuManager::sharedInstance().paths().configFolder;
    std::filesystem::remove_all(config);
    files().write("blocker");
    std::filesystem::copy_file(files().path() / "blocker", config);
    RCMenuManager::sharedInstance().reloadFromEnvironment();

    cache().saveSecurityURL("/u/a");
    EXPECT_EQ(cache().urlWithAllowAccessToPath("/u/a/b"), "/u/a");
}

}  // namespace
}  // namespace tf
