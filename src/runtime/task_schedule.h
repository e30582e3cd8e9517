// A thread-safe schedule of callables with due times: the common core of the main-queue
// run loop and the serial background queue. Tasks due at the same time run in submission
// order.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace tf {

using Task = std::function<void()>;
using SteadyTime = std::chrono::steady_clock::time_point;

class TaskSchedule {
  public:
    void push(Task task, std::chrono::milliseconds delay = std::chrono::milliseconds{0});

    // Waits until a task is due (or until the deadline, or until closed) and takes it.
    std::optional<Task> take(std::optional<SteadyTime> deadline = std::nullopt);
    // Takes a task only when one is due now.
    std::optional<Task> takeDue();

    // Wakes every waiter; from then on take() returns only tasks already due.
    void close();
    bool closed() const;
    // Tasks queued, due or not.
    std::size_t size() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::multimap<std::pair<SteadyTime, std::uint64_t>, Task> tasks_;
    std::uint64_t sequence_ = 0;
    bool closed_ = false;
};

}  // namespace tf
