// The shared progress window of background commands: a small tool window that says "please
// wait", shows a percentage with Cancel once one is known, and ends with a success mark.
#pragma once

#include <QWidget>

#include <functional>
#include <string>

#include "platform/progress_window.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace tf {

class QtProgressWindow : public ProgressWindow {
  public:
    QtProgressWindow();
    ~QtProgressWindow() override;
    QtProgressWindow(const QtProgressWindow&) = delete;
    QtProgressWindow& operator=(const QtProgressWindow&) = delete;

    void open() override;
    void setPercent(double percent) override;
    double percent() const override { return percent_; }
    void close() override;
    void showSuccess(const std::string& message, std::function<void()> complete) override;
    void setCancelHandler(std::function<void()> handler) override;

    // The window itself, for tests and screenshots.
    QWidget* widget() const { return window_; }
    // How long the success mark stays before the window closes.
    void setSuccessDelay(int milliseconds) { successDelay_ = milliseconds; }

  private:
    void pressCancel();
    void present();

    QWidget* window_;
    QLabel* mark_;
    QLabel* message_;
    QProgressBar* bar_;
    QLabel* percentText_;
    QPushButton* cancel_;
    double percent_ = 0.0;
    int successDelay_ = 1000;
    std::function<void()> cancelHandler_;
};

}  // namespace tf
