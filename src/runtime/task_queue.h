// RCTaskQueue: runs queued tasks one at a time on the main queue; each task's owner says
// when it is done (finishCurrentTask) or that it must run again later (stallCurrentTask).
#pragma once

#include <deque>
#include <functional>
#include <memory>

#include "runtime/queues.h"

namespace tf {

class RCTaskQueue;

// Stands in for a target: a message sent through it is recorded and queued, not performed.
template <class T>
class RCTaskTrampoline {
  public:
    RCTaskTrampoline(std::shared_ptr<T> actual, RCTaskQueue* parent)
        : actual_(std::move(actual)), parent_(parent) {}

    void operator()(std::function<void(T&)> message) const;

    const std::shared_ptr<T>& actual() const { return actual_; }
    RCTaskQueue* parent() const { return parent_; }

  private:
    std::shared_ptr<T> actual_;
    RCTaskQueue* parent_;
};

class RCTaskQueue {
  public:
    using FinishAction = std::function<void(RCTaskQueue&)>;

    // Tasks start on the given main queue (the process's main queue when null).
    explicit RCTaskQueue(MainQueue* scheduler = nullptr);
    ~RCTaskQueue();
    RCTaskQueue(const RCTaskQueue&) = delete;
    RCTaskQueue& operator=(const RCTaskQueue&) = delete;

    template <class T>
    RCTaskTrampoline<T> taskWithTarget(std::shared_ptr<T> target) {
        return RCTaskTrampoline<T>(std::move(target), this);
    }

    // The target is kept alive while its task is queued.
    void newTaskWithTarget(std::shared_ptr<void> target, Task invocation);
    void setFinishAction(FinishAction action, std::shared_ptr<void> target);

    void startTask();
    void finishCurrentTask();
    void stallCurrentTask();
    void restart();
    // Neither running nor stalled (queued tasks are not counted).
    bool isEmpty() const { return !isRunning_ && !isStalled_; }

    bool isRunning() const { return isRunning_; }
    bool isStalled() const { return isStalled_; }
    std::size_t taskCount() const { return tasks_.size(); }

  private:
    struct Entry {
        std::shared_ptr<void> target;
        Task invocation;
    };

    MainQueue* scheduler_;
    std::deque<Entry> tasks_;
    bool isRunning_ = false;
    bool isStalled_ = false;
    FinishAction finishAction_;
    std::shared_ptr<void> finishTarget_;
    // Scheduled starts check this, so a queue destroyed meanwhile is never touched.
    std::shared_ptr<RCTaskQueue*> self_;
};

template <class T>
void RCTaskTrampoline<T>::operator()(std::function<void(T&)> message) const {
    auto target = actual_;
    parent_->newTaskWithTarget(target,
                               [target, message = std::move(message)] { message(*target); });
}

}  // namespace tf
