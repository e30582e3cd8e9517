#include "cli/headless_session.h"

#include "commands/builtin_commands.h"
#include "runtime/queues.h"

namespace tf {

HeadlessSession::HeadlessSession(AnswerScript answers, Transcript& transcript, bool realDesktop)
    : ui_(std::move(answers), transcript),
      processes_(transcript, runner_),
      desktop_(runner_),
      workspace_(transcript, realDesktop ? &desktop_ : nullptr) {
    ui_.setMainQueuePoster([](std::function<void()> task, std::chrono::milliseconds delay) {
        foreQueue().post(std::move(task), delay);
    });
    Ports ports;
    ports.ui = &ui_;
    ports.progress = &ui_;
    ports.pasteboard = &ui_;
    ports.workspace = &workspace_;
    ports.processes = &processes_;
    ports.clock = &clock_;
    ports.colourPicker = &ui_;
    sync_ = std::make_unique<FinderSync>(ports);
    registerBuiltinCommands(sync_->commands());
}

HeadlessSession::~HeadlessSession() = default;

bool HeadlessSession::waitUntilIdle(std::chrono::milliseconds timeout) {
    RunLoop& loop = defaultRunLoop();
    return loop.runUntil([&] { return sync_->isIdle() && loop.pendingCount() == 0; }, timeout);
}

}  // namespace tf
