// The two queues of a process: the main queue (where user-facing work and dispatch run) and
// one serial background queue (long file work, one job after another).
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "runtime/task_schedule.h"

namespace tf {

// Port to the thread that owns the user interface. The menu service installs one backed by
// its Qt event loop; command-line tools and tests use RunLoop.
class MainQueue {
  public:
    virtual ~MainQueue() = default;
    virtual void post(Task task, std::chrono::milliseconds delay) = 0;
};

// A main queue that runs its tasks on whichever thread calls run*().
class RunLoop : public MainQueue {
  public:
    void post(Task task, std::chrono::milliseconds delay) override;

    // Runs tasks until the predicate holds (checked after each task) or the timeout passes;
    // true when the predicate held.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Runs every task that is due now, including ones those tasks post with no delay.
    void runPending();
    std::size_t pendingCount() const { return schedule_.size(); }

  private:
    TaskSchedule schedule_;
};

// One worker thread running tasks strictly in order.
class SerialQueue {
  public:
    explicit SerialQueue(std::string label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void post(Task task, std::chrono::milliseconds delay = std::chrono::milliseconds{0});
    const std::string& label() const { return label_; }
    bool isCurrentThread() const { return std::this_thread::get_id() == worker_.get_id(); }

  private:
    std::string label_;
    TaskSchedule schedule_;
    std::thread worker_;
};

// Runs each task on a thread of its own: for work that waits as long as it likes (a user's
// program) and must hold up neither the main queue nor the serial background queue. The
// destructor waits for the tasks still running.
class WorkerThreads {
  public:
    WorkerThreads() = default;
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // When the system gives no more threads, the task waits its turn on the background queue.
    void start(Task task);

  private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> ended;
    };
    std::mutex mutex_;
    std::vector<Worker> workers_;
};

MainQueue& foreQueue();
// Installs the process's main queue (nullptr restores the built-in RunLoop).
void setForeQueue(MainQueue* queue);
// The built-in main queue, for tools and tests that drive it themselves.
RunLoop& defaultRunLoop();
SerialQueue& backQueue();

void enterForeground(Task task);
void enterBackground(Task task);
// Whole seconds; 0 means as soon as possible.
void enterForegroundWithDelay(int seconds, Task task);
void enterBackgroundWithDelay(int seconds, Task task);

}  // namespace tf
