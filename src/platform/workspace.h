// Port to the desktop: opening files and starting applications. The engine and the model
// talk to the desktop only through this interface; the programs install a Linux adapter.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tf {

class Workspace {
  public:
    virtual ~Workspace() = default;

    // Starts an application given by identifier, desktop-file id, .desktop path or name;
    // true when it started.
    virtual bool launchApplication(std::string_view application,
                                   const std::vector<std::string>& paths) = 0;
    // Opens a file or folder with its default application.
    virtual bool openPath(const std::string& path) = 0;
};

}  // namespace tf
