// The headless user interface: prompts are answered from a script of JSON lines, and every
// prompt, clipboard write, launch, process run and progress step is written to a transcript
// as one JSON line. Used by `trackfolio-sync run`, scripted use and the tests; the format is
// documented in docs/headless.md.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/colour_picker.h"
#include "platform/pasteboard.h"
#include "platform/process_runner.h"
#include "platform/progress_window.h"
#include "platform/user_interface.h"
#include "platform/workspace.h"

namespace tf {

// Where transcript lines go: a file, a stream, or nowhere. Safe to use from any thread;
// each line is flushed as it is written, so a transcript survives a crash.
class Transcript {
  public:
    Transcript() = default;
    explicit Transcript(std::ostream* out) : out_(out) {}
    // False (with the reason) when the file cannot be created.
    bool openFile(const std::string& path, std::string& error);

    void write(const nlohmann::json& line);
    // Every line written so far (kept for tests and for the caller's summary).
    std::vector<nlohmann::json> lines() const;

  private:
    mutable std::mutex mutex_;
    std::ofstream file_;
    std::ostream* out_ = nullptr;
    std::vector<nlohmann::json> lines_;
};

// The answers, one JSON object per prompt, consumed in order.
class AnswerScript {
  public:
    AnswerScript() = default;
    explicit AnswerScript(std::vector<nlohmann::json> answers);
    AnswerScript(AnswerScript&& other) noexcept;
    AnswerScript& operator=(AnswerScript&& other) noexcept;
    // Blank lines are skipped; a line that is not a JSON object is an error naming its line.
    static std::optional<AnswerScript> load(const std::string& path, std::string& error);
    static std::optional<AnswerScript> parse(const std::string& text, std::string& error);

    // The next answer, or nothing when none is left (the prompt is then cancelled).
    std::optional<nlohmann::json> next();
    std::size_t remaining() const;

  private:
    mutable std::mutex mutex_;
    std::deque<nlohmann::json> answers_;
};

// Runs a task on the main queue after a delay. src/platform knows no queues, so the engine
// installs one that posts to its main queue.
using MainQueuePoster = std::function<void(std::function<void()>, std::chrono::milliseconds)>;

// Prompts, progress window, clipboard and colour picker without a display.
class HeadlessUi : public UserInterface,
                   public ProgressWindow,
                   public Pasteboard,
                   public ColourPicker {
  public:
    HeadlessUi(AnswerScript answers, Transcript& transcript);

    int runAlert(const AlertRequest& request) override;
    std::optional<std::string> chooseFolder(const FolderRequest& request) override;
    std::optional<SaveAnswer> runSavePanel(const SaveRequest& request) override;
    std::optional<std::string> askText(const TextRequest& request) override;

    void open() override;
    void setPercent(double percent) override;
    double percent() const override;
    void close() override;
    // Closes and completes through the poster after `successDelay` (one second by default);
    // without a poster, at once. The window must outlive what it posted.
    void showSuccess(const std::string& message, std::function<void()> complete) override;
    void setCancelHandler(std::function<void()> handler) override;
    void setSuccessDelay(std::chrono::milliseconds delay) { successDelay_ = delay; }
    void setMainQueuePoster(MainQueuePoster poster) { poster_ = std::move(poster); }
    bool isOpen() const { return open_; }
    // Does what the user's Cancel does: records it, closes the window and calls the cancel
    // handler (once).
    void pressCancel();
    // Answers not consumed yet.
    std::size_t answersLeft() const { return answers_.remaining(); }

    void clearContents() override;
    bool setString(const std::string& text) override;
    // What the clipboard would now hold.
    std::string pasteboardText() const;

    // Answered from the script like a prompt; `done` runs before this returns.
    void pickColour(ColourPickRequest request) override;

  private:
    AnswerScript answers_;
    Transcript& transcript_;
    double percent_ = 0.0;
    bool open_ = false;
    std::function<void()> cancelHandler_;
    std::chrono::milliseconds successDelay_{1000};
    MainQueuePoster poster_;
    mutable std::mutex pasteboardMutex_;
    std::string pasteboardText_;
};

// Records every request in the transcript, then hands it to the real workspace when there
// is one (without one, every request counts as done).
class RecordingWorkspace : public Workspace {
  public:
    RecordingWorkspace(Transcript& transcript, Workspace* inner = nullptr);

    bool launchApplication(std::string_view application,
                           const std::vector<std::string>& paths) override;
    // A question, not a request: asked of the real workspace, never recorded.
    std::vector<bool> hasApplications(const std::vector<std::string>& applications) override;
    bool openPath(const std::string& path) override;
    bool openUrl(const std::string& url) override;
    bool launchHostApplication(const std::vector<std::string>& paths) override;
    bool runService(std::string_view service, const std::vector<std::string>& paths) override;

  private:
    Transcript& transcript_;
    Workspace* inner_;
};

// Records every program run (argument vector, folder, exit status) around a real runner.
class RecordingProcessRunner : public ProcessRunner {
  public:
    RecordingProcessRunner(Transcript& transcript, ProcessRunner& inner);

    ProcessResult run(const ProcessRequest& request) override;
    bool spawnDetached(const ProcessRequest& request) override;

  private:
    Transcript& transcript_;
    ProcessRunner& inner_;
};

}  // namespace tf
