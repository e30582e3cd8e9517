// Hand-offs from the menu service: it stores why it started us under "main open key" (7:
// send the files to a nearby device, 8: use the picture as the desktop picture) and starts
// the settings application with the files. Such a launch does its job and shows no window.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tf {

class ProcessRunner;
class SettingsStore;

// The desktop portal's wallpaper request.
class WallpaperPortal {
  public:
    virtual ~WallpaperPortal() = default;
    // False when no portal answered the request.
    virtual bool setWallpaper(const std::string& fileUri) = 0;
};

// GSConnect, the GNOME Shell side of the KDE Connect protocol, over the bus.
class GsConnect {
  public:
    virtual ~GsConnect() = default;
    // Paired devices that are connected now, as bus object paths; nothing when GSConnect is
    // not running.
    virtual std::optional<std::vector<std::string>> reachableDevices() = 0;
    virtual bool shareFile(const std::string& device, const std::string& fileUri) = 0;
};

struct HandOffPorts {
    WallpaperPortal* portal = nullptr;
    GsConnect* gsconnect = nullptr;
    ProcessRunner* processes = nullptr;
    // Where a program lies on PATH, if anywhere.
    std::function<std::optional<std::string>(const std::string&)> findProgram;
    // $XDG_CURRENT_DESKTOP: which desktop's own setting is the fallback.
    std::string desktop;
    // Tells the user something went wrong (an alert in the application).
    std::function<void(const std::string&)> tell;

    // The session bus, the real programs, message boxes.
    static HandOffPorts system();
};

// Reads and removes "main open key". For 7 or 8 it passes `paths` on and returns true: the
// launch was a hand-off and the window stays hidden. Any other value does nothing.
bool handleHandOff(SettingsStore& shared, const std::vector<std::string>& paths,
                   HandOffPorts& ports);

// The same with the shared settings and the system's ports: what the application's main
// calls with the files it was started with.
bool handleHandOff(const std::vector<std::string>& paths);

}  // namespace tf
