// Tests of the file info commands family: the digest alerts, the all-digests summary and the
// hash command line.
#include <algorithm>

#include "cli/sync_cli.h"
#include "commands/builtin_commands.h"
#include "commands/file_info/file_info_commands.h"
#include "platform/file_info_window.h"
#include "runtime/queues.h"
#include "support/engine_fixture.h"
#include "util/strings.h"

namespace tf::test {
namespace {

constexpr const char* kAbcMD5 = "900150983cd24fb0d6963f7d28e17f72";
constexpr const char* kAbcSHA1 = "a9993e364706816aba3e25717850c26c9cd0d89d";
constexpr const char* kAbcSHA256 =
    "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr const char* kAbcSHA512 =
    "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
    "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f";

class FileInfo : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        setMainList({{{"key", "File Info"}}});
    }

    // Chooses the child at this 0-based position of "File Info" for the file.
    void choose(const std::string& path, int child, std::vector<nlohmann::json> answers = {}) {
        session(std::move(answers));
        menuFor(MenuKind::Items, {path});
        ASSERT_TRUE(sync().activate(sync().menuId(), 101 + child));
        ASSERT_TRUE(session_->waitUntilIdle(std::chrono::seconds(30)));
    }
    // Runs the command directly, for selections the menu never offers it for.
    void invoke(const std::vector<std::string>& selection, std::int64_t tag, std::string key,
                std::vector<nlohmann::json> answers = {}) {
        session(std::move(answers));
        sync().setSelectedItemURLs(selection);
        CommandCall call;
        call.id = CommandId::FileInfo;
        call.item.key = std::move(key);
        call.item.tag = tag;
        (*sync().commands().find(CommandId::FileInfo))(sync(), call);
        ASSERT_TRUE(session_->waitUntilIdle(std::chrono::seconds(30)));
    }
    // Later checks look only at what is recorded from here on.
    void mark() { mark_ = transcript_.lines().size(); }
    std::vector<nlohmann::json> recorded(std::string_view type) const {
        const std::vector<nlohmann::json> lines = transcript_.lines();
        std::vector<nlohmann::json> found;
        for (std::size_t i = mark_; i < lines.size(); ++i) {
            if (lines[i].value("type", "") == type) {
                found.push_back(lines[i]);
            }
        }
        return found;
    }
    nlohmann::json onlyAlert() const {
        const std::vector<nlohmann::json> alerts = recorded("alert");
        EXPECT_EQ(alerts.size(), 1u);
        return alerts.empty() ? nlohmann::json::object() : alerts.front();
    }
    std::vector<std::string> copied() const {
        std::vector<std::string> texts;
        for (const nlohmann::json& line : recorded("pasteboard")) {
            texts.push_back(line["text"]);
        }
        return texts;
    }
    std::vector<std::string> progressSteps() const {
        std::vector<std::string> steps;
        for (const nlohmann::json& line : recorded("progress")) {
            steps.push_back(line["step"]);
        }
        return steps;
    }

    std::size_t mark_ = 0;
};

TEST_F(FileInfo, EachDigestChildShowsItsDigestAndCopiesIt) {
    const std::string abc = files().write("abc.txt", "abc").string();
    const std::pair<std::string, std::string> expected[] = {
        {"MD5", kAbcMD5}, {"SHA1", kAbcSHA1}, {"SHA256", kAbcSHA256}, {"SHA512", kAbcSHA512}};
    for (int child = 1; child <= 4; ++child) {
        mark();
        choose(abc, child, {{{"button", 1}}});
        const nlohmann::json alert = onlyAlert();
        const auto& [title, digest] = expected[child - 1];
        EXPECT_EQ(alert["message"], title);
        EXPECT_EQ(alert["informative"], digest);
        EXPECT_EQ(alert["buttons"],
                  nlohmann::json::array({localized("Copy"), localized("Cancel")}));
        EXPECT_EQ(alert["style"], "informational");
        EXPECT_EQ(copied(), std::vector<std::string>{digest});
        // Computed with the progress window up; it is closed before the alert.
        EXPECT_EQ(progressSteps(), (std::vector<std::string>{"open", "close"}));
    }
}

TEST_F(FileInfo, CancelCopiesNothingAndAnEmptyFileHasTheEmptyDigest) {
    choose(files().write("empty").string(), 1, {{{"button", 2}}});
    EXPECT_EQ(onlyAlert()["informative"], "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_TRUE(copied().empty());
}

TEST_F(FileInfo, CRC32ShowsDecimalAndHexadecimalAndCopiesEither) {
    const std::string abc = files().write("abc", "abc").string();
    choose(abc, 5, {{{"button", 1}}});
    nlohmann::json alert = onlyAlert();
    EXPECT_EQ(alert["message"], "CRC32");
    EXPECT_EQ(alert["informative"],
              localized("Decimal") + ": 891568578\n" + localized("Hexadecimal") + ": 352441c2");
    EXPECT_EQ(alert["buttons"], nlohmann::json::array({"Copy Decimal", "Copy Hexadecimal"}));
    EXPECT_EQ(copied(), std::vector<std::string>{"891568578"});

    mark();
    choose(abc, 5, {{{"button", 2}}});
    EXPECT_EQ(copied(), std::vector<std::string>{"352441c2"});

    mark();
    choose(files().write("empty").string(), 5, {{{"button", 2}}});
    EXPECT_EQ(onlyAlert()["informative"],
              localized("Decimal") + ": 0\n" + localized("Hexadecimal") + ": 0");
    EXPECT_EQ(copied(), std::vector<std::string>{"0"});
}

TEST_F(FileInfo, OnlyTheFirstSelectedFileIsHashed) {
    const std::string first = files().write("first", "abc").string();
    const std::string second = files().write("second", "something else").string();
    invoke({first, second}, 2, "SHA1");
    EXPECT_EQ(onlyAlert()["informative"], kAbcSHA1);
}

TEST_F(FileInfo, AFolderGetsNoAlertAndNoProgress) {
    const std::string folder = files().mkdir("folder").string();
    const std::string link = (files().path() / "link").string();
    std::filesystem::create_directory_symlink(folder, link);
    for (const std::string& path : {folder, link}) {
        for (std::int64_t tag = 0; tag <= 5; ++tag) {
            invoke({path}, tag, "MD5");
        }
    }
    EXPECT_TRUE(transcript_.lines().empty());
}

TEST_F(FileInfo, AnUnreadableFileShowsTheErrorTipAndCopiesNothing) {
    const std::string missing = (files().path() / "gone.txt").string();
    invoke({missing}, 4, "SHA512", {{{"button", 1}}});
    nlohmann::json alert = onlyAlert();
    EXPECT_EQ(alert["message"], "SHA512");
    EXPECT_EQ(alert["informative"], localized("Error Common Tip"));
    EXPECT_TRUE(copied().empty());

    mark();
    invoke({missing}, 5, "CRC32", {{{"button", 2}}});
    EXPECT_EQ(onlyAlert()["informative"],
              localized("Decimal") + ": 0\n" + localized("Hexadecimal") + ": 0");
    EXPECT_EQ(copied(), std::vector<std::string>{"0"});
}

TEST_F(FileInfo, AllInfoShowsTheFiveDigestsAndCopiesThem) {
    choose(files().write("abc", "abc").string(), 0, {{{"button", 1}}});
    const std::string summary = std::string("MD5: ") + kAbcMD5 + "\nSHA1: " + kAbcSHA1 +
                                "\nSHA256: " + kAbcSHA256 + "\nSHA512: " + kAbcSHA512 +
                                "\nCRC32: 891568578 (352441c2)";
    const nlohmann::json alert = onlyAlert();
    EXPECT_EQ(alert["message"], localized("File Info"));
    EXPECT_EQ(alert["informative"], summary);
    EXPECT_EQ(alert["buttons"], nlohmann::json::array({localized("Copy"), localized("Cancel")}));
    EXPECT_EQ(copied(), std::vector<std::string>{summary});
    EXPECT_EQ(progressSteps(), (std::vector<std::string>{"open", "close"}));

    // Any position outside the digests opens the same.
    mark();
    invoke({files().write("other", "abc").string()}, 9, "Whatever");
    EXPECT_EQ(onlyAlert()["informative"], summary);
}

// Where there is a window, "All Info" only opens it: no alert, no progress, no busy work.
TEST_F(FileInfo, AllInfoOpensTheWindowWhereThereIsOne) {
    struct Opened : FileInfoWindows {
        std::vector<std::string> paths;
        void open(const std::string& path) override { paths.push_back(path); }
    } windows;
    session();
    Ports ports = sync().ports();
    ports.fileInfo = &windows;
    FinderSync windowed(ports);
    registerBuiltinCommands(windowed.commands());
    const std::string first = files().write("first", "abc").string();
    const std::string folder = files().mkdir("folder").string();

    const auto click = [&](const std::string& path, std::int64_t tag) {
        windowed.setSelectedItemURLs({path});
        windowed.setTargetURL(files().path().string());
        windowed.menuForMenuKind(MenuKind::Items);
        ASSERT_TRUE(windowed.activate(windowed.menuId(), tag));
        RunLoop& loop = defaultRunLoop();
        ASSERT_TRUE(loop.runUntil([&] { return windowed.isIdle() && loop.pendingCount() == 0; },
                                  std::chrono::seconds(30)));
    };
    mark();
    click(first, 101);
    // A digest child still answers in an alert.
    click(first, 102);
    // A folder gets nothing.
    windowed.setSelectedItemURLs({folder});
    windowed.menuForMenuKind(MenuKind::Items);
    CommandCall call;
    call.id = CommandId::FileInfo;
    call.item.key = "All Info";
    (*windowed.commands().find(CommandId::FileInfo))(windowed, call);

    EXPECT_EQ(windows.paths, std::vector<std::string>{first});
    ASSERT_EQ(recorded("alert").size(), 1u);
    EXPECT_EQ(recorded("alert")[0]["message"], "MD5");
}

TEST_F(FileInfo, AllInfoOfAnUnreadableFileSaysSo) {
    const FileInfoTexts texts = fileInfoTexts((files().path() / "gone").string());
    EXPECT_FALSE(texts.readable);
    EXPECT_EQ(texts.md5 + texts.sha1 + texts.sha256 + texts.sha512, "");
    EXPECT_EQ(texts.crc32Decimal, "0");
    EXPECT_EQ(texts.crc32Hexadecimal, "0");

    invoke({(files().path() / "gone").string()}, 0, "All Info");
    const std::string informative = onlyAlert()["informative"];
    EXPECT_EQ(informative.rfind("MD5: \nSHA1: \n", 0), 0u) << informative;
    EXPECT_NE(informative.find(localized("Error Common Tip")), std::string::npos);
}

TEST_F(FileInfo, RunFromTheCommandLine) {
    const std::string abc = files().write("abc", "abc").string();
    const std::filesystem::path answers = files().write("answers.jsonl", "{\"button\": 2}\n");
    const std::filesystem::path transcript = files().path() / "transcript.jsonl";
    const CliResult r =
        runCli(&runSyncCommand, {"run", "--tag", "106", "--answers", answers.string(),
                                 "--transcript", transcript.string(), abc});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string lines = readFile(transcript);
    EXPECT_NE(lines.find("\"message\":\"CRC32\""), std::string::npos) << lines;
    EXPECT_NE(lines.find("{\"text\":\"352441c2\",\"type\":\"pasteboard\"}"), std::string::npos)
        << lines;
}

class HashCli : public SandboxTest {
  protected:
    static CliResult run(std::vector<std::string> args) {
        args.insert(args.begin(), "hash");
        return runCli(&runSyncCommand, args);
    }
};

TEST_F(HashCli, PrintsTheRequestedDigestsInAFixedOrder) {
    const std::string abc = files().write("abc", "abc").string();
    CliResult r = run({"--crc32", "--md5", abc});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string("MD5  ") + kAbcMD5 + "\nCRC32  891568578 352441c2\n");
    EXPECT_EQ(r.err, "");

    const std::string all = std::string("MD5  ") + kAbcMD5 + "\nSHA1  " + kAbcSHA1 + "\nSHA256  " +
                            kAbcSHA256 + "\nSHA512  " + kAbcSHA512 +
                            "\nCRC32  891568578 352441c2\n";
    EXPECT_EQ(run({"--all", abc}).out, all);
    EXPECT_EQ(run({abc}).out, all);
    EXPECT_EQ(run({"--sha512", "--", abc}).out, std::string("SHA512  ") + kAbcSHA512 + "\n");

    r = run({"--crc32", files().write("empty").string()});
    EXPECT_EQ(r.out, "CRC32  0 0\n");
}

TEST_F(HashCli, BadUsageAndUnreadableFilesFailOnOneLine) {
    const std::string abc = files().write("abc", "abc").string();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"--md5"}, {"--md4", abc}, {abc, abc}}) {
        const CliResult r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    for (const std::string& path :
         {(files().path() / "missing\nfile").string(), files().mkdir("folder").string()}) {
        const CliResult r = run({"--sha1", path});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find("cannot read"), std::string::npos) << r.err;
    }
}

TEST_F(FileInfo, FileNamesAreNeverRunAsCommands) {
    for (const std::string name :
         {"a\"; touch pwned; \".txt", "$(touch pwned).txt", "`touch pwned`"}) {
        const std::string path = files().write(name, "abc").string();
        mark();
        choose(path, 3, {{{"button", 1}}});
        EXPECT_EQ(onlyAlert()["informative"], kAbcSHA256);
        const CliResult r = runCli(&runSyncCommand, {"hash", "--md5", path});
        EXPECT_EQ(r.out, std::string("MD5  ") + kAbcMD5 + "\n");
    }
    for (const std::filesystem::path& root : {files().path(), home()}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            EXPECT_NE(entry.path().filename(), "pwned") << entry.path();
        }
    }
    EXPECT_FALSE(std::filesystem::exists("pwned"));
}

}  // namespace
}  // namespace tf::test
