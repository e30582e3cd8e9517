#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include "platform/qt/qt_progress_window.h"
#include "platform/qt/windows_test_support.h"
#include "support/sandbox.h"
#include "util/strings.h"

namespace tf {
namespace {

using test::waitFor;

class Progress : public test::SandboxTest {
  protected:
    template <typename T>
    T* part(const char* name) const {
        return progress.widget()->findChild<T*>(name);
    }
    bool shown(const char* name) const {
        return part<QWidget>(name)->isVisibleTo(progress.widget());
    }

    QtProgressWindow progress;
};

TEST_F(Progress, OpensIndeterminateWithoutCancelInFrontOfOtherWindows) {
    progress.open();
    EXPECT_TRUE(progress.widget()->isVisible());
    EXPECT_TRUE(progress.widget()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(part<QLabel>("message")->text(),
              QString::fromStdString(localized("Please Wait Tip")));
    EXPECT_EQ(part<QProgressBar>("progressBar")->maximum(), 0);
    EXPECT_FALSE(shown("cancelButton"));
    EXPECT_FALSE(shown("percentText"));
    EXPECT_FALSE(shown("successMark"));
    progress.close();
    EXPECT_FALSE(progress.widget()->isVisible());
}

TEST_F(Progress, PercentShowsOneDecimalAndCancel) {
    progress.open();
    progress.setPercent(0.1234);
    EXPECT_DOUBLE_EQ(progress.percent(), 0.1234);
    EXPECT_EQ(part<QLabel>("percentText")->text(), "12.3%");
    EXPECT_TRUE(shown("cancelButton"));
    auto* bar = part<QProgressBar>("progressBar");
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value() * 1000 / bar->maximum(), 123);

    progress.setPercent(1.7);
    EXPECT_EQ(part<QLabel>("percentText")->text(), "100.0%");
    progress.setPercent(-0.2);
    EXPECT_EQ(part<QLabel>("percentText")->text(), "0.0%");

    // Opening again starts over without the percentage.
    progress.open();
    EXPECT_FALSE(shown("cancelButton"));
    EXPECT_EQ(progress.percent(), 0.0);
}

TEST_F(Progress, CancelCallsTheHandlerOnceAndCloses) {
    int cancelled = 0;
    progress.setCancelHandler([&] { ++cancelled; });
    progress.open();
    progress.setPercent(0.5);
    auto* cancel = part<QPushButton>("cancelButton");
    cancel->click();
    EXPECT_EQ(cancelled, 1);
    EXPECT_FALSE(progress.widget()->isVisible());
    cancel->click();
    EXPECT_EQ(cancelled, 1);
}

TEST_F(Progress, SuccessShowsTheMarkThenClosesAndCompletesAboutASecondLater) {
    progress.open();
    progress.setPercent(0.9);
    int completed = 0;
    bool visibleWhenCompleted = true;
    QElapsedTimer clock;
    clock.start();
    progress.showSuccess("Done.", [&] {
        ++completed;
        visibleWhenCompleted = progress.widget()->isVisible();
    });
    EXPECT_TRUE(shown("successMark"));
    EXPECT_FALSE(shown("cancelButton"));
    EXPECT_FALSE(shown("progressBar"));
    EXPECT_EQ(part<QLabel>("message")->text(), "Done.");
    EXPECT_EQ(completed, 0);

    ASSERT_TRUE(waitFor([&] { return completed > 0; }, 5000));
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_FALSE(visibleWhenCompleted);
    // Nothing calls it a second time.
    waitFor([] { return false; }, 200);
    EXPECT_EQ(completed, 1);
}

}  // namespace
}  // namespace tf
