#include "platform/application_index.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/test_recorder.h"
#include "support/sandbox.h"

namespace tf {
namespace {

namespace fs = std::filesystem;

class InstalledApplications : public test::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        dataHome_.emplace("XDG_DATA_HOME", files().mkdir("user").string());
        dataDirs_.emplace("XDG_DATA_DIRS", files().mkdir("system").string());
    }
    void TearDown() override {
        dataDirs_.reset();
        dataHome_.reset();
        SandboxTest::TearDown();
    }
    fs::path entry(const std::string& relative, const std::string& name,
                   const std::string& extra = {}) {
        return files().write(
            relative, "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=run\n" + extra);
    }
    // Gives every applications folder a time an hour back, as a folder nobody touched
    // lately has, so the index is kept; returns that time.
    timespec settle() {
        const timespec past{std::time(nullptr) - 3600, 0};
        for (const char* root : {"user/applications", "system/applications"}) {
            const fs::path folder = files().mkdir(root);
            setTime(folder, past);
            for (const auto& item : fs::recursive_directory_iterator(folder)) {
                if (item.is_directory()) {
                    setTime(item.path(), past);
                }
            }
        }
        return past;
    }
    static void setTime(const fs::path& path, const timespec& time) {
        const timespec times[2] = {time, time};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }

  private:
    std::optional<test::ScopedEnvironment> dataHome_;
    std::optional<test::ScopedEnvironment> dataDirs_;
};

TEST_F(InstalledApplications, AgreeWithTheLookupThatLaunches) {
    const fs::path editor = entry("user/applications/org.example.Editor.desktop", "Code");
    entry("system/applications/vendor/tool.desktop", "Tool");
    entry("system/applications/org.example.Editor.desktop", "System Copy");
    entry("user/applications/gone.desktop", "Gone", "Hidden=true\n");
    entry("user/applications/absent.desktop", "Absent", "TryExec=no-such-program-here\n");
    files().write("user/applications/link.desktop", "[Desktop Entry]\nType=Link\nName=Site\n");
    settle();
    const std::vector<std::string> asked = {"org.example.Editor.desktop",
                                            "org.example.Editor",
                                            "Code",
                                            "cODE",
                                            "vendor-tool",
                                            "System Copy",
                                            "Gone",
                                            "Absent",
                                            "Site",
                                            "Cod",
                                            "",
                                            editor.string(),
                                            (files().path() / "none.desktop").string()};
    std::vector<bool> expected;
    for (const std::string& application : asked) {
        expected.push_back(findDesktopEntry(application).has_value());
    }
    EXPECT_EQ(expected, (std::vector<bool>{true, true, true, true, true, false, false, false, false,
                                           false, false, true, false}));
    EXPECT_EQ(installedApplications(asked), expected);
    // Asked again from the kept index, the answers stay the same.
    EXPECT_EQ(installedApplications(asked), expected);
}

TEST_F(InstalledApplications, AChangedFolderIsReadAgainAndAnUnchangedOneIsNot) {
    entry("user/applications/editor.desktop", "Editor");
    files().mkdir("system/applications/vendor");
    const timespec past = settle();
    EXPECT_TRUE(isApplicationInstalled("Editor"));
    EXPECT_FALSE(isApplicationInstalled("Later"));

    // Installed later, at the top of a folder or in a subfolder.
    entry("system/applications/later.desktop", "Later");
    EXPECT_TRUE(isApplicationInstalled("Later"));
    settle();
    EXPECT_TRUE(isApplicationInstalled("Later"));
    entry("system/applications/vendor/tool.desktop", "Tool");
    EXPECT_TRUE(isApplicationInstalled("vendor-tool"));

    // Kept while the folders keep their times: an entry slipped in without changing them is
    // not seen, which is what spares a menu the reading.
    settle();
    EXPECT_FALSE(isApplicationInstalled("Hidden Away"));
    entry("user/applications/away.desktop", "Hidden Away");
    setTime(files().path() / "user/applications", past);
    EXPECT_FALSE(isApplicationInstalled("Hidden Away"));

    // Removed.
    fs::remove(files().path() / "user/applications/editor.desktop");
    EXPECT_FALSE(isApplicationInstalled("Editor"));

    // Other applications folders.
    entry("elsewhere/applications/other.desktop", "Other");
    const test::ScopedEnvironment dirs("XDG_DATA_DIRS", (files().path() / "elsewhere").string());
    EXPECT_TRUE(isApplicationInstalled("Other"));
    EXPECT_FALSE(isApplicationInstalled("Later"));
}

TEST_F(InstalledApplications, AnEntryGivenByPathIsCheckedAgainWhenTheFileChanges) {
    const fs::path file = files().path() / "apps" / "mine.desktop";
    EXPECT_FALSE(isApplicationInstalled(file.string()));
    entry("apps/mine.desktop", "Mine");
    EXPECT_TRUE(isApplicationInstalled(file.string()));
    entry("apps/mine.desktop", "Mine", "Hidden=true\n");
    EXPECT_FALSE(isApplicationInstalled(file.string()));
}

}  // namespace
}  // namespace tf
