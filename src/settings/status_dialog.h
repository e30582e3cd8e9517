// Explains, per file manager, whether the context menu shows and what to do when it does not;
// restarts a file manager on request and installs the parts that need no administrator.
#pragma once

#include <QDialog>

#include <memory>

#include "settings/extension_status.h"

class QVBoxLayout;

namespace tf {

class ProcessRunner;

// Stops a file manager through its own interface and starts it again.
class FileManagerControl {
  public:
    virtual ~FileManagerControl() = default;
    virtual void restart(const FileManagerInfo& fileManager) = 0;
};

// Quits with the file manager's own option (Dolphin over the bus, each instance by its own
// name), then starts it again a moment later. Never a shell, never a signal.
class DesktopFileManagerControl : public FileManagerControl {
  public:
    explicit DesktopFileManagerControl(ProcessRunner& processes) : processes_(processes) {}
    void restart(const FileManagerInfo& fileManager) override;

  private:
    ProcessRunner& processes_;
};

class StatusDialog : public QDialog {
    Q_OBJECT

  public:
    // `syncProgram` is what the activation file runs; empty when it cannot be found.
    StatusDialog(const ExtensionStatus& status, FileManagerControl& control,
                 std::string syncProgram, QWidget* parent = nullptr);

    // Checks again and rebuilds the rows.
    void refresh();

  private:
    void addRow(const FileManagerStatus& row);
    void addServiceRow(bool answers);
    void report(bool ok, const std::string& error);

    const ExtensionStatus& status_;
    FileManagerControl& control_;
    std::string syncProgram_;
    QWidget* rows_ = nullptr;
    QVBoxLayout* rowsLayout_ = nullptr;
};

// The dialog for this machine, modal over `parent`.
void showExtensionStatusDialog(QWidget* parent);

// The program the activation file should run: trackfolio-sync beside us, else on PATH.
std::string menuServiceProgram();

}  // namespace tf
