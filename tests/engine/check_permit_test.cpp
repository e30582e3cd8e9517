#include "engine/check_permit.h"

#include <gtest/gtest.h>

#include <deque>

#include "fs/file_access.h"
#include "model/url_cache.h"
#include "support/sandbox.h"
#include "util/strings.h"

namespace tf {
namespace {

// Answers from queues (cancel / dismissed once they run out) and remembers every request.
class ScriptedUserInterface : public UserInterface {
  public:
    std::deque<std::optional<std::string>> folderAnswers;
    std::deque<int> alertAnswers;
    std::vector<FolderRequest> folderRequests;
    std::vector<AlertRequest> alertRequests;

    int runAlert(const AlertRequest& request) override {
        alertRequests.push_back(request);
        return pop(alertAnswers, -1);
    }
    std::optional<std::string> chooseFolder(const FolderRequest& request) override {
        folderRequests.push_back(request);
        return pop(folderAnswers, std::optional<std::string>{});
    }
    std::optional<SaveAnswer> runSavePanel(const SaveRequest&) override {
        ADD_FAILURE() << "unexpected save panel";
        return std::nullopt;
    }
    std::optional<std::string> askText(const TextRequest&) override {
        ADD_FAILURE() << "unexpected text question";
        return std::nullopt;
    }

  private:
    template <typename T>
    static T pop(std::deque<T>& queue, T fallback) {
        if (queue.empty()) {
            return fallback;
        }
        T answer = std::move(queue.front());
        queue.pop_front();
        return answer;
    }
};

class RecordingWorkspace : public Workspace {
  public:
    std::vector<std::string> opened;

    bool launchApplication(std::string_view, const std::vector<std::string>&) override {
        return false;
    }
    bool openPath(const std::string& path) override {
        opened.push_back(path);
        return true;
    }
    bool openUrl(const std::string&) override { return false; }
    bool launchHostApplication(const std::vector<std::string>&) override { return false; }
    bool runService(std::string_view, const std::vector<std::string>&) override { return false; }
};

class CheckPermitTest : public test::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        setWritableCheck([](const std::string&) { return false; });
    }

    // Runs the asking check and tells which callback ran: "success", "failure" or "".
    std::string check(const std::string& folder) {
        std::string outcome;
        RCCheckPermit::checkPermitWithPath(
            folder, ui, [&] { outcome += "success"; }, [&] { outcome += "failure"; });
        return outcome;
    }

    std::string outside(const std::string& relative) {
        return (files().path() / relative).string();
    }

    ScriptedUserInterface ui;
};

TEST_F(CheckPermitTest, AGrantOrAWritableFolderSucceedsWithoutAsking) {
    RCURLCache::sharedInstance().saveSecurityURL(outside("granted"));
    EXPECT_EQ(check(outside("granted/deep/er")), "success");

    const std::string writable = outside("writable");
    setWritableCheck([&](const std::string& path) { return path == writable; });
    EXPECT_EQ(check(writable), "success");
    EXPECT_TRUE(ui.folderRequests.empty());
}

TEST_F(CheckPermitTest, AFolderUnderHomeOpensTheChooserAtHomeWithoutATip) {
    for (const auto& folder : {home().string(), (home() / "docs" / "x").string()}) {
        ui.folderRequests.clear();
        EXPECT_EQ(check(folder), "failure") << folder;
        ASSERT_EQ(ui.folderRequests.size(), 1u);
        EXPECT_EQ(ui.folderRequests[0].prompt, localized("Authorization"));
        EXPECT_EQ(ui.folderRequests[0].startFolder, home().string());
        EXPECT_EQ(ui.folderRequests[0].message, "");
    }
}

TEST_F(CheckPermitTest, AFolderElsewhereOpensTheChooserAtTheRootWithATip) {
    // A sibling whose name merely starts with the home folder's is not under it.
    for (const auto& folder : {outside("x"), home().string() + "-other/x"}) {
        ui.folderRequests.clear();
        EXPECT_EQ(check(folder), "failure") << folder;
        ASSERT_EQ(ui.folderRequests.size(), 1u);
        EXPECT_EQ(ui.folderRequests[0].prompt, localized("Authorization"));
        EXPECT_EQ(ui.folderRequests[0].startFolder, "/");
        EXPECT_EQ(ui.folderRequests[0].message, localized("Auth Root Tip"));
    }
}

TEST_F(CheckPermitTest, AChosenFolderBecomesAGrantSoTheNextCheckDoesNotAsk) {
    ui.folderAnswers.push_back(outside("project"));
    EXPECT_EQ(check(outside("project/src")), "success");
    EXPECT_EQ(RCURLCache::sharedInstance().availablePaths(),
              std::vector<std::string>{outside("project")});

    EXPECT_EQ(check(outside("project/docs")), "success");
    EXPECT_EQ(ui.folderRequests.size(), 1u);
}

TEST_F(CheckPermitTest, AnyChosenFolderSucceedsButAnEmptyAnswerIsACancel) {
    ui.folderAnswers.push_back(outside("unrelated"));
    EXPECT_EQ(check(outside("wanted")), "success");
    EXPECT_EQ(RCURLCache::sharedInstance().availablePaths(),
              std::vector<std::string>{outside("unrelated")});

    ui.folderAnswers.push_back(std::string());
    EXPECT_EQ(check(outside("wanted")), "failure");
}

TEST_F(CheckPermitTest, AnEmptyPathRunsNeitherCallbackAndAsksNothing) {
    EXPECT_EQ(check(""), "");
    EXPECT_TRUE(ui.folderRequests.empty());
    RCCheckPermit::checkPermitWithPath(outside("x"), ui, nullptr, nullptr);
    EXPECT_EQ(ui.folderRequests.size(), 1u);
}

TEST_F(CheckPermitTest, TheQuietCheckAcceptsAGrantOrAReadableFolder) {
    EXPECT_FALSE(RCCheckPermit::checkPermitWithPath(""));
    EXPECT_TRUE(RCCheckPermit::checkPermitWithPath(files().path().string()));

    setReadableCheck([](const std::string&) { return false; });
    EXPECT_FALSE(RCCheckPermit::checkPermitWithPath(files().path().string()));
    RCURLCache::sharedInstance().saveSecurityURL(files().path().string());
    EXPECT_TRUE(RCCheckPermit::checkPermitWithPath(outside("a/b")));
    EXPECT_TRUE(ui.folderRequests.empty());
}

TEST_F(CheckPermitTest, SelectingAFolderPassesThePromptAndReportsCancel) {
    ui.folderAnswers = {std::string("/chosen"), std::nullopt};
    EXPECT_EQ(RCCheckPermit::selectFolderWithPrompt(ui, "Pick"), "/chosen");
    EXPECT_EQ(RCCheckPermit::selectFolderWithPrompt(ui, "Pick"), std::nullopt);
    ASSERT_EQ(ui.folderRequests.size(), 2u);
    EXPECT_EQ(ui.folderRequests[0].prompt, "Pick");
    EXPECT_TRUE(RCURLCache::sharedInstance().availablePaths().empty());
}

TEST_F(CheckPermitTest, ThePrivacyTipOpensTheFolderOnlyOnTheFirstButton) {
    RecordingWorkspace workspace;
    ui.alertAnswers = {1, -1, 0, 0};
    RCCheckPermit::accessPrivacy(ui, workspace, "/locked");
    RCCheckPermit::accessPrivacy(ui, workspace, "/locked");
    EXPECT_TRUE(workspace.opened.empty());
    RCCheckPermit::accessPrivacy(ui, workspace, "");
    EXPECT_TRUE(workspace.opened.empty());
    RCCheckPermit::accessPrivacy(ui, workspace, "/locked");
    EXPECT_EQ(workspace.opened, std::vector<std::string>{"/locked"});

    ASSERT_EQ(ui.alertRequests.size(), 4u);
    const AlertRequest& request = ui.alertRequests[0];
    EXPECT_EQ(request.message, localized("Tip"));
    EXPECT_EQ(request.informative, localized("Auth Full Disk Access Tip"));
    EXPECT_EQ(request.buttons,
              (std::vector<std::string>{localized("Authorization"), localized("Cancel")}));
}

}  // namespace
}  // namespace tf
