// The workspace of this desktop, reached through programs run with argument vectors: the
// settings application for the hand-off, xdg-open for files and addresses. Applications and
// services by name come with the desktop-entry and terminal adapters.
#pragma once

#include "platform/process_runner.h"
#include "platform/workspace.h"

namespace tf {

class DesktopWorkspace : public Workspace {
  public:
    explicit DesktopWorkspace(ProcessRunner& processes);

    bool launchApplication(std::string_view application,
                           const std::vector<std::string>& paths) override;
    bool openPath(const std::string& path) override;
    bool openUrl(const std::string& url) override;
    // Runs $TRACKFOLIO_HOST_APP when set, else "trackfolio" beside this program, else the
    // one on PATH, with the paths as arguments.
    bool launchHostApplication(const std::vector<std::string>& paths) override;
    bool runService(std::string_view service, const std::vector<std::string>& paths) override;

  private:
    ProcessRunner& processes_;
};

}  // namespace tf
