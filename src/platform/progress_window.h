// Port to the shared progress window of background commands. Called on the main queue only.
#pragma once

#include <functional>
#include <string>

namespace tf {

class ProgressWindow {
  public:
    virtual ~ProgressWindow() = default;

    // Indeterminate, "Please Wait Tip", Cancel hidden; brought to the front.
    virtual void open() = 0;
    // 0.0 to 1.0; shows Cancel and "<percent>%" with one decimal.
    virtual void setPercent(double percent) = 0;
    virtual double percent() const = 0;
    virtual void close() = 0;
    // Shows the success mark with the message; about a second later closes the window and
    // calls `complete` on the main queue.
    virtual void showSuccess(const std::string& message, std::function<void()> complete) = 0;
    // Called (once) when the user presses Cancel; the window then closes.
    virtual void setCancelHandler(std::function<void()> handler) = 0;
};

}  // namespace tf
