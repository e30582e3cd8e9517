#include <QCoreApplication>
#include <QThread>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "extension/command_cli.h"
#include "extension/service/menu_service.h"
#include "extension/service/qt_main_queue.h"
#include "extension/service/settings_watcher.h"
#include "service_fixture.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool runEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

TEST(MainQueue, TasksFromAnyThreadRunOnTheMainThreadInOrder) {
    QtMainQueue queue(QCoreApplication::instance());
    std::vector<int> ran;
    std::atomic<bool> offMainThread{false};
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            queue.post(
                [&, i] {
                    if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
                        offMainThread = true;
                    }
                    ran.push_back(i);
                },
                0ms);
        }
    });
    worker.join();
    EXPECT_EQ(queue.pendingCount(), 50);
    ASSERT_TRUE(runEventsUntil([&] { return ran.size() == 50; }));
    EXPECT_FALSE(offMainThread);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(ran[static_cast<std::size_t>(i)], i);
    }
    EXPECT_EQ(queue.pendingCount(), 0);
}

TEST(MainQueue, ADelayedTaskWaitsItsTimeAndCountsAsPendingUntilThen) {
    QtMainQueue queue(QCoreApplication::instance());
    std::atomic<bool> ran{false};
    const auto posted = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point ranAt;
    std::thread([&] {
        queue.post(
            [&] {
                ranAt = std::chrono::steady_clock::now();
                ran = true;
            },
            150ms);
    }).join();
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
    EXPECT_EQ(queue.pendingCount(), 1);
    ASSERT_TRUE(runEventsUntil([&] { return ran.load(); }));
    EXPECT_GE(ranAt - posted, 150ms);
    EXPECT_EQ(queue.pendingCount(), 0);
}

TEST(Uri, OnlyLocalFileUrisBecomePathsWithTheirBytesKept) {
    EXPECT_EQ(localPathFromUri(QStringLiteral("file:///tmp/a%20b.txt")), "/tmp/a b.txt");
    EXPECT_EQ(localPathFromUri(QStringLiteral("file://localhost/tmp/x")), "/tmp/x");
    EXPECT_EQ(localPathFromUri(QStringLiteral("file:///tmp/%C3%A9t%C3%A9")),
              "/tmp/\xc3\xa9t\xc3\xa9");
    EXPECT_EQ(localPathFromUri(QStringLiteral("file:///tmp/raw%FFname")), "/tmp/raw\xffname");
    EXPECT_EQ(localPathFromUri(QStringLiteral("file:///tmp/100%25")), "/tmp/100%");
    EXPECT_EQ(localPathFromUri(QStringLiteral("file:///")), "/");
    for (const char* other :
         {"", "/tmp/plain", "tmp/relative", "file:relative", "file://host/tmp/x", "trash:///x",
          "sftp://host/x", "smb://server/share", "http://x/y"}) {
        EXPECT_EQ(localPathFromUri(QString::fromLatin1(other)), std::nullopt) << other;
    }
}

class Watcher : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        file_ = files().mkdir("config") / "settings.plist";
    }
    // Replaces the file the way the store does: a new file renamed over the old one.
    void replace(const std::string& content) {
        const fs::path temporary = file_.parent_path() / ".settings.plist.new";
        std::ofstream(temporary) << content;
        fs::rename(temporary, file_);
    }
    // Lets the watcher see everything and settle.
    static void settle() {
        runEventsUntil([] { return false; }, 300ms);
    }

    fs::path file_;
};

TEST_F(Watcher, EachReplacementGivesOneNoticeAndABurstGivesOne) {
    fs::remove(file_.parent_path());
    SettingsWatcher watcher(file_, 50ms);  // also creates the missing folder
    int notices = 0;
    QObject::connect(&watcher, &SettingsWatcher::changed, [&] { ++notices; });

    replace("first");  // the file appears
    ASSERT_TRUE(runEventsUntil([&] { return notices == 1; }));
    replace("second, longer");  // renamed over a watched file
    ASSERT_TRUE(runEventsUntil([&] { return notices == 2; }));
    for (int i = 0; i < 5; ++i) {
        replace("burst " + std::to_string(i));
    }
    settle();
    EXPECT_EQ(notices, 3);
    std::ofstream(file_, std::ios::app) << "written in place";
    ASSERT_TRUE(runEventsUntil([&] { return notices == 4; }));
}

TEST_F(Watcher, OtherFilesInTheFolderAreNotTheSettings) {
    replace("content");
    SettingsWatcher watcher(file_, 50ms);
    int notices = 0;
    QObject::connect(&watcher, &SettingsWatcher::changed, [&] { ++notices; });
    std::ofstream(file_.parent_path() / "trackfolio-sync.plist") << "private";
    std::ofstream(file_.parent_path() / "settings.plist.lock") << "";
    fs::remove(file_.parent_path() / "settings.plist.lock");
    settle();
    EXPECT_EQ(notices, 0);
    fs::remove(file_);
    ASSERT_TRUE(runEventsUntil([&] { return notices == 1; }));
}

class AlertCommand : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        ::unsetenv("TRACKFOLIO_ANSWERS");
        ::unsetenv("TRACKFOLIO_TRANSCRIPT");
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("DISPLAY", ":99", 1);
        setWindowedAlert([this](const AlertRequest& request) {
            shown_.push_back(request);
            return 1;
        });
    }
    void TearDown() override {
        setWindowedAlert(nullptr);
        ::unsetenv("DISPLAY");
        ::unsetenv("TRACKFOLIO_ANSWERS");
        SandboxTest::TearDown();
    }
    static CliResult alert(std::vector<std::string> args) {
        args.insert(args.begin(), "alert");
        return runCli(&runAlertCommand, args);
    }

    std::vector<AlertRequest> shown_;
};

TEST_F(AlertCommand, WithADisplayAndNoScriptedAnswersTheWindowAsks) {
    const CliResult result = alert({"--message", "Go on?", "--button", "Yes", "--button", "No"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "No\n");
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].informative, "Go on?");
    EXPECT_EQ(shown_[0].buttons, (std::vector<std::string>{"Yes", "No"}));
}

TEST_F(AlertCommand, ScriptedAnswersOrNoDisplayStayHeadless) {
    const fs::path answers = files().write("answers.jsonl", R"({"button": "Yes"})"
                                                            "\n");
    CliResult result = alert({"--message", "Go on?", "--button", "Yes", "--button", "No",
                              "--answers", answers.string()});
    EXPECT_EQ(result.out, "Yes\n");
    ::setenv("TRACKFOLIO_ANSWERS", answers.c_str(), 1);
    result = alert({"--message", "Go on?", "--button", "Yes", "--button", "No"});
    EXPECT_EQ(result.out, "Yes\n");
    ::unsetenv("TRACKFOLIO_ANSWERS");
    ::unsetenv("DISPLAY");
    result = alert({"--message", "Go on?", "--button", "Yes", "--button", "No"});
    EXPECT_EQ(result.status, 1);  // headless and unanswered: dismissed
    EXPECT_TRUE(shown_.empty());
}

TEST_F(AlertCommand, WithADisplayTheProgramHandsTheAlertToTheServiceProgram) {
    // Scripted, so no window opens; the answer proves the arguments arrived.
    const fs::path answers = files().write("answers.jsonl", R"({"button": "Later"})"
                                                            "\n");
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    ChildProcess program;
    std::string error;
    const bool started =
        program.start({TRACKFOLIO_SYNC_BINARY, "alert", "--message", "Now?", "--button", "Now",
                       "--button", "Later", "--answers", answers.string()},
                      error, pipeFds[1]);
    ::close(pipeFds[1]);
    ASSERT_TRUE(started) << error;
    std::string out;
    char buffer[256];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        out.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeFds[0]);
    EXPECT_EQ(program.waitExit(10s), 0);
    EXPECT_EQ(out, "Later\n");
}

}  // namespace
}  // namespace tf::test
