// Driving modal windows from a test: the port call blocks in exec(), so the test schedules
// what the user does before making the call.
#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace tf::test {

// Calls `step` with the next modal window of type T once it is shown and active (polling
// the modal stack; `after` is skipped so a step can wait for a window nested in it). After
// five seconds without one, or when the window is still open five seconds after the step,
// the test fails and the window is closed.
template <typename T>
void whenModal(std::function<void(T*)> step, QWidget* after = nullptr) {
    struct Poll {
        QDeadlineTimer deadline{5000};
        std::function<void(T*)> step;
        QWidget* after;
        void operator()(const std::shared_ptr<Poll>& self) const {
            QWidget* active = QApplication::activeModalWidget();
            if (auto* window = dynamic_cast<T*>(active);
                window != nullptr && window != after && window->isVisible()) {
                step(window);
                watch(window);
                return;
            }
            if (deadline.hasExpired()) {
                ADD_FAILURE() << "the expected modal window did not appear";
                if (auto* dialog = qobject_cast<QDialog*>(active)) {
                    dialog->done(QDialog::Rejected);
                }
                return;
            }
            QTimer::singleShot(10, [self] { (*self)(self); });
        }
        // A window the step should have ended but did not would block the test forever.
        static void watch(QWidget* window) {
            QTimer::singleShot(5000, window, [window] {
                if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible()) {
                    ADD_FAILURE() << "a modal window stayed open after its step";
                    dialog->done(QDialog::Rejected);
                }
            });
        }
    };
    auto poll = std::make_shared<Poll>();
    poll->step = std::move(step);
    poll->after = after;
    QTimer::singleShot(0, [poll] { (*poll)(poll); });
}

// The push button of `window` showing `text` (mnemonic ampersands ignored), or null.
QPushButton* buttonWithText(QWidget* window, const QString& text);

// Processes events until `done` holds or the deadline passes; true when it held.
bool waitFor(const std::function<bool()>& done, int milliseconds = 5000);

// Saves a grab of the window as <name>.png into $TRACKFOLIO_SCREENSHOT_DIR when that is set,
// and checks that the grab has a plausible size.
void checkScreenshot(QWidget* window, const QString& name, int minWidth = 200);

}  // namespace tf::test
