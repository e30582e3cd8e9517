#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <thread>
#include <utility>

#include "model/menu_manager.h"
#include "model/plist_codec.h"
#include "model/settings_store.h"
#include "support/sandbox.h"

namespace tf {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kEditsPerProcess = 300;  // the sanitizer build checks memory, not volume
#else
constexpr int kEditsPerProcess = 2000;
#endif

class SettingsStoreTest : public test::SandboxTest {
  protected:
    std::filesystem::path file() const { return home() / "config" / "settings.plist"; }

    std::vector<std::string> filesBeside() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(file().parent_path())) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    bool anythingSetAside() const {
        const auto names = filesBeside();
        return std::any_of(names.begin(), names.end(), [](const std::string& name) {
            return name.find(".damaged-") != std::string::npos;
        });
    }

    // A file nobody has touched for an hour: no writer can still be busy with it.
    void age(const std::filesystem::path& path) const {
        std::filesystem::last_write_time(
            path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    }
};

// The store's clock, moved by hand. A pause runs what the test scheduled for it (the other
// program's next write), so retries are stepped through without waiting.
struct SteppedClock {
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
    int pauses = 0;
    std::function<void()> duringPause;

    StoreClock clock() {
        return {[this] { return now; },
                [this](std::chrono::milliseconds) {
                    ++pauses;
                    if (duringPause) {
                        std::exchange(duringPause, nullptr)();
                    }
                }};
    }
};

// What another program rewriting the file in place leaves at each step: truncated text, then
// the whole of it (same inode, fresh modification time).
struct InPlaceWriter {
    std::filesystem::path file;
    std::string finished = toXmlPlist(Value(Dict{{"fold menu name", "Scripts"}, {"n", 2}}));

    void writeHalf() const { std::ofstream(file) << finished.substr(0, finished.size() / 2); }
    void finish() const { std::ofstream(file) << finished; }
};

TEST_F(SettingsStoreTest, AbsentFileReadsEmptyAndDefaults) {
    SettingsStore store(file());
    EXPECT_TRUE(store.snapshot()->empty());
    EXPECT_FALSE(store.readBool("pref check7"));
    EXPECT_EQ(store.readInteger("common path next menu"), 0);
    EXPECT_EQ(store.readString("fold menu name"), "");
    EXPECT_TRUE(store.readArray("array right menu").empty());
    EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(SettingsStoreTest, TypesSurviveAndAnotherInstanceSeesTheWrite) {
    SettingsStore writer(file());
    ASSERT_TRUE(writer.set("pref check7", true));
    ASSERT_TRUE(writer.set("common path next menu", 4));
    ASSERT_TRUE(writer.set("fold menu name", "Tools"));

    // A second instance stands for the other program: it sees exactly what was stored.
    SettingsStore reader(file());
    EXPECT_EQ(reader.value("pref check7"), Value(true));
    EXPECT_EQ(reader.value("common path next menu"), Value(4));
    EXPECT_EQ(reader.value("fold menu name"), Value("Tools"));

    ASSERT_TRUE(writer.set("common path next menu", 2));
    EXPECT_EQ(reader.readInteger("common path next menu"), 2);
    ASSERT_TRUE(writer.remove("fold menu name"));
    EXPECT_FALSE(reader.contains("fold menu name"));
}

TEST_F(SettingsStoreTest, UnchangedFileIsNotParsedAgain) {
    SettingsStore writer(file());
    ASSERT_TRUE(writer.set("pref check1", true));
    SettingsStore reader(file());
    reader.snapshot();
    const auto parses = reader.parseCount();
    for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(reader.readBool("pref check1"));
    }
    EXPECT_EQ(reader.parseCount(), parses);
    ASSERT_TRUE(writer.set("pref check1", false));
    EXPECT_FALSE(reader.readBool("pref check1"));
    EXPECT_EQ(reader.parseCount(), parses + 1);
}

TEST_F(SettingsStoreTest, RapidWritesOfTheSameSizeAreAllSeen) {
    // Two writes within one clock tick can give files of equal size and modification time;
    // if the second also reused the first's inode number, a reader would miss it.
    SettingsStore writer(file());
    SettingsStore reader(file());
    for (std::int64_t i = 10; i < 400; ++i) {
        ASSERT_TRUE(writer.set("n", i));
        ASSERT_EQ(reader.readInteger("n"), i);
        ASSERT_TRUE(writer.set("n", i + 1000));
        ASSERT_TRUE(writer.set("n", i + 2000));
        ASSERT_EQ(reader.readInteger("n"), i + 2000);
    }
}

TEST_F(SettingsStoreTest, AnEditThatChangesNothingDoesNotRewriteTheFile) {
    SettingsStore store(file());
    ASSERT_TRUE(store.set("pref check2", true));
    struct stat before {};
    ASSERT_EQ(::stat(file().c_str(), &before), 0);
    ASSERT_TRUE(store.set("pref check2", true));
    ASSERT_TRUE(store.update([](Dict&) {}));
    struct stat after {};
    ASSERT_EQ(::stat(file().c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST_F(SettingsStoreTest, DamagedFileIsSetAsideOnceAndTheStoreStartsEmpty) {
    std::filesystem::create_directories(file().parent_path());
    { std::ofstream(file()) << "<?xml version=\"1.0\"?><plist><dict><key>half"; }
    age(file());
    SettingsStore store(file());
    testing::internal::CaptureStderr();
    EXPECT_TRUE(store.snapshot()->empty());
    EXPECT_TRUE(store.snapshot()->empty());
    const std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 1) << warnings;

    std::vector<std::string> names;
    for (const auto& name : filesBeside()) {
        if (name != "settings.plist.lock") {
            names.push_back(name);
        }
    }
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].rfind("settings.plist.damaged-", 0), 0u);
    EXPECT_EQ(test::readFile(file().parent_path() / names[0]),
              "<?xml version=\"1.0\"?><plist><dict><key>half");

    ASSERT_TRUE(store.set("pref check3", true));
    EXPECT_TRUE(SettingsStore(file()).readBool("pref check3"));
}

TEST_F(SettingsStoreTest, PropertyListThatIsNotADictionaryCountsAsDamaged) {
    std::filesystem::create_directories(file().parent_path());
    { std::ofstream(file()) << toXmlPlist(Value(Array{Value(1)})); }
    age(file());
    SettingsStore store(file());
    testing::internal::CaptureStderr();
    EXPECT_TRUE(store.snapshot()->empty());
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(SettingsStoreTest, AFileMidRewriteKeepsTheLastGoodContentsUntilItsWriterFinishes) {
    ASSERT_TRUE(SettingsStore(file()).set("fold menu name", "Tools"));
    SteppedClock clock;
    SettingsStore reader(file(), clock.clock());
    ASSERT_EQ(reader.readString("fold menu name"), "Tools");

    const InPlaceWriter writer{file()};
    writer.writeHalf();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(reader.readString("fold menu name"), "Tools");
    }
    EXPECT_EQ(clock.pauses, 0) << "a menu request with contents to show must not wait";
    EXPECT_FALSE(anythingSetAside());
    EXPECT_EQ(test::readFile(file()), writer.finished.substr(0, writer.finished.size() / 2));

    writer.finish();
    EXPECT_EQ(reader.readString("fold menu name"), "Scripts");
    EXPECT_EQ(reader.readInteger("n"), 2);
}

TEST_F(SettingsStoreTest, AFirstReadWaitsBrieflyForAWriterToFinish) {
    std::filesystem::create_directories(file().parent_path());
    const InPlaceWriter writer{file()};
    writer.writeHalf();
    SteppedClock clock;
    clock.duringPause = [&] { writer.finish(); };
    SettingsStore reader(file(), clock.clock());
    EXPECT_EQ(reader.readString("fold menu name"), "Scripts");
    EXPECT_FALSE(anythingSetAside());
}

TEST_F(SettingsStoreTest, AWriteNeverReplacesAFileAnotherProgramIsWriting) {
    std::filesystem::create_directories(file().parent_path());
    const InPlaceWriter writer{file()};
    writer.writeHalf();
    SteppedClock clock;
    SettingsStore store(file(), clock.clock());

    const WriteResult refused = store.set("pref check2", true);
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.error.find("another program"), std::string::npos) << refused.error;
    EXPECT_GT(clock.pauses, 0);
    EXPECT_EQ(test::readFile(file()), writer.finished.substr(0, writer.finished.size() / 2));
    EXPECT_FALSE(anythingSetAside());

    // Once the other program is done, the edit lands on top of its contents.
    clock.duringPause = [&] { writer.finish(); };
    writer.writeHalf();
    ASSERT_TRUE(store.set("pref check2", true));
    SettingsStore other(file());
    EXPECT_EQ(other.readString("fold menu name"), "Scripts");
    EXPECT_TRUE(other.readBool("pref check2"));
}

TEST_F(SettingsStoreTest, AFileThatStaysUnreadableIsSetAsideOnceItIsOld) {
    ASSERT_TRUE(SettingsStore(file()).set("fold menu name", "Tools"));
    SteppedClock clock;
    SettingsStore reader(file(), clock.clock());
    ASSERT_EQ(reader.readString("fold menu name"), "Tools");
    InPlaceWriter{file()}.writeHalf();

    testing::internal::CaptureStderr();
    EXPECT_EQ(reader.readString("fold menu name"), "Tools");
    EXPECT_FALSE(anythingSetAside());
    // Still broken long after its last change: damage, not a writer at work.
    clock.now += std::chrono::minutes(10);
    EXPECT_EQ(reader.readString("fold menu name"), "");
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(anythingSetAside());
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_EQ(clock.pauses, 0);
}

TEST_F(SettingsStoreTest, UnwritableLocationReportsAndWritesNothing) {
    const auto blocker = files().write("not-a-folder", "x");
    SettingsStore store(blocker / "config" / "settings.plist");
    const WriteResult result = store.set("pref check0", true);
    EXPECT_FALSE(result);
    EXPECT_FALSE(result.error.empty());
    EXPECT_EQ(test::readFile(blocker), "x");
}

TEST_F(SettingsStoreTest, LeftoverTemporaryFilesOfAKilledWriterAreRemoved) {
    std::filesystem::create_directories(file().parent_path());
    std::ofstream(file().string() + ".tmp-AbC123") << "partial";
    SettingsStore store(file());
    ASSERT_TRUE(store.set("pref check4", true));
    EXPECT_FALSE(std::filesystem::exists(file().string() + ".tmp-AbC123"));
}

TEST_F(SettingsStoreTest, TwoProcessesEditingOneListLoseNothing) {
    // Each process renames its own entry step by step ("A-0" -> "A-1" -> ...). A rename
    // finds its entry only if the previous one survived, so a single lost edit stops the
    // chain for good and the final keys show it.
    RCMenuManager& manager = RCMenuManager::sharedInstance();
    ASSERT_TRUE(manager.addMenuKey(kPathListKey, Dict{{"key", "A-0"}, {"path", "/a"}}, false));
    ASSERT_TRUE(manager.addMenuKey(kPathListKey, Dict{{"key", "B-0"}, {"path", "/b"}}, false));
    std::vector<pid_t> children;
    for (const std::string prefix : {"A-", "B-"}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (int i = 1; i <= kEditsPerProcess; ++i) {
                const Dict renamed{{"key", prefix + std::to_string(i)}};
                ok = manager.updateMenuKey(kPathListKey, prefix + std::to_string(i - 1), renamed)
                         .ok &&
                     ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::set<std::string> keys;
    for (const Value& v : manager.sharedDefaults().readArray(kPathListKey)) {
        keys.insert(dictString(*v.dict(), "key"));
    }
    const std::string last = std::to_string(kEditsPerProcess);
    EXPECT_EQ(keys, (std::set<std::string>{"A-" + last, "B-" + last}));
}

TEST_F(SettingsStoreTest, AWriterKilledMidWriteNeverLeavesAnUnreadableFile) {
    std::mt19937 random(12345);
    const std::string payload(200000, 'p');
    for (int round = 0; round < 25; ++round) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            SettingsStore store(file());
            for (std::int64_t i = 0;; ++i) {
                (void)store.update([&](Dict& d) {
                    d["blob"] = payload + std::to_string(i);
                    d["count"] = i;
                });
            }
        }
        // The moment of the kill is what varies; nothing waits on a condition here.
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (std::filesystem::exists(file())) {
            const auto parsed = parsePlist(test::readFile(file()));
            ASSERT_TRUE(parsed && parsed->dict()) << "round " << round;
            EXPECT_EQ(dictString(*parsed->dict(), "blob").substr(0, payload.size()), payload);
        }
    }
    SettingsStore fresh(file());
    ASSERT_TRUE(fresh.set("after", true));
    for (const auto& name : filesBeside()) {
        EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
    }
}

}  // namespace
}  // namespace tf
