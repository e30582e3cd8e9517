// The user-facing port as Qt windows: alerts, the folder chooser, the save panel and the
// one-line text question. Every call is modal and runs on the GUI thread.
#pragma once

#include "platform/user_interface.h"

class QWidget;

namespace tf {

class QtUserInterface : public UserInterface {
  public:
    // `parent` may be null: the service has no main window, its prompts stand alone.
    explicit QtUserInterface(QWidget* parent = nullptr) : parent_(parent) {}

    int runAlert(const AlertRequest& request) override;
    std::optional<std::string> chooseFolder(const FolderRequest& request) override;
    std::optional<SaveAnswer> runSavePanel(const SaveRequest& request) override;
    std::optional<std::string> askText(const TextRequest& request) override;

  private:
    QWidget* parent_;
};

}  // namespace tf
