#include "platform/desktop_workspace.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/sandbox.h"

namespace tf {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class FakeRunner : public ProcessRunner {
  public:
    ProcessResult run(const ProcessRequest& request) override {
        spawned.push_back(request.argv);
        return {};
    }
    bool spawnDetached(const ProcessRequest& request) override {
        spawned.push_back(request.argv);
        return true;
    }
    std::vector<std::vector<std::string>> spawned;
};

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

class DesktopWorkspaceTest : public test::SandboxTest {
  protected:
    fs::path executable(const std::string& relative, const std::string& content) {
        const auto file = files().write(relative, content);
        fs::permissions(file, fs::perms::owner_all);
        return file;
    }
};

TEST_F(DesktopWorkspaceTest, HandsThePathsToTheHostApplication) {
    // Records its arguments, one per line, beside itself.
    const auto host = executable(
        "host app/record",
        "#!/bin/sh\nout=\"$(dirname \"$0\")/args\"\nprintf '%s\\n' \"$@\" > \"$out.tmp\"\n"
        "mv \"$out.tmp\" \"$out\"\n");
    const ScopedEnv hostApp("TRACKFOLIO_HOST_APP", host.string());
    PosixProcessRunner runner;
    DesktopWorkspace workspace(runner);
    const std::vector<std::string> paths = {"/data/a file.txt", "/data/$(touch pwned)"};
    ASSERT_TRUE(workspace.launchHostApplication(paths));

    const auto args = host.parent_path() / "args";
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!fs::exists(args) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(fs::exists(args));
    EXPECT_EQ(test::readFile(args), "/data/a file.txt\n/data/$(touch pwned)\n");
    EXPECT_FALSE(fs::exists(host.parent_path() / "pwned"));
}

TEST_F(DesktopWorkspaceTest, FindsTheHostApplicationOnThePathAndMakesPathsAbsolute) {
    const auto host = executable("bin/trackfolio", "#!/bin/sh\n");
    const ScopedEnv hostApp("TRACKFOLIO_HOST_APP", "");
    const ScopedEnv path("PATH", (files().path() / "bin").string());
    FakeRunner runner;
    DesktopWorkspace workspace(runner);
    ASSERT_TRUE(workspace.launchHostApplication({"relative/file", "/abs"}));
    ASSERT_EQ(runner.spawned.size(), 1U);
    EXPECT_EQ(runner.spawned[0],
              (std::vector<std::string>{host.string(),
                                        (fs::current_path() / "relative/file").string(), "/abs"}));
}

TEST_F(DesktopWorkspaceTest, NoHostApplicationMeansFailure) {
    const ScopedEnv hostApp("TRACKFOLIO_HOST_APP", std::nullopt);
    const ScopedEnv path("PATH", files().mkdir("empty").string());
    FakeRunner runner;
    DesktopWorkspace workspace(runner);
    EXPECT_FALSE(workspace.launchHostApplication({"/a"}));
    EXPECT_TRUE(runner.spawned.empty());
}

TEST_F(DesktopWorkspaceTest, OpensPathsAndAddressesWithXdgOpen) {
    FakeRunner runner;
    DesktopWorkspace workspace(runner);
    EXPECT_TRUE(workspace.openPath("/data/a b.pdf"));
    EXPECT_TRUE(workspace.openPath("-rf"));
    EXPECT_TRUE(workspace.openUrl("https://example.org/?q=a b"));
    EXPECT_FALSE(workspace.openPath(""));
    EXPECT_FALSE(workspace.openUrl(""));
    EXPECT_FALSE(workspace.openUrl("--help"));
    EXPECT_EQ(runner.spawned,
              (std::vector<std::vector<std::string>>{{"xdg-open", "/data/a b.pdf"},
                                                     {"xdg-open", "./-rf"},
                                                     {"xdg-open", "https://example.org/?q=a b"}}));
}

TEST_F(DesktopWorkspaceTest, WithoutXdgOpenNothingOpens) {
    const ScopedEnv path("PATH", files().mkdir("empty").string());
    PosixProcessRunner runner;
    DesktopWorkspace workspace(runner);
    EXPECT_FALSE(workspace.openPath(files().path().string()));
    EXPECT_FALSE(workspace.openUrl("https://example.org/"));
}

TEST_F(DesktopWorkspaceTest, UnknownApplicationsAndServicesStartNothing) {
    const ScopedEnv dataDirs("XDG_DATA_DIRS", files().mkdir("no data").string());
    const ScopedEnv path("PATH", files().mkdir("empty").string());
    const ScopedEnv terminal("TERMINAL", std::nullopt);
    FakeRunner runner;
    DesktopWorkspace workspace(runner);
    EXPECT_FALSE(workspace.launchApplication("org.example.Editor.desktop", {"/a"}));
    EXPECT_FALSE(workspace.runService("New Terminal at Folder", {"/a"}));
    EXPECT_FALSE(workspace.runService("Unknown Service", {"/a"}));
    EXPECT_TRUE(runner.spawned.empty());
}

}  // namespace
}  // namespace tf
