// The engine's main queue on the Qt event loop of the menu service.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>

#include "runtime/queues.h"

class QObject;

namespace tf {

// Runs posted tasks on the thread of `context` (the application object). Safe to post from
// any thread: background work reports back through it.
class QtMainQueue : public MainQueue {
  public:
    explicit QtMainQueue(QObject* context);
    void post(Task task, std::chrono::milliseconds delay) override;
    // Tasks posted and not run yet (delayed ones included).
    int pendingCount() const { return pending_->load(); }

  private:
    QObject* context_;
    // Shared with the posted tasks, which may outlive the queue at shutdown.
    std::shared_ptr<std::atomic<int>> pending_ = std::make_shared<std::atomic<int>>(0);
};

}  // namespace tf
