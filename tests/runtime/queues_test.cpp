#include "runtime/queues.h"

#include <gtest/gtest.h>

#include <any>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/notifications.h"
#include "runtime/task_queue.h"

namespace tf {
namespace {

using namespace std::chrono_literals;

// A flag another thread raises; the test waits for it with a deadline.
class Latch {
  public:
    void open() {
        {
            const std::lock_guard guard(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    bool waitFor(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

// The main queue is process-wide: start each case with it installed and drained.
class QueuesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setForeQueue(nullptr);
        defaultRunLoop().runPending();
    }
    void TearDown() override { defaultRunLoop().runPending(); }
};

// --- handler selection and notifications ---

TEST(SelWithName, PicksTheHandlerByNumberOfDots) {
    EXPECT_EQ(selWithName("a.b"), "handleSignal_a_b:");
    EXPECT_EQ(selWithName("a.b.c"), "handleSignal_b_c:");
    EXPECT_EQ(selWithName("config change noti"), "handleSignal:");
    EXPECT_EQ(selWithName("a.b.c.d"), "handleSignal:");
    EXPECT_EQ(selWithName(""), "handleSignal:");
}

class Recorder : public SignalObserver {
  public:
    void handleSignal(const Notification& n) override {
        names.push_back(n.name);
        if (onSignal) {
            onSignal(n);
        }
    }
    std::vector<std::string> names;
    std::function<void(const Notification&)> onSignal;
};

TEST(Notifications, RegisteringTwiceDeliversOnceWithObjectAndUserInfo) {
    Recorder r;
    r.addNotification("twice noti");
    r.addNotification("twice noti");
    std::any seenObject;
    Dict seenInfo;
    r.onSignal = [&](const Notification& n) {
        seenObject = n.object;
        seenInfo = n.userInfo;
    };
    postNotification("twice noti", std::any(42), Dict{{"k", Value("v")}});
    ASSERT_EQ(r.names, std::vector<std::string>{"twice noti"});
    EXPECT_EQ(std::any_cast<int>(seenObject), 42);
    EXPECT_EQ(dictString(seenInfo, "k"), "v");
}

TEST(Notifications, RemovedNamesAreNotDelivered) {
    Recorder r;
    r.addNotification("kept noti");
    r.addNotification("dropped noti");
    r.removeNotification("dropped noti");
    postNotification("dropped noti");
    postNotification("kept noti");
    EXPECT_EQ(r.names, std::vector<std::string>{"kept noti"});
    r.removeAllNotification();
    postNotification("kept noti");
    EXPECT_EQ(r.names.size(), 1U);
}

TEST(Notifications, DestroyedObserverIsNeverCalled) {
    Recorder survivor;
    auto gone = std::make_unique<Recorder>();
    gone->addNotification("gone noti");
    survivor.addNotification("gone noti");
    gone.reset();
    postNotification("gone noti");  // a dangling registration would crash here (ASan)
    EXPECT_EQ(survivor.names.size(), 1U);
}

TEST(Notifications, DottedNamesReachTheirNamedHandler) {
    Recorder r;
    std::vector<std::string> dotted;
    r.setSignalHandler("handleSignal_a_b:",
                       [&](const Notification& n) { dotted.push_back(n.name); });
    r.addNotification("a.b");
    r.addNotification("x.a.b");
    r.addNotification("no.handler");
    postNotification("a.b");
    postNotification("x.a.b");
    postNotification("no.handler");
    EXPECT_EQ(dotted, (std::vector<std::string>{"a.b", "x.a.b"}));
    EXPECT_TRUE(r.names.empty()) << "dotted names never fall back to handleSignal";
}

TEST(Notifications, HandlersMayUnregisterDuringDelivery) {
    Recorder first;
    Recorder second;
    auto third = std::make_unique<Recorder>();
    first.addNotification("busy noti");
    second.addNotification("busy noti");
    third->addNotification("busy noti");
    // The first removes itself and the second, and destroys the third, mid-delivery.
    first.onSignal = [&](const Notification&) {
        first.removeNotification("busy noti");
        second.removeNotification("busy noti");
        third.reset();
    };
    postNotification("busy noti");
    postNotification("busy noti");
    EXPECT_EQ(first.names.size(), 1U);
    EXPECT_TRUE(second.names.empty());
}

TEST(Notifications, DeliveredSynchronouslyOnThePostingThread) {
    Recorder r;
    std::thread::id handledOn;
    r.onSignal = [&](const Notification&) { handledOn = std::this_thread::get_id(); };
    r.addNotification("thread noti");
    std::thread::id postedOn;
    std::thread poster([&] {
        postedOn = std::this_thread::get_id();
        postNotification("thread noti");
    });
    poster.join();
    EXPECT_EQ(handledOn, postedOn);
}

// --- queues ---

TEST_F(QueuesTest, BackgroundBlocksRunOneAtATimeInSubmissionOrder) {
    constexpr int kBlocks = 300;
    struct State {
        std::atomic<int> active{0};
        std::atomic<bool> overlapped{false};
        std::atomic<bool> offThread{false};
        std::vector<int> order;  // touched only by the serial worker
        Latch done;
    };
    auto state = std::make_shared<State>();
    for (int i = 0; i < kBlocks; ++i) {
        enterBackground([state, i] {
            if (state->active.fetch_add(1) != 0) {
                state->overlapped = true;
            }
            if (!backQueue().isCurrentThread()) {
                state->offThread = true;
            }
            for (int spin = 0; spin < 50; ++spin) {
                std::this_thread::yield();  // widen the window an overlap would need
            }
            state->order.push_back(i);
            state->active.fetch_sub(1);
            if (i == kBlocks - 1) {
                state->done.open();
            }
        });
    }
    ASSERT_TRUE(state->done.waitFor(10s));
    EXPECT_FALSE(state->overlapped);
    EXPECT_FALSE(state->offThread);
    ASSERT_EQ(state->order.size(), static_cast<std::size_t>(kBlocks));
    for (int i = 0; i < kBlocks; ++i) {
        EXPECT_EQ(state->order[static_cast<std::size_t>(i)], i);
    }
}

TEST_F(QueuesTest, BackgroundWorkReportsBackOnTheThreadDrivingTheLoop) {
    auto reportedOn = std::make_shared<std::thread::id>();
    auto reported = std::make_shared<std::atomic<bool>>(false);
    enterBackground([=] {
        enterForeground([=] {
            *reportedOn = std::this_thread::get_id();
            *reported = true;
        });
    });
    ASSERT_TRUE(defaultRunLoop().runUntil([&] { return reported->load(); }, 5s));
    EXPECT_EQ(*reportedOn, std::this_thread::get_id());
}

TEST_F(QueuesTest, DelayedForegroundBlockWaitsAtLeastItsDelay) {
    bool ran = false;
    const auto start = std::chrono::steady_clock::now();
    enterForegroundWithDelay(1, [&] { ran = true; });
    defaultRunLoop().runPending();
    EXPECT_FALSE(ran);
    ASSERT_TRUE(defaultRunLoop().runUntil([&] { return ran; }, 5s));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1s);
}

TEST_F(QueuesTest, ZeroAndNegativeDelaysRunAsSoonAsPossibleInOrder) {
    std::vector<int> order;
    enterForegroundWithDelay(0, [&] { order.push_back(1); });
    enterForegroundWithDelay(-3, [&] { order.push_back(2); });
    enterForeground([&] {
        order.push_back(3);
        enterForeground([&] { order.push_back(4); });  // posted while draining: runs too
    });
    defaultRunLoop().runPending();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(QueuesTest, DelayedBackgroundTaskDoesNotHoldBackALaterImmediateOne) {
    struct State {
        std::atomic<bool> delayedRan{false};
        std::atomic<bool> delayedRanFirst{false};
        Latch immediate;
        Latch delayed;
    };
    auto state = std::make_shared<State>();
    enterBackgroundWithDelay(1, [state] {
        state->delayedRan = true;
        state->delayed.open();
    });
    enterBackground([state] {
        state->delayedRanFirst = state->delayedRan.load();
        state->immediate.open();
    });
    ASSERT_TRUE(state->immediate.waitFor(5s));
    EXPECT_FALSE(state->delayedRanFirst);
    EXPECT_TRUE(state->delayed.waitFor(5s));
}

TEST(SerialQueue, ClosingDropsTasksNotYetDue) {
    auto ran = std::make_shared<std::atomic<bool>>(false);
    const auto start = std::chrono::steady_clock::now();
    {
        SerialQueue queue("test.drop");
        queue.post([ran] { *ran = true; }, 60s);
    }
    EXPECT_FALSE(*ran);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
}

// A task that waits long (a user's program) holds up neither another worker nor the
// background queue, and the workers' owner waits for every task before it goes.
TEST(WorkerThreads, AWaitingTaskHoldsUpNothingElseAndIsWaitedForAtTheEnd) {
    Latch release;
    Latch otherRan;
    Latch backgroundRan;
    std::atomic<int> ended{0};
    {
        WorkerThreads workers;
        workers.start([&] {
            ASSERT_TRUE(release.waitFor(10s));
            ++ended;
        });
        workers.start([&] {
            otherRan.open();
            ++ended;
        });
        enterBackground([&] { backgroundRan.open(); });
        EXPECT_TRUE(otherRan.waitFor(10s));
        EXPECT_TRUE(backgroundRan.waitFor(10s));
        // Short tasks started meanwhile run too; their ended threads are joined as more start.
        for (int i = 0; i < 50; ++i) {
            workers.start([&] { ++ended; });
        }
        EXPECT_LT(ended.load(), 52);
        release.open();
    }
    EXPECT_EQ(ended.load(), 52);
}

TEST(RunLoop, RunUntilGivesUpAtTheDeadline) {
    RunLoop loop;
    loop.post([] {}, 1h);
    EXPECT_FALSE(loop.runUntil([] { return false; }, 50ms));
    EXPECT_EQ(loop.pendingCount(), 1U);
}

// --- task queue ---

struct Worker {
    std::vector<std::string> log;
};

TEST(TaskQueue, RunsTasksInTurnAndReportsEmptyOnceAfterTheLast) {
    RunLoop loop;
    RCTaskQueue queue(&loop);
    int finished = 0;
    RCTaskQueue* reported = nullptr;
    queue.setFinishAction(
        [&](RCTaskQueue& q) {
            ++finished;
            reported = &q;
        },
        nullptr);
    auto worker = std::make_shared<Worker>();
    auto task = queue.taskWithTarget(worker);
    for (const char* name : {"one", "two", "three"}) {
        task([name](Worker& w) { w.log.emplace_back(name); });
    }
    EXPECT_TRUE(worker->log.empty()) << "tasks start after the queuing call returns";
    EXPECT_FALSE(queue.isEmpty());

    for (std::size_t i = 1; i <= 3; ++i) {
        loop.runPending();
        ASSERT_EQ(worker->log.size(), i) << "the next task waits for finishCurrentTask";
        loop.runPending();
        EXPECT_EQ(worker->log.size(), i);
        EXPECT_EQ(finished, 0);
        queue.finishCurrentTask();
    }
    EXPECT_EQ(worker->log, (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(reported, &queue);
    EXPECT_TRUE(queue.isEmpty());
    queue.finishCurrentTask();  // not running: ignored
    loop.runPending();
    EXPECT_EQ(finished, 1);
}

TEST(TaskQueue, TasksMayFinishThemselvesSynchronously) {
    RunLoop loop;
    RCTaskQueue queue(&loop);
    bool empty = false;
    queue.setFinishAction([&](RCTaskQueue&) { empty = true; }, nullptr);
    auto worker = std::make_shared<Worker>();
    auto task = queue.taskWithTarget(worker);
    for (const char* name : {"a", "b", "c"}) {
        task([name, &queue](Worker& w) {
            w.log.emplace_back(name);
            queue.finishCurrentTask();
        });
    }
    ASSERT_TRUE(loop.runUntil([&] { return empty; }, 5s));
    EXPECT_EQ(worker->log, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(TaskQueue, StalledHeadTaskRunsAgainOnTheNextRestart) {
    RunLoop loop;
    RCTaskQueue queue(&loop);
    auto worker = std::make_shared<Worker>();
    auto task = queue.taskWithTarget(worker);
    task([](Worker& w) { w.log.emplace_back("head"); });
    loop.runPending();
    queue.stallCurrentTask();
    EXPECT_TRUE(queue.isStalled());
    EXPECT_FALSE(queue.isRunning());
    EXPECT_FALSE(queue.isEmpty()) << "a stalled queue is not empty";
    queue.finishCurrentTask();  // not running: the head stays queued
    EXPECT_EQ(queue.taskCount(), 1U);
    loop.runPending();
    EXPECT_EQ(worker->log.size(), 1U) << "nothing restarts a stalled queue by itself";

    task([](Worker& w) { w.log.emplace_back("next"); });
    EXPECT_FALSE(queue.isStalled());
    loop.runPending();
    EXPECT_EQ(worker->log, (std::vector<std::string>{"head", "head"}));
    queue.finishCurrentTask();
    loop.runPending();
    EXPECT_EQ(worker->log, (std::vector<std::string>{"head", "head", "next"}));
}

TEST(TaskQueue, RestartOfAnEmptyQueueReportsAtOnceAndMayReplaceTheAction) {
    RunLoop loop;
    RCTaskQueue queue(&loop);
    EXPECT_TRUE(queue.isEmpty());
    int first = 0;
    int second = 0;
    queue.setFinishAction(
        [&](RCTaskQueue& q) {
            ++first;
            q.setFinishAction([&](RCTaskQueue&) { ++second; }, nullptr);
        },
        nullptr);
    queue.restart();
    queue.restart();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
}

TEST(TaskQueue, KeepsTargetsAliveWhileQueued) {
    RunLoop loop;
    RCTaskQueue queue(&loop);
    auto target = std::make_shared<Worker>();
    const std::weak_ptr<Worker> watch = target;
    auto finishTarget = std::make_shared<int>(0);
    const std::weak_ptr<int> watchFinish = finishTarget;
    queue.setFinishAction([](RCTaskQueue&) {}, std::move(finishTarget));
    {
        auto task = queue.taskWithTarget(std::move(target));
        EXPECT_EQ(task.parent(), &queue);
        const std::string argument = "kept";
        task([argument](Worker& w) { w.log.push_back(argument); });
    }
    EXPECT_FALSE(watch.expired());
    loop.runPending();
    ASSERT_FALSE(watch.expired());
    EXPECT_EQ(watch.lock()->log, std::vector<std::string>{"kept"});
    queue.finishCurrentTask();
    EXPECT_TRUE(watch.expired()) << "released once its task is done";
    EXPECT_FALSE(watchFinish.expired());
}

TEST_F(QueuesTest, QueueDestroyedWithAStartScheduledIsNotTouched) {
    auto ran = std::make_shared<bool>(false);
    const std::size_t before = defaultRunLoop().pendingCount();
    {
        RCTaskQueue queue;  // schedules on the process's main queue
        queue.newTaskWithTarget(nullptr, [ran] { *ran = true; });
        EXPECT_EQ(defaultRunLoop().pendingCount(), before + 1);
    }
    defaultRunLoop().runPending();
    EXPECT_FALSE(*ran);
}

}  // namespace
}  // namespace tf
