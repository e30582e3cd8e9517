#include "service/qt_main_queue.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <utility>

namespace tf {

QtMainQueue::QtMainQueue(QObject* context) : context_(context) {}

void QtMainQueue::post(Task task, std::chrono::milliseconds delay) {
    QObject* context = context_;
    std::shared_ptr<std::atomic<int>> pending = pending_;
    ++*pending;
    Task counted = [pending, task = std::move(task)] {
        --*pending;
        task();
    };
    // A timer can only be started on a thread with an event loop, so even delayed tasks
    // first hop to the main thread.
    QMetaObject::invokeMethod(
        context,
        [context, delay, counted = std::move(counted)]() mutable {
            if (delay.count() <= 0) {
                counted();
            } else {
                QTimer::singleShot(delay, context, std::move(counted));
            }
        },
        Qt::QueuedConnection);
}

}  // namespace tf
