// The engine wired to the headless ports: what `trackfolio-sync menu` and `run` use, and
// what tests drive. Prompts are answered from a script; everything shown or launched goes
// to the transcript.
#pragma once

#include <chrono>
#include <memory>

#include "engine/finder_sync.h"
#include "platform/clock.h"
#include "platform/desktop_workspace.h"
#include "platform/headless.h"

namespace tf {

class HeadlessSession {
  public:
    // With `realDesktop` false, launches and opens are only recorded and every application
    // counts as installed (tests); programs run for real either way.
    HeadlessSession(AnswerScript answers, Transcript& transcript, bool realDesktop);
    ~HeadlessSession();
    HeadlessSession(const HeadlessSession&) = delete;
    HeadlessSession& operator=(const HeadlessSession&) = delete;

    FinderSync& sync() { return *sync_; }
    HeadlessUi& ui() { return ui_; }

    // Runs the main queue until every command (background work and delayed prompts
    // included) has ended; false when the timeout passed first.
    bool waitUntilIdle(std::chrono::milliseconds timeout = std::chrono::hours(24));

  private:
    HeadlessUi ui_;
    PosixProcessRunner runner_;
    RecordingProcessRunner processes_;
    DesktopWorkspace desktop_;
    RecordingWorkspace workspace_;
    SystemClock clock_;
    std::unique_ptr<FinderSync> sync_;
};

}  // namespace tf
