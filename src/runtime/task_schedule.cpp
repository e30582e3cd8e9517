#include "runtime/task_schedule.h"

namespace tf {

void TaskSchedule::push(Task task, std::chrono::milliseconds delay) {
    {
        const std::lock_guard guard(mutex_);
        const auto due = std::chrono::steady_clock::now() + delay;
        tasks_.emplace(std::make_pair(due, sequence_++), std::move(task));
    }
    changed_.notify_all();
}

std::optional<Task> TaskSchedule::take(std::optional<SteadyTime> deadline) {
    std::unique_lock lock(mutex_);
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (!tasks_.empty() && tasks_.begin()->first.first <= now) {
            Task task = std::move(tasks_.begin()->second);
            tasks_.erase(tasks_.begin());
            return task;
        }
        // Once closed, tasks not yet due are dropped: nothing waits on them at shutdown.
        if (closed_) {
            return std::nullopt;
        }
        if (deadline && now >= *deadline) {
            return std::nullopt;
        }
        // Sleep until the earliest task is due, the deadline passes or something changes.
        std::optional<SteadyTime> wake = deadline;
        if (!tasks_.empty() && (!wake || tasks_.begin()->first.first < *wake)) {
            wake = tasks_.begin()->first.first;
        }
        if (wake) {
            changed_.wait_until(lock, *wake);
        } else {
            changed_.wait(lock);
        }
    }
}

std::optional<Task> TaskSchedule::takeDue() {
    const std::lock_guard guard(mutex_);
    if (tasks_.empty() || tasks_.begin()->first.first > std::chrono::steady_clock::now()) {
        return std::nullopt;
    }
    Task task = std::move(tasks_.begin()->second);
    tasks_.erase(tasks_.begin());
    return task;
}

void TaskSchedule::close() {
    {
        const std::lock_guard guard(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

bool TaskSchedule::closed() const {
    const std::lock_guard guard(mutex_);
    return closed_;
}

std::size_t TaskSchedule::size() const {
    const std::lock_guard guard(mutex_);
    return tasks_.size();
}

}  // namespace tf
