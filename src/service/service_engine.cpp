#include "service/service_engine.h"

#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>

#include "cli/headless_session.h"
#include "commands/builtin_commands.h"
#include "platform/clock.h"
#include "platform/desktop_workspace.h"
#include "platform/headless.h"
#include "platform/process_runner.h"

#include "platform/qt/colour_picker.h"
#include "platform/qt/info_window.h"
#include "platform/qt/qt_pasteboard.h"
#include "platform/qt/qt_progress_window.h"
#include "platform/qt/qt_user_interface.h"

namespace tf {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool headlessRequested() {
    return environment("TRACKFOLIO_HEADLESS") == "1";
}

class HeadlessEngine : public ServiceEngine {
  public:
    // The transcript must exist before the session that writes to it.
    explicit HeadlessEngine(std::ostream* out) : transcript_(out) {}

    bool start(const std::string& transcriptPath, AnswerScript answers, bool realDesktop,
               std::string& error) {
        if (!transcriptPath.empty() && !transcript_.openFile(transcriptPath, error)) {
            return false;
        }
        session_ = std::make_unique<HeadlessSession>(std::move(answers), transcript_, realDesktop);
        return true;
    }
    FinderSync& sync() override { return session_->sync(); }

  private:
    Transcript transcript_;
    std::unique_ptr<HeadlessSession> session_;
};

class WindowedEngine : public ServiceEngine {
  public:
    WindowedEngine() : desktop_(runner_), fileInfo_(pasteboard_) {
        Ports ports;
        ports.ui = &ui_;
        ports.progress = &progress_;
        ports.pasteboard = &pasteboard_;
        ports.workspace = &desktop_;
        ports.processes = &runner_;
        ports.clock = &clock_;
        ports.colourPicker = &colourPicker_;
        ports.fileInfo = &fileInfo_;
        sync_ = std::make_unique<FinderSync>(ports);
        registerBuiltinCommands(sync_->commands());
    }
    FinderSync& sync() override { return *sync_; }

  private:
    QtUserInterface ui_;
    QtColourPicker colourPicker_;
    QtProgressWindow progress_;
    QtPasteboard pasteboard_;
    PosixProcessRunner runner_;
    DesktopWorkspace desktop_;
    SystemClock clock_;
    QtFileInfoWindows fileInfo_;
    std::unique_ptr<FinderSync> sync_;
};

}  // namespace

bool serviceRunsHeadless() {
    const bool hasDisplay = !environment("DISPLAY").empty() ||
                            !environment("WAYLAND_DISPLAY").empty() ||
                            !environment("QT_QPA_PLATFORM").empty();
    return headlessRequested() || !hasDisplay;
}

std::unique_ptr<ServiceEngine> makeHeadlessEngine(std::string& error) {
    AnswerScript answers;
    const std::string answersPath = environment("TRACKFOLIO_ANSWERS");
    if (!answersPath.empty()) {
        std::optional<AnswerScript> loaded = AnswerScript::load(answersPath, error);
        if (!loaded) {
            return nullptr;
        }
        answers = std::move(*loaded);
    }
    auto engine = std::make_unique<HeadlessEngine>(nullptr);
    if (!engine->start(environment("TRACKFOLIO_TRANSCRIPT"), std::move(answers),
                       !headlessRequested(), error)) {
        return nullptr;
    }
    return engine;
}

std::unique_ptr<ServiceEngine> makeWindowedEngine() {
    return std::make_unique<WindowedEngine>();
}

}  // namespace tf
