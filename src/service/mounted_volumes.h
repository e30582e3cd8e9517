// The mounted local volumes, from GIO's volume monitor.
#pragma once

#include <functional>
#include <string>
#include <vector>

typedef struct _GVolumeMonitor GVolumeMonitor;

namespace tf {

// Root folders of the mounts that live on this machine (network and virtual mounts have no
// local root and are left out).
std::vector<std::string> localMountRoots();

// Calls `changed` on the GLib main context (the Qt event loop on Linux) whenever a mount
// comes or goes.
class MountWatcher {
  public:
    explicit MountWatcher(std::function<void()> changed);
    ~MountWatcher();
    MountWatcher(const MountWatcher&) = delete;
    MountWatcher& operator=(const MountWatcher&) = delete;

    void notify() const { changed_(); }

  private:
    std::function<void()> changed_;
    GVolumeMonitor* monitor_ = nullptr;
    unsigned long addedHandler_ = 0;
    unsigned long removedHandler_ = 0;
};

}  // namespace tf
