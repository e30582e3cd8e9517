#include <QCoreApplication>
#include <QThread>
#include <QUrl>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "cli/command_cli.h"
#include "cli/headless_session.h"
#include "model/default_data.h"
#include "model/menu_manager.h"
#include "service/menu_service.h"
#include "service/qt_main_queue.h"
#include "service/settings_watcher.h"
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
          "sftp://host/x", "smb://server/share", "http://x/y", "file:///d/important%00.txt",
          "file:///d/100%", "file:///d/a%zz", "file:///d/a#b"}) {
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

namespace tf::test {
namespace {

class PromptOpen : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        RCMenuManager::sharedInstance().reloadFromEnvironment();
        ASSERT_TRUE(RCDefaultData::setup().ok);
    }
    static QString fileUri(const fs::path& path) {
        return QUrl::fromLocalFile(QString::fromStdString(path.string())).toString();
    }
    static std::int64_t topTag(const QString& json, const std::string& key) {
        for (const auto& entry : nlohmann::json::parse(json.toStdString())) {
            if (entry.value("key", "") == key) {
                return entry.value("tag", std::int64_t{0});
            }
        }
        return 0;
    }
};

// A file manager asks for menus on every selection change, also while a command waits in one
// of our prompts; a click on such a menu must wait for the command, which keeps its selection.
TEST_F(PromptOpen, MenusAndClicksDuringACommandLeaveItsSelectionAlone) {
    Transcript transcript;
    HeadlessSession session(AnswerScript(), transcript, false);
    FinderSync& sync = session.sync();
    MenuService service(
        sync, [] { return true; }, [] {});
    const fs::path folder = files().mkdir("shown");
    const fs::path first = files().write("shown/a.txt");
    const fs::path second = files().write("shown/b.txt");

    std::vector<std::vector<std::string>> seen;
    sync.commands().set(CommandId::CopyPath, [&](FinderSync& engine, const CommandCall&) {
        if (seen.empty()) {
            QString json;
            const quint64 id = service.GetMenu(0, {fileUri(second)}, fileUri(folder), json);
            EXPECT_TRUE(service.Activate(id, topTag(json, "Copy Path")));
            QCoreApplication::processEvents();  // as a prompt's own event loop would
            EXPECT_TRUE(seen.empty()) << "a click ran inside another command";
        }
        seen.push_back(engine.selectURLs());
    });

    QString json;
    const quint64 id = service.GetMenu(0, {fileUri(first)}, fileUri(folder), json);
    const std::int64_t tag = topTag(json, "Copy Path");
    ASSERT_NE(tag, 0);
    ASSERT_TRUE(service.Activate(id, tag));
    ASSERT_TRUE(runEventsUntil([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen[0], std::vector<std::string>{first.string()});
    EXPECT_EQ(seen[1], std::vector<std::string>{second.string()});
}

}  // namespace
}  // namespace tf::test
