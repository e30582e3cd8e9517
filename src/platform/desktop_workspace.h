// The workspace of this desktop, reached through programs run with argument vectors: the
// settings application for the hand-off, xdg-open for files and addresses, desktop entries
// for applications by name, and the user's terminal for the terminal services.
#pragma once

#include "platform/process_runner.h"
#include "platform/workspace.h"

namespace tf {

class DesktopWorkspace : public Workspace {
  public:
    explicit DesktopWorkspace(ProcessRunner& processes);

    // Finds the desktop entry (see findDesktopEntry) and starts it; an entry that runs in a
    // terminal starts inside the first terminal found.
    bool launchApplication(std::string_view application,
                           const std::vector<std::string>& paths) override;
    // From the index of the applications folders, read again only when they change.
    std::vector<bool> hasApplications(const std::vector<std::string>& applications) override;
    bool openPath(const std::string& path) override;
    bool openUrl(const std::string& url) override;
    // Runs $TRACKFOLIO_HOST_APP when set, else "trackfolio" beside this program, else the
    // one on PATH, with the paths as arguments.
    bool launchHostApplication(const std::vector<std::string>& paths) override;
    // The terminal services, at the first path (its folder when it is a file):
    // "New Terminal at Folder" / "New Terminal Tab at Folder" use the first terminal found,
    // "New iTerm2 Window Here" / "New iTerm2 Tab Here" the second one (the shared setting
    // "second terminal" when it names an installed program, else the second terminal found,
    // else the only one). Tabs where the terminal has them, else windows. Other names: false.
    bool runService(std::string_view service, const std::vector<std::string>& paths) override;

  private:
    ProcessRunner& processes_;
};

}  // namespace tf
