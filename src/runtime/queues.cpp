#include "runtime/queues.h"

#include <algorithm>
#include <system_error>

namespace tf {

void RunLoop::post(Task task, std::chrono::milliseconds delay) {
    schedule_.push(std::move(task), delay);
}

bool RunLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        std::optional<Task> task = schedule_.take(deadline);
        if (!task) {
            return done();
        }
        (*task)();
    }
    return true;
}

void RunLoop::runPending() {
    while (std::optional<Task> task = schedule_.takeDue()) {
        (*task)();
    }
}

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)) {
    worker_ = std::thread([this] {
        while (std::optional<Task> task = schedule_.take()) {
            (*task)();
        }
    });
}

SerialQueue::~SerialQueue() {
    schedule_.close();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void SerialQueue::post(Task task, std::chrono::milliseconds delay) {
    schedule_.push(std::move(task), delay);
}

WorkerThreads::~WorkerThreads() {
    std::vector<Worker> workers;
    {
        const std::lock_guard guard(mutex_);
        workers.swap(workers_);
    }
    for (Worker& worker : workers) {
        worker.thread.join();
    }
}

void WorkerThreads::start(Task task) {
    auto ended = std::make_shared<std::atomic<bool>>(false);
    const std::lock_guard guard(mutex_);
    // Threads whose task has ended are joined here, so they never pile up.
    std::erase_if(workers_, [](Worker& worker) {
        if (!worker.ended->load()) {
            return false;
        }
        worker.thread.join();
        return true;
    });
    workers_.reserve(workers_.size() + 1);
    std::thread thread;
    try {
        thread = std::thread([task, ended] {
            task();
            *ended = true;
        });
    } catch (const std::system_error&) {
        backQueue().post(std::move(task));
        return;
    }
    workers_.push_back(Worker{std::move(thread), std::move(ended)});
}

namespace {

std::atomic<MainQueue*> g_foreQueue{nullptr};

std::chrono::milliseconds wholeSeconds(int seconds) {
    return std::chrono::seconds(std::max(seconds, 0));
}

}  // namespace

RunLoop& defaultRunLoop() {
    static RunLoop loop;
    return loop;
}

MainQueue& foreQueue() {
    MainQueue* installed = g_foreQueue.load();
    return installed != nullptr ? *installed : defaultRunLoop();
}

void setForeQueue(MainQueue* queue) {
    g_foreQueue = queue;
}

SerialQueue& backQueue() {
    static SerialQueue queue("org.trackfolio.Trackfolio.background");
    return queue;
}

void enterForeground(Task task) {
    foreQueue().post(std::move(task), {});
}

void enterBackground(Task task) {
    backQueue().post(std::move(task));
}

void enterForegroundWithDelay(int seconds, Task task) {
    foreQueue().post(std::move(task), wholeSeconds(seconds));
}

void enterBackgroundWithDelay(int seconds, Task task) {
    backQueue().post(std::move(task), wholeSeconds(seconds));
}

}  // namespace tf
