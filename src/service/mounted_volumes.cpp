#include "service/mounted_volumes.h"

#include <gio/gio.h>

#include <algorithm>
#include <utility>

namespace tf {

namespace {

void onMountChanged(GVolumeMonitor*, GMount*, gpointer data) {
    static_cast<const MountWatcher*>(data)->notify();
}

gulong connectMountSignal(GVolumeMonitor* monitor, const char* name, MountWatcher* watcher) {
    return g_signal_connect_data(monitor, name, reinterpret_cast<GCallback>(&onMountChanged),
                                 watcher, nullptr, G_CONNECT_DEFAULT);
}

}  // namespace

std::vector<std::string> localMountRoots() {
    std::vector<std::string> roots;
    GVolumeMonitor* monitor = g_volume_monitor_get();
    GList* mounts = g_volume_monitor_get_mounts(monitor);
    for (GList* node = mounts; node != nullptr; node = node->next) {
        GMount* mount = static_cast<GMount*>(node->data);
        GFile* root = g_mount_get_root(mount);
        if (root != nullptr && g_file_is_native(root)) {
            if (char* path = g_file_get_path(root)) {
                roots.emplace_back(path);
                g_free(path);
            }
        }
        if (root != nullptr) {
            g_object_unref(root);
        }
    }
    g_list_free_full(mounts, g_object_unref);
    g_object_unref(monitor);
    std::sort(roots.begin(), roots.end());
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    return roots;
}

MountWatcher::MountWatcher(std::function<void()> changed)
    : changed_(std::move(changed)), monitor_(g_volume_monitor_get()) {
    addedHandler_ = connectMountSignal(monitor_, "mount-added", this);
    removedHandler_ = connectMountSignal(monitor_, "mount-removed", this);
}

MountWatcher::~MountWatcher() {
    g_signal_handler_disconnect(monitor_, addedHandler_);
    g_signal_handler_disconnect(monitor_, removedHandler_);
    g_object_unref(monitor_);
}

}  // namespace tf
