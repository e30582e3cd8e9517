#include "platform/headless.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/sandbox.h"
#include "util/strings.h"

namespace tf {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

AnswerScript script(const std::string& text) {
    std::string error;
    auto answers = AnswerScript::parse(text, error);
    EXPECT_TRUE(answers.has_value()) << error;
    return answers ? std::move(*answers) : AnswerScript();
}

// A HeadlessUi over an answer script, with its transcript.
class HeadlessTest : public test::SandboxTest {
  protected:
    HeadlessUi& ui(const std::string& answers) {
        ui_ = std::make_unique<HeadlessUi>(script(answers), transcript_);
        return *ui_;
    }
    json last() const {
        const auto lines = transcript_.lines();
        return lines.empty() ? json() : lines.back();
    }

    Transcript transcript_;
    std::unique_ptr<HeadlessUi> ui_;
};

AlertRequest alert(std::vector<std::string> buttons) {
    AlertRequest request;
    request.message = "Replace?";
    request.informative = "A file with this name exists.";
    request.buttons = std::move(buttons);
    return request;
}

// --- answer scripts ---

TEST(AnswerScript, SkipsBlankLinesAndKeepsOrder) {
    auto answers = script("\n{\"button\":1}\n   \r\n{\"text\":\"a\"}\r\n\n");
    EXPECT_EQ(answers.remaining(), 2U);
    EXPECT_EQ(answers.next(), json({{"button", 1}}));
    EXPECT_EQ(answers.next(), json({{"text", "a"}}));
    EXPECT_FALSE(answers.next().has_value());
}

TEST(AnswerScript, NamesTheLineThatIsNotAnObject) {
    std::string error;
    EXPECT_FALSE(AnswerScript::parse("{\"button\":1}\n\n[1,2]\n", error));
    EXPECT_EQ(error, "answers line 3: expected a JSON object, got array");
    EXPECT_FALSE(AnswerScript::parse("{\"button\":1}\n{\"button\":\n", error));
    EXPECT_EQ(error.rfind("answers line 2: ", 0), 0U) << error;
    EXPECT_FALSE(AnswerScript::parse("{\"button\":1e400}", error));
    EXPECT_EQ(error.rfind("answers line 1: ", 0), 0U) << error;
    EXPECT_EQ(error.find("json.exception"), std::string::npos) << error;
    EXPECT_FALSE(AnswerScript::parse("\"text\"", error));
    EXPECT_EQ(error, "answers line 1: expected a JSON object, got string");
}

TEST(AnswerScript, LoadsAFileAndReportsOneItCannotRead) {
    test::TempDir dir;
    std::string error;
    const auto loaded =
        AnswerScript::load(dir.write("a.jsonl", "{\"cancel\":true}\n").string(), error);
    ASSERT_TRUE(loaded.has_value()) << error;
    EXPECT_EQ(loaded->remaining(), 1U);

    EXPECT_FALSE(AnswerScript::load((dir.path() / "missing.jsonl").string(), error));
    EXPECT_NE(error.find("missing.jsonl"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(AnswerScript::load(dir.path().string(), error));
    EXPECT_FALSE(error.empty());
}

// --- prompts ---

TEST_F(HeadlessTest, EveryPromptTakesTheNextAnswerWhateverItsKind) {
    auto& headless =
        ui("{\"button\":\"Keep Both\"}\n"
           "{\"folder\":\"/data/in\"}\n"
           "{\"save\":\"/data/out.zip\"}\n"
           "{\"text\":\"new name\"}\n"
           "{\"folder\":\"/meant/for/an/alert\"}\n"
           "{\"text\":\"after the mismatch\"}\n");
    EXPECT_EQ(headless.runAlert(alert({"Replace", "Keep Both", "Cancel"})), 1);
    EXPECT_EQ(headless.chooseFolder({"Choose", "Where?", "/start"}), "/data/in");
    const auto saved = headless.runSavePanel({});
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->path, "/data/out.zip");
    EXPECT_EQ(headless.askText({"Name?", "", "old"}), "new name");
    // A mismatched answer is used up, so the prompts after it stay in step.
    EXPECT_EQ(headless.runAlert(alert({"OK"})), -1);
    EXPECT_EQ(headless.askText({"Again?", "", ""}), "after the mismatch");
    EXPECT_EQ(headless.answersLeft(), 0U);
    // Nothing left: cancelled, without an error.
    EXPECT_EQ(headless.runAlert(alert({"OK"})), -1);
    EXPECT_EQ(last()["answer"], nullptr);
    EXPECT_FALSE(last().contains("error"));

    const auto lines = transcript_.lines();
    ASSERT_EQ(lines.size(), 7U);
    EXPECT_EQ(lines[0], json({{"type", "alert"},
                              {"message", "Replace?"},
                              {"informative", "A file with this name exists."},
                              {"buttons", {"Replace", "Keep Both", "Cancel"}},
                              {"style", "warning"},
                              {"answer", "Keep Both"}}));
    EXPECT_EQ(lines[1], json({{"type", "choose-folder"},
                              {"prompt", "Choose"},
                              {"message", "Where?"},
                              {"start", "/start"},
                              {"answer", "/data/in"}}));
    EXPECT_EQ(lines[2]["answer"], json({{"path", "/data/out.zip"}}));
    EXPECT_EQ(lines[3], json({{"type", "text"},
                              {"message", "Name?"},
                              {"informative", ""},
                              {"default", "old"},
                              {"answer", "new name"}}));
    EXPECT_EQ(lines[4]["answer"], nullptr);
    EXPECT_TRUE(lines[4]["error"].is_string());
}

TEST_F(HeadlessTest, ChoosesButtonsByTitleOrByNumberFromOne) {
    auto& headless =
        ui("{\"button\":1}\n{\"button\":3}\n{\"button\":\"Replace\"}\n{\"cancel\":true}\n"
           "{\"cancel\":false,\"button\":2}\n");
    const auto request = alert({"Replace", "Keep Both", "Stop"});
    EXPECT_EQ(headless.runAlert(request), 0);
    EXPECT_EQ(headless.runAlert(request), 2);
    EXPECT_EQ(last()["answer"], "Stop");
    EXPECT_EQ(headless.runAlert(request), 0);
    EXPECT_EQ(headless.runAlert(request), -1);
    EXPECT_EQ(last()["answer"], nullptr);
    EXPECT_FALSE(last().contains("error"));
    EXPECT_EQ(headless.runAlert(request), 1);
}

TEST_F(HeadlessTest, AnswersThatDoNotFitCancelAndSayWhy) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{\"button\":0}", "out of range 1-2"},
        {"{\"button\":3}", "out of range 1-2"},
        {"{\"button\":-1}", "out of range 1-2"},
        {"{\"button\":18446744073709551615}", "out of range 1-2"},
        {"{\"button\":1.5}", "must be a title or a number"},
        {"{\"button\":\"keep both\"}", "no button titled \"keep both\""},
        {"{\"button\":true}", "must be a title or a number"},
        {"{\"text\":\"Keep Both\"}", "expected {\"button\""},
        {"{\"cancel\":\"yes\"}", "\"cancel\" must be true or false"},
    };
    for (const auto& [answer, reason] : cases) {
        auto& headless = ui(answer);
        EXPECT_EQ(headless.runAlert(alert({"Replace", "Keep Both"})), -1) << answer;
        EXPECT_EQ(last()["answer"], nullptr) << answer;
        const std::string error = last().value("error", "");
        EXPECT_NE(error.find(reason), std::string::npos) << answer << " gave: " << error;
    }
}

TEST_F(HeadlessTest, AlertWithoutButtonsShowsOneOkAndItsStyle) {
    auto& headless = ui("{\"button\":1}\n{\"button\":2}\n");
    AlertRequest request = alert({});
    request.style = AlertStyle::Critical;
    EXPECT_EQ(headless.runAlert(request), 0);
    EXPECT_EQ(last()["buttons"], json({localized("OK")}));
    EXPECT_EQ(last()["style"], "critical");
    request.style = AlertStyle::Informational;
    EXPECT_EQ(headless.runAlert(request), -1);
    EXPECT_EQ(last()["style"], "informational");
}

TEST_F(HeadlessTest, FolderAndTextAnswersMustHaveTheirForm) {
    auto& headless =
        ui("{\"folder\":\"relative/dir\"}\n{\"folder\":7}\n{\"cancel\":true}\n"
           "{\"text\":42}\n{\"text\":\"\"}\n");
    EXPECT_FALSE(headless.chooseFolder({}).has_value());
    EXPECT_NE(last().value("error", "").find("absolute"), std::string::npos);
    EXPECT_FALSE(headless.chooseFolder({}).has_value());
    EXPECT_TRUE(last().contains("error"));
    EXPECT_FALSE(headless.chooseFolder({}).has_value());
    EXPECT_FALSE(last().contains("error"));
    EXPECT_FALSE(headless.askText({}).has_value());
    EXPECT_TRUE(last().contains("error"));
    // An empty answer is still an answer.
    EXPECT_EQ(headless.askText({}), "");
}

// --- save panel ---

SaveRequest zipRequest() {
    SaveRequest request;
    request.title = "Compress";
    request.message = "Save the archive";
    request.name = "Archive.zip";
    request.folder = "/data";
    request.allowedTypes = {"zip"};
    request.passwordLabel = "Password";
    request.checkBoxTitle = "Delete originals";
    request.checkBoxState = true;
    request.typeList = {"zip", "tar.gz", "7z"};
    request.selectedType = 1;
    return request;
}

TEST_F(HeadlessTest, SavePanelKeepsThePasswordOutOfTheTranscript) {
    std::ostringstream stream;
    Transcript streamed(&stream);
    HeadlessUi headless(
        script("{\"save\":\"/data/a.zip\",\"password\":\"s3cret-pw\",\"check\":false,"
               "\"type\":\"7z\"}\n"),
        streamed);
    const auto answer = headless.runSavePanel(zipRequest());
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->password, "s3cret-pw");
    EXPECT_FALSE(answer->checked);
    EXPECT_EQ(answer->typeIndex, 2);
    EXPECT_EQ(stream.str().find("s3cret-pw"), std::string::npos) << stream.str();
    EXPECT_EQ(streamed.lines().back(), json({{"type", "save"},
                                             {"title", "Compress"},
                                             {"message", "Save the archive"},
                                             {"name", "Archive.zip"},
                                             {"folder", "/data"},
                                             {"allowedTypes", {"zip"}},
                                             {"password", true},
                                             {"checkBox", "Delete originals"},
                                             {"typeList", {"zip", "tar.gz", "7z"}},
                                             {"answer",
                                              {{"path", "/data/a.zip"},
                                               {"password", "***"},
                                               {"checked", false},
                                               {"type", "7z"}}}}));
}

TEST_F(HeadlessTest, SavePanelDefaultsComeFromTheRequest) {
    auto& headless =
        ui("{\"save\":\"/data/a.tgz\"}\n{\"save\":\"/data/b\",\"type\":0}\n"
           "{\"save\":\"/data/c\"}\n");
    auto answer = headless.runSavePanel(zipRequest());
    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(answer->checked);
    EXPECT_EQ(answer->typeIndex, 1);
    EXPECT_EQ(answer->password, "");
    EXPECT_FALSE(last()["answer"].contains("password"));

    answer = headless.runSavePanel(zipRequest());
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->typeIndex, 0);

    // Without a list or check box there is no type and nothing checked.
    answer = headless.runSavePanel({});
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->typeIndex, -1);
    EXPECT_FALSE(answer->checked);
    EXPECT_EQ(last()["password"], false);
    EXPECT_EQ(last()["checkBox"], nullptr);
    EXPECT_EQ(last()["answer"], json({{"path", "/data/c"}}));
}

TEST_F(HeadlessTest, SavePanelAnswersThatDoNotFitCancel) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{\"save\":\"out.zip\"}", "absolute"},
        {"{\"save\":\"/a\",\"type\":3}", "\"type\""},
        {"{\"save\":\"/a\",\"type\":-1}", "\"type\""},
        {"{\"save\":\"/a\",\"type\":\"rar\"}", "no type \"rar\""},
        {"{\"save\":\"/a\",\"check\":\"yes\"}", "\"check\""},
        {"{\"save\":\"/a\",\"password\":5}", "\"password\""},
        {"{\"button\":1}", "expected {\"save\""},
    };
    for (const auto& [answer, reason] : cases) {
        auto& headless = ui(answer);
        EXPECT_FALSE(headless.runSavePanel(zipRequest()).has_value()) << answer;
        EXPECT_EQ(last()["answer"], nullptr);
        const std::string error = last().value("error", "");
        EXPECT_NE(error.find(reason), std::string::npos) << answer << " gave: " << error;
    }
    // Fields the panel does not show.
    for (const std::string answer :
         {"{\"save\":\"/a\",\"password\":\"pw\"}", "{\"save\":\"/a\",\"check\":true}",
          "{\"save\":\"/a\",\"type\":0}"}) {
        auto& headless = ui(answer);
        EXPECT_FALSE(headless.runSavePanel({}).has_value()) << answer;
        EXPECT_TRUE(last().contains("error")) << answer;
        EXPECT_EQ(transcript_.lines().back().dump().find("\"pw\""), std::string::npos);
    }
}

// --- progress window ---

TEST_F(HeadlessTest, PercentIsRecordedWithOneDecimal) {
    auto& headless = ui("");
    headless.open();
    EXPECT_TRUE(headless.isOpen());
    EXPECT_EQ(last(), json({{"type", "progress"}, {"step", "open"}}));
    const std::vector<std::pair<double, std::string>> cases = {
        {0.5, "50.0%"},      {0.0333, "3.3%"}, {0.0, "0.0%"},  {1.0, "100.0%"},
        {0.99996, "100.0%"}, {1.7, "100.0%"},  {-0.2, "0.0%"},
    };
    for (const auto& [value, text] : cases) {
        headless.setPercent(value);
        EXPECT_EQ(last()["text"], text) << value;
    }
    headless.setPercent(0.25);
    EXPECT_EQ(
        last(),
        json({{"type", "progress"}, {"step", "percent"}, {"percent", 0.25}, {"text", "25.0%"}}));
    EXPECT_DOUBLE_EQ(headless.percent(), 0.25);
    headless.close();
    headless.close();
    EXPECT_FALSE(headless.isOpen());
    EXPECT_EQ(transcript_.lines().size(), cases.size() + 4);
    EXPECT_EQ(last(), json({{"type", "progress"}, {"step", "close"}}));
}

TEST_F(HeadlessTest, SuccessClosesAndCompletesThroughThePoster) {
    auto& headless = ui("");
    std::vector<std::pair<std::function<void()>, std::chrono::milliseconds>> posted;
    headless.setMainQueuePoster([&](std::function<void()> task, std::chrono::milliseconds delay) {
        posted.emplace_back(std::move(task), delay);
    });
    headless.setSuccessDelay(250ms);
    int completed = 0;
    headless.showSuccess("Done", [&] { ++completed; });
    EXPECT_TRUE(headless.isOpen());
    EXPECT_EQ(last(), json({{"type", "progress"}, {"step", "success"}, {"message", "Done"}}));
    ASSERT_EQ(posted.size(), 1U);
    EXPECT_EQ(posted[0].second, 250ms);
    EXPECT_EQ(completed, 0);

    posted[0].first();
    EXPECT_EQ(completed, 1);
    EXPECT_FALSE(headless.isOpen());
    EXPECT_EQ(last(), json({{"type", "progress"}, {"step", "close"}}));
}

TEST_F(HeadlessTest, SuccessWithoutAPosterCompletesAtOnce) {
    auto& headless = ui("");
    bool completed = false;
    headless.showSuccess("Done", [&] {
        // The window is already closed when the completion runs.
        EXPECT_EQ(last()["step"], "close");
        completed = true;
    });
    EXPECT_TRUE(completed);
    EXPECT_FALSE(headless.isOpen());
    headless.showSuccess("No completion", nullptr);
    EXPECT_EQ(last()["step"], "close");
}

TEST_F(HeadlessTest, CancelCallsTheHandlerOnceAndCloses) {
    auto& headless = ui("");
    int cancelled = 0;
    headless.setCancelHandler([&] { ++cancelled; });
    headless.open();
    headless.setPercent(0.1);
    headless.pressCancel();
    headless.pressCancel();
    EXPECT_EQ(cancelled, 1);
    EXPECT_FALSE(headless.isOpen());
    EXPECT_EQ(last()["step"], "close");
}

// --- clipboard ---

TEST_F(HeadlessTest, ClipboardRecordsWhatWasSetAndClearsSilently) {
    auto& headless = ui("");
    EXPECT_TRUE(copyToPasteboard(headless, "  /data/a file.txt\n"));
    EXPECT_EQ(headless.pasteboardText(), "/data/a file.txt");
    ASSERT_EQ(transcript_.lines().size(), 1U);
    EXPECT_EQ(last(), json({{"type", "pasteboard"}, {"text", "/data/a file.txt"}}));
    headless.clearContents();
    EXPECT_EQ(headless.pasteboardText(), "");
    EXPECT_EQ(transcript_.lines().size(), 1U);
}

// --- transcript ---

TEST(Transcript, WritesOneFlushedLinePerEntryToFileAndStream) {
    test::TempDir dir;
    std::ostringstream stream;
    Transcript transcript(&stream);
    std::string error;
    const auto file = dir.path() / "transcript.jsonl";
    ASSERT_TRUE(transcript.openFile(file.string(), error)) << error;
    transcript.write({{"type", "open"}, {"path", "/a\nb"}});
    // Invalid UTF-8 in a file name must not lose the line.
    transcript.write({{"type", "open"}, {"path", std::string("/bad\xff name")}});
    const std::string expected =
        "{\"path\":\"/a\\nb\",\"type\":\"open\"}\n"
        "{\"path\":\"/bad\xEF\xBF\xBD name\",\"type\":\"open\"}\n";
    EXPECT_EQ(test::readFile(file), expected);
    EXPECT_EQ(stream.str(), expected);
    EXPECT_EQ(transcript.lines().size(), 2U);

    Transcript other;
    EXPECT_FALSE(other.openFile((dir.path() / "no" / "such" / "t.jsonl").string(), error));
    EXPECT_NE(error.find("t.jsonl"), std::string::npos) << error;
}

TEST(Transcript, LinesFromManyThreadsStayWhole) {
    std::ostringstream stream;
    Transcript transcript(&stream);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&transcript, t] {
            for (int i = 0; i < 200; ++i) {
                transcript.write({{"thread", t}, {"i", i}, {"pad", std::string(100, 'x')}});
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::istringstream in(stream.str());
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        EXPECT_TRUE(json::accept(line)) << line;
        ++count;
    }
    EXPECT_EQ(count, 800);
    EXPECT_EQ(transcript.lines().size(), 800U);
}

// --- recording adapters ---

class FakeWorkspace : public Workspace {
  public:
    bool launchApplication(std::string_view application,
                           const std::vector<std::string>& paths) override {
        calls.push_back("launch " + std::string(application) + " " + std::to_string(paths.size()));
        return answer;
    }
    bool openPath(const std::string& path) override {
        calls.push_back("open " + path);
        return answer;
    }
    bool openUrl(const std::string& url) override {
        calls.push_back("url " + url);
        return answer;
    }
    bool launchHostApplication(const std::vector<std::string>& paths) override {
        calls.push_back("host " + std::to_string(paths.size()));
        return answer;
    }
    bool runService(std::string_view service, const std::vector<std::string>& paths) override {
        calls.push_back("service " + std::string(service) + " " + std::to_string(paths.size()));
        return answer;
    }
    std::vector<std::string> calls;
    bool answer = false;
};

TEST(RecordingWorkspace, RecordsEveryRequestAndForwardsIt) {
    Transcript transcript;
    FakeWorkspace inner;
    RecordingWorkspace recording(transcript, &inner);
    const std::vector<std::string> paths = {"/a", "/b c"};
    EXPECT_FALSE(recording.launchApplication("org.example.Editor.desktop", paths));
    EXPECT_FALSE(recording.openPath("/a"));
    EXPECT_FALSE(recording.openUrl("https://example.org/"));
    EXPECT_FALSE(recording.launchHostApplication(paths));
    EXPECT_FALSE(recording.runService("New Terminal at Folder", paths));
    EXPECT_EQ(inner.calls,
              (std::vector<std::string>{"launch org.example.Editor.desktop 2", "open /a",
                                        "url https://example.org/", "host 2",
                                        "service New Terminal at Folder 2"}));
    const auto lines = transcript.lines();
    ASSERT_EQ(lines.size(), 5U);
    EXPECT_EQ(lines[0], json({{"type", "launch"},
                              {"application", "org.example.Editor.desktop"},
                              {"paths", paths},
                              {"ok", false}}));
    EXPECT_EQ(lines[1], json({{"type", "open"}, {"path", "/a"}, {"ok", false}}));
    EXPECT_EQ(lines[2],
              json({{"type", "open-url"}, {"url", "https://example.org/"}, {"ok", false}}));
    EXPECT_EQ(lines[3], json({{"type", "launch-host"}, {"paths", paths}, {"ok", false}}));
    EXPECT_EQ(lines[4], json({{"type", "service"},
                              {"service", "New Terminal at Folder"},
                              {"paths", paths},
                              {"ok", false}}));
}

TEST(RecordingWorkspace, WithoutARealWorkspaceEverythingSucceeds) {
    Transcript transcript;
    RecordingWorkspace recording(transcript);
    EXPECT_TRUE(recording.openPath("/a"));
    EXPECT_TRUE(recording.launchHostApplication({}));
    EXPECT_EQ(transcript.lines().back(),
              json({{"type", "launch-host"}, {"paths", json::array()}, {"ok", true}}));
}

class FakeRunner : public ProcessRunner {
  public:
    ProcessResult run(const ProcessRequest& request) override {
        requests.push_back(request);
        return result;
    }
    bool spawnDetached(const ProcessRequest& request) override {
        requests.push_back(request);
        return result.started;
    }
    std::vector<ProcessRequest> requests;
    ProcessResult result;
};

TEST(RecordingProcessRunner, RecordsArgumentsAndOutcomeButNotInputOrEnvironment) {
    Transcript transcript;
    FakeRunner inner;
    inner.result.started = true;
    inner.result.exitCode = 3;
    inner.result.out = "printed";
    RecordingProcessRunner recording(transcript, inner);
    const ProcessRequest request{
        {"/usr/bin/tool", "--flag", "/a b"}, "/work dir", "secret input", {{"TOKEN", "hidden"}}};
    const auto result = recording.run(request);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, "printed");
    ASSERT_EQ(inner.requests.size(), 1U);
    EXPECT_EQ(inner.requests[0].input, "secret input");
    EXPECT_EQ(transcript.lines().back(), json({{"type", "process"},
                                               {"argv", {"/usr/bin/tool", "--flag", "/a b"}},
                                               {"cwd", "/work dir"},
                                               {"exit", 3},
                                               {"signal", 0},
                                               {"started", true}}));
    EXPECT_TRUE(recording.spawnDetached({{"viewer"}, {}, {}, {}}));
    EXPECT_EQ(transcript.lines().back(),
              json({{"type", "spawn"}, {"argv", {"viewer"}}, {"cwd", nullptr}, {"ok", true}}));

    inner.result = ProcessResult{};
    inner.result.error = "program not found: viewer";
    recording.run({{"viewer"}, {}, {}, {}});
    EXPECT_EQ(transcript.lines().back()["started"], false);
    EXPECT_EQ(transcript.lines().back()["error"], "program not found: viewer");
    for (const auto& line : transcript.lines()) {
        const std::string text = line.dump();
        EXPECT_EQ(text.find("secret input"), std::string::npos);
        EXPECT_EQ(text.find("hidden"), std::string::npos);
    }
}

}  // namespace
}  // namespace tf
