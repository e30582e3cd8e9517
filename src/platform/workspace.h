// Port to the desktop: opening files, starting applications, desktop services and the
// hand-off to the settings application. The engine talks to the desktop only through here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tf {

class Workspace {
  public:
    virtual ~Workspace() = default;

    // Starts an application given by a .desktop path, desktop-file id or application name,
    // with the paths as its files; true when it started.
    virtual bool launchApplication(std::string_view application,
                                   const std::vector<std::string>& paths) = 0;
    // For each application (given as launchApplication takes it), whether launchApplication
    // would find it. Menus ask on every request, so an answer must be cheap. A desktop that
    // cannot tell says yes: the launch then reports the failure.
    virtual std::vector<bool> hasApplications(const std::vector<std::string>& applications) {
        return std::vector<bool>(applications.size(), true);
    }
    // Opens a file or folder with its default application.
    virtual bool openPath(const std::string& path) = 0;
    // Opens a web or settings address.
    virtual bool openUrl(const std::string& url) = 0;
    // Starts the settings application, handing it the paths (the hand-off; none for "open").
    virtual bool launchHostApplication(const std::vector<std::string>& paths) = 0;
    // Performs a desktop service by name ("New Terminal at Folder", ...) on the paths.
    virtual bool runService(std::string_view service, const std::vector<std::string>& paths) = 0;
};

}  // namespace tf
