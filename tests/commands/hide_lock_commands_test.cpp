// Hiding through the folders' ".hidden" lists, locking and unlocking, and the prepared
// "show hidden files" command, driven through the menu as a user would.
#include "commands/hide_lock/hide_lock_commands.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "cli/sync_cli.h"
#include "engine/path_predicates.h"
#include "fs/file_access.h"
#include "support/engine_fixture.h"
#include "util/strings.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;

const std::string kQuoteName = "a\"; touch pwned; \".txt";
const std::string kSubstitutionName = "$(touch pwned).txt";

std::vector<std::string> hiddenLines(const fs::path& folder) {
    std::vector<std::string> lines;
    const std::string text = readFile(folder / ".hidden");
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

std::optional<std::string> lockAttribute(const fs::path& path) {
    const std::string name(kLockModeAttribute);
    char value[64];
    const ssize_t size = ::lgetxattr(path.c_str(), name.c_str(), value, sizeof value);
    if (size < 0) {
        return std::nullopt;
    }
    return std::string(value, static_cast<std::size_t>(size));
}

// -1 when the flags cannot be read.
int attributeFlags(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    int flags = 0;
    const int result = ::ioctl(fd, FS_IOC_GETFLAGS, &flags);
    ::close(fd);
    return result == 0 ? flags : -1;
}

bool setImmutable(const fs::path& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

bool anythingNamedPwned(const fs::path& root) {
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename() == "pwned") {
            return true;
        }
    }
    return false;
}

class HideLock : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        // Deterministic everywhere: the permission-bit lock, unless a test asks otherwise.
        setImmutableAttributeEnabled(false);
        const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
        if (desktop != nullptr) {
            savedDesktop_ = desktop;
        }
    }
    void TearDown() override {
        setImmutableAttributeEnabled(true);
        if (savedDesktop_) {
            ::setenv("XDG_CURRENT_DESKTOP", savedDesktop_->c_str(), 1);
        } else {
            ::unsetenv("XDG_CURRENT_DESKTOP");
        }
        EngineTest::TearDown();
    }

    // Shows the menu with just this entry and clicks it.
    void choose(std::string_view key, MenuKind kind, std::vector<std::string> selection,
                std::string target = {}, std::vector<nlohmann::json> answers = {}) {
        setMainList({{{"key", std::string(key)}}});
        session(std::move(answers));
        const MenuList menu = menuFor(kind, std::move(selection), std::move(target));
        const MenuNode* node = nodeWithKey(menu, key);
        ASSERT_NE(node, nullptr) << key;
        ASSERT_TRUE(sync().activate(sync().menuId(), node->tag));
        ASSERT_TRUE(session_->waitUntilIdle(std::chrono::seconds(30)));
    }
    void lockUnlock(std::vector<std::string> selection) {
        choose("Lock and Unlock", MenuKind::Items, std::move(selection));
    }
    std::vector<std::string> alertTexts() const {
        std::vector<std::string> texts;
        for (const nlohmann::json& alert : transcriptOf("alert")) {
            texts.push_back(alert["informative"].get<std::string>());
        }
        return texts;
    }

    std::optional<std::string> savedDesktop_;
};

// ---- Hiding ----------------------------------------------------------------------------

TEST_F(HideLock, HideAllOnABackgroundListsEveryVisibleEntryAndKeepsTheList) {
    const fs::path folder = files().mkdir("shown");
    files().write("shown/a.txt");
    files().write("shown/b.txt");
    files().mkdir("shown/sub");
    files().write("shown/.env");
    files().write("shown/.hidden", "old\n\nb.txt\n");

    choose("Hide All Files", MenuKind::Container, {}, folder.string());
    std::vector<std::string> lines = hiddenLines(folder);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3),
              (std::vector<std::string>{"old", "", "b.txt"}));
    EXPECT_EQ(std::set<std::string>(lines.begin() + 3, lines.end()),
              (std::set<std::string>{"a.txt", "sub"}));
    EXPECT_TRUE(alertTexts().empty());
    for (const auto& entry : fs::directory_iterator(folder)) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".hidden.")) << entry.path();
    }

    // A second time finds every name listed already.
    choose("Hide All Files", MenuKind::Container, {}, folder.string());
    EXPECT_EQ(hiddenLines(folder), lines);
}

TEST_F(HideLock, HideSelectedSkipsDotFilesAndNeverListsANameTwice) {
    const fs::path folder = files().mkdir("f");
    const std::string sub = files().mkdir("f/sub").string();
    const std::string env = files().write("f/.env").string();
    choose("Hide Selected Files", MenuKind::Items, {sub + "/", env});
    choose("Hide Selected Files", MenuKind::Items, {sub});
    EXPECT_EQ(hiddenLines(folder), std::vector<std::string>{"sub"});
    EXPECT_EQ(modeOf(folder / ".hidden"), 0644u);

    // Dot-files alone change nothing: no list appears.
    const fs::path other = files().mkdir("g");
    choose("Hide Selected Files", MenuKind::Items, {files().write("g/.x").string()});
    EXPECT_FALSE(fs::exists(other / ".hidden"));
}

TEST_F(HideLock, UnhideFromTheItemMenuShowsOnlyTheSelection) {
    const fs::path folder = files().mkdir("f");
    for (const char* name : {"a", "b", "c"}) {
        files().write(fs::path("f") / name);
    }
    files().write("f/.hidden", "a\nb\nc\nb\n");
    ::chmod((folder / ".hidden").c_str(), 0600);
    choose("Unhide All Files", MenuKind::Items, {(folder / "b").string()});
    EXPECT_EQ(hiddenLines(folder), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(modeOf(folder / ".hidden"), 0600u);

    // Showing the last hidden names leaves no list behind.
    choose("Unhide All Files", MenuKind::Items, {(folder / "a").string(), (folder / "c").string()});
    EXPECT_FALSE(fs::exists(folder / ".hidden"));
    EXPECT_TRUE(alertTexts().empty());
}

TEST_F(HideLock, UnhideAllOnABackgroundShowsTheEntriesAWildcardWouldReach) {
    const fs::path folder = files().mkdir("f");
    files().write("f/a");
    files().write("f/.env");
    files().write("f/.hidden", "a\n.env\ngone\n");
    choose("Unhide All Files", MenuKind::Container, {}, folder.string());
    // Names of items no longer there, and dot-files, are not the folder's visible entries.
    EXPECT_EQ(hiddenLines(folder), (std::vector<std::string>{".env", "gone"}));
}

TEST_F(HideLock, FailuresAreReportedAndTheOtherItemsStillRun) {
    const fs::path closed = files().mkdir("closed");
    const fs::path open = files().mkdir("open");
    const std::string blocked = files().write("closed/a.txt").string();
    const std::string fine = files().write("open/b.txt").string();
    const std::string missing = (open / "missing.txt").string();
    const std::string newline = files().write("open/two\nlines").string();
    setWritableCheck([&](const std::string& path) { return path != closed.string(); });

    // The closed folder comes last: the permission gate asks about the first item's folder.
    choose("Hide Selected Files", MenuKind::Items, {fine, missing, newline, blocked});
    EXPECT_FALSE(fs::exists(closed / ".hidden"));
    EXPECT_EQ(hiddenLines(open), std::vector<std::string>{"b.txt"});
    EXPECT_EQ(
        alertTexts(),
        (std::vector<std::string>{
            localizedFormat("Hide Newline Tip", {"\u201ctwo\\nlines\u201d"}),
            localizedFormat("Hide Fail Tip", {"\u201cmissing.txt\u201d", std::strerror(ENOENT)}),
            localizedFormat("Hide Fail Tip", {"\u201ca.txt\u201d", std::strerror(EACCES)})}));
}

TEST_F(HideLock, UnhidingInAClosedFolderIsReported) {
    const fs::path folder = files().mkdir("f");
    files().write("f/a");
    files().write("f/.hidden", "a\n");
    setWritableCheck([&](const std::string& path) { return path != folder.string(); });
    choose("Unhide All Files", MenuKind::Container, {}, folder.string());
    EXPECT_EQ(hiddenLines(folder), std::vector<std::string>{"a"});
    EXPECT_EQ(alertTexts(), std::vector<std::string>{localizedFormat(
                                "Unhide Fail Tip", {"\u201ca\u201d", std::strerror(EACCES)})});
}

// ---- Locking ---------------------------------------------------------------------------

TEST_F(HideLock, LockingWithPermissionBitsRestoresTheExactModeOnUnlock) {
    const fs::path file = files().write("report.txt", "x");
    const fs::path folder = files().mkdir("shared");
    ::chmod(file.c_str(), 06750);
    ::chmod(folder.c_str(), 0771);

    lockUnlock({file.string(), folder.string()});
    EXPECT_TRUE(isLocked(file.string()));
    EXPECT_TRUE(isLocked(folder.string()));
    EXPECT_EQ(modeOf(file), 06550u);
    EXPECT_EQ(modeOf(folder), 0551u);
    EXPECT_EQ(lockAttribute(file), "6750");
    EXPECT_TRUE(alertTexts().empty());

    lockUnlock({file.string(), folder.string()});
    EXPECT_FALSE(isLocked(file.string()));
    EXPECT_FALSE(isLocked(folder.string()));
    EXPECT_EQ(modeOf(file), 06750u);
    EXPECT_EQ(modeOf(folder), 0771u);
    EXPECT_EQ(lockAttribute(file), std::nullopt);
}

TEST_F(HideLock, EachItemIsToggledByItsOwnState) {
    const fs::path first = files().write("first.txt");
    const fs::path second = files().write("second.txt");
    ::chmod(first.c_str(), 0640);
    ::chmod(second.c_str(), 0600);
    lockUnlock({first.string()});
    ASSERT_TRUE(isLocked(first.string()));

    lockUnlock({first.string(), second.string()});
    EXPECT_FALSE(isLocked(first.string()));
    EXPECT_EQ(modeOf(first), 0640u);
    EXPECT_TRUE(isLocked(second.string()));
    EXPECT_EQ(modeOf(second), 0400u);
}

TEST_F(HideLock, LinksAndMissingItemsAreReportedWhileTheRestIsLocked) {
    const fs::path target = files().write("target.txt");
    const fs::path link = files().path() / "link";
    fs::create_symlink(target, link);
    const fs::path missing = files().path() / "missing";
    const fs::path plain = files().write("plain.txt");

    lockUnlock({link.string(), missing.string(), plain.string()});
    EXPECT_FALSE(isLocked(target.string()));
    EXPECT_TRUE(isLocked(plain.string()));
    const std::vector<std::string> texts = alertTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], localizedFormat("Lock Link Tip", {"\u201c" + link.string() + "\u201d"}));
    EXPECT_EQ(texts[1], localizedFormat("Lock Fail Tip", {"\u201c" + missing.string() + "\u201d",
                                                          std::strerror(ENOENT)}));
}

TEST_F(HideLock, AnUnreadableStoredModeStillUnlocksForTheOwner) {
    const fs::path file = files().write("a.txt");
    const std::string name(kLockModeAttribute);
    ASSERT_EQ(::lsetxattr(file.c_str(), name.c_str(), "rw-", 3, 0), 0);
    ::chmod(file.c_str(), 0444);
    lockUnlock({file.string()});
    EXPECT_FALSE(isLocked(file.string()));
    EXPECT_EQ(modeOf(file), 0644u);
}

TEST_F(HideLock, TheImmutableAttributeIsUsedWhereTheFileSystemAllowsIt) {
    const fs::path probe = files().write("probe");
    if (!setImmutable(probe, true)) {
        GTEST_SKIP() << "the immutable attribute cannot be set here";
    }
    ASSERT_TRUE(setImmutable(probe, false));
    const fs::path file = files().write("a.txt");
    ::chmod(file.c_str(), 0640);
    // The folder could not be removed with an immutable file left in it.
    struct Release {
        fs::path path;
        ~Release() { setImmutable(path, false); }
    } release{file};

    setImmutableAttributeEnabled(true);
    lockUnlock({file.string()});
    EXPECT_TRUE(isLocked(file.string()));
    EXPECT_NE(attributeFlags(file) & FS_IMMUTABLE_FL, 0);
    EXPECT_EQ(modeOf(file), 0640u);
    EXPECT_EQ(lockAttribute(file), std::nullopt);

    lockUnlock({file.string()});
    EXPECT_FALSE(isLocked(file.string()));
    EXPECT_EQ(attributeFlags(file) & FS_IMMUTABLE_FL, 0);
    EXPECT_TRUE(alertTexts().empty());
}

// ---- Names that look like shell code ---------------------------------------------------

TEST_F(HideLock, NamesAreTakenLiterallyAndNothingRuns) {
    const fs::path folder = files().mkdir("odd");
    const fs::path quote = files().write(fs::path("odd") / kQuoteName);
    const fs::path substitution = files().write(fs::path("odd") / kSubstitutionName);

    choose("Hide All Files", MenuKind::Container, {}, folder.string());
    const std::vector<std::string> lines = hiddenLines(folder);
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()),
              (std::set<std::string>{kQuoteName, kSubstitutionName}));
    lockUnlock({quote.string(), substitution.string()});
    EXPECT_TRUE(isLocked(quote.string()));
    EXPECT_TRUE(isLocked(substitution.string()));

    EXPECT_TRUE(transcriptOf("process").empty());
    EXPECT_TRUE(transcriptOf("spawn").empty());
    EXPECT_FALSE(anythingNamedPwned(files().path()));
    EXPECT_FALSE(anythingNamedPwned(home()));
}

TEST_F(HideLock, TheCommandLineHidesAndUnhidesTheTargetFolder) {
    const fs::path folder = files().mkdir("cli");
    files().write(fs::path("cli") / kSubstitutionName);
    files().write("cli/b");
    setMainList({{{"key", "Hide All Files"}}, {{"key", "Unhide All Files"}}});
    CliResult r = runCli(&runSyncCommand, {"run", "--tag", "1", "--target", folder.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(hiddenLines(folder).size(), 2u);
    r = runCli(&runSyncCommand, {"run", "--tag", "2", "--target", folder.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(folder / ".hidden"));
    EXPECT_FALSE(anythingNamedPwned(files().path()));
}

// ---- Showing hidden files --------------------------------------------------------------

TEST(ShowHiddenFilesCommand, FollowsTheRunningDesktop) {
    EXPECT_EQ(showHiddenFilesCommand("ubuntu:GNOME", true),
              "gsettings set org.gtk.gtk4.Settings.FileChooser show-hidden true");
    EXPECT_EQ(showHiddenFilesCommand("X-Cinnamon", false),
              "gsettings set org.nemo.preferences show-hidden-files false");
    EXPECT_EQ(showHiddenFilesCommand("MATE", true),
              "gsettings set org.mate.caja.preferences show-hidden-files true");
    EXPECT_EQ(showHiddenFilesCommand("XFCE", true),
              "xfconf-query -c thunar -p /last-show-hidden -n -t bool -s true");
    EXPECT_NE(showHiddenFilesCommand("KDE", false).find("HiddenFilesShown false"),
              std::string::npos);
    // The first desktop of the list that is known decides; unknown ones get the GNOME command.
    EXPECT_EQ(showHiddenFilesCommand("LXQt:kde", true), showHiddenFilesCommand("KDE", true));
    EXPECT_EQ(showHiddenFilesCommand("Budgie:GNOME", true), showHiddenFilesCommand("", true));
    EXPECT_EQ(showHiddenFilesCommand("Sway", false), showHiddenFilesCommand("GNOME", false));
}

TEST_F(HideLock, ShowCopiesTheDesktopsCommandAndOpensATerminalAtTheDesktop) {
    ::setenv("XDG_CURRENT_DESKTOP", "X-Cinnamon", 1);
    choose("System Hide Files", MenuKind::Container, {}, files().path().string(),
           {{{"button", localized("System Hide Files Show")}},
            {{"button", localized("Paste to Terminal")}}});
    const std::vector<nlohmann::json> alerts = transcriptOf("alert");
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[0]["message"], localized("System Hide Files"));
    EXPECT_EQ(alerts[0]["informative"], localized("System Hide Files Tip"));
    EXPECT_EQ(alerts[1]["message"], localized("System Hide Files Show"));
    EXPECT_EQ(alerts[1]["buttons"],
              (nlohmann::json{localized("Paste to Terminal"), localized("Paste to iTerm2"),
                              localized("Cancel")}));
    const std::vector<nlohmann::json> copied = transcriptOf("pasteboard");
    ASSERT_EQ(copied.size(), 1u);
    EXPECT_EQ(copied[0]["text"], "gsettings set org.nemo.preferences show-hidden-files true");
    const std::vector<nlohmann::json> services = transcriptOf("service");
    ASSERT_EQ(services.size(), 1u);
    EXPECT_EQ(services[0]["service"], "New Terminal at Folder");
    EXPECT_EQ(services[0]["paths"], nlohmann::json{xdgUserDir("DESKTOP")});
    EXPECT_TRUE(transcriptOf("process").empty());
}

TEST_F(HideLock, HideWithTheSecondTerminalAndCancelBeforeCopying) {
    ::unsetenv("XDG_CURRENT_DESKTOP");
    choose("System Hide Files", MenuKind::Container, {}, files().path().string(),
           {{{"button", 2}}, {{"button", 2}}});
    const std::vector<nlohmann::json> copied = transcriptOf("pasteboard");
    ASSERT_EQ(copied.size(), 1u);
    EXPECT_EQ(copied[0]["text"], showHiddenFilesCommand("GNOME", false));
    const std::vector<nlohmann::json> services = transcriptOf("service");
    ASSERT_EQ(services.size(), 1u);
    EXPECT_EQ(services[0]["service"], "New iTerm2 Window Here");

    choose("System Hide Files", MenuKind::Container, {}, files().path().string(),
           {{{"button", localized("Cancel")}}});
    EXPECT_EQ(transcriptOf("alert").size(), 3u);
    EXPECT_EQ(transcriptOf("pasteboard").size(), 1u);
    EXPECT_EQ(transcriptOf("service").size(), 1u);
}

}  // namespace
}  // namespace tf::test
