#include "runtime/task_queue.h"

namespace tf {

RCTaskQueue::RCTaskQueue(MainQueue* scheduler)
    : scheduler_(scheduler), self_(std::make_shared<RCTaskQueue*>(this)) {}

RCTaskQueue::~RCTaskQueue() {
    *self_ = nullptr;
}

void RCTaskQueue::newTaskWithTarget(std::shared_ptr<void> target, Task invocation) {
    tasks_.push_back({std::move(target), std::move(invocation)});
    restart();
}

void RCTaskQueue::setFinishAction(FinishAction action, std::shared_ptr<void> target) {
    finishAction_ = std::move(action);
    finishTarget_ = std::move(target);
}

void RCTaskQueue::restart() {
    if (isRunning_) {
        return;
    }
    if (tasks_.empty()) {
        if (finishAction_) {
            // The action may replace itself; keep the one we call alive.
            const FinishAction action = finishAction_;
            action(*this);
        }
        return;
    }
    isRunning_ = true;
    isStalled_ = false;
    // Start after the current call returns, like a zero-delay run-loop timer.
    std::weak_ptr<RCTaskQueue*> weak = self_;
    MainQueue& queue = scheduler_ != nullptr ? *scheduler_ : foreQueue();
    queue.post(
        [weak] {
            if (auto self = weak.lock(); self && *self != nullptr) {
                (*self)->startTask();
            }
        },
        {});
}

void RCTaskQueue::startTask() {
    if (tasks_.empty()) {
        return;
    }
    // Copy: the task may finish itself synchronously, which pops it.
    const Task invocation = tasks_.front().invocation;
    invocation();
}

void RCTaskQueue::finishCurrentTask() {
    if (!isRunning_) {
        return;
    }
    if (!tasks_.empty()) {
        tasks_.pop_front();
    }
    isRunning_ = false;
    restart();
}

void RCTaskQueue::stallCurrentTask() {
    if (!isRunning_) {
        return;
    }
    isStalled_ = true;
    isRunning_ = false;
}

}  // namespace tf
