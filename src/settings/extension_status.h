// Whether the context menu can show in each file manager on this machine: the file manager
// is installed, our plugin lies where it loads plugins from, the file manager has not
// switched it off, and the menu service answers on the session bus. Everything it looks at
// comes from a StatusEnvironment, so tests hand it fake folders and a fake bus.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tf {

enum class FileManager { Nautilus, Nemo, Dolphin, Caja, Thunar };

// One row per supported file manager; a new one is a row here plus its plugin folders.
struct FileManagerInfo {
    FileManager id;
    std::string_view name;
    // The program found on PATH when the file manager is installed.
    std::string_view program;
    // Our plugin's file name in the file manager's plugin folder.
    std::string_view pluginFile;
    // Asks a running instance to quit; empty when the file manager has no such option and
    // is asked over the bus instead.
    std::vector<std::string> quitArgv;
    // The folders it loads can be extended without root (Dolphin: QT_PLUGIN_PATH).
    bool userPluginPath = false;
    // It has a switch of its own that can turn our plugin off (Dolphin: kservicemenurc).
    bool ownSwitch = false;
    // We ship a plugin for it; a row without one is left out of the check.
    bool pluginShipped = true;
};

const std::vector<FileManagerInfo>& supportedFileManagers();
const FileManagerInfo& fileManagerInfo(FileManager id);

// Everything the check reads from the machine.
struct StatusEnvironment {
    // Where programs are looked for (PATH).
    std::vector<std::filesystem::path> programFolders;
    // The folders each file manager loads plugins from.
    std::map<FileManager, std::vector<std::filesystem::path>> pluginFolders;
    // Folders our Dolphin plugin may have been installed into without the file manager
    // loading them; each holds kf5/kfileitemaction/<plugin file>.
    std::vector<std::filesystem::path> shippedDolphinRoots;
    // $XDG_CONFIG_HOME, $XDG_DATA_HOME and $XDG_DATA_DIRS.
    std::filesystem::path configHome;
    std::filesystem::path dataHome;
    std::vector<std::filesystem::path> dataDirs;
    // True when the menu service answers (starting it through activation if need be).
    std::function<bool()> serviceAnswers;

    // The real machine's folders; `probe` asks the bus.
    static StatusEnvironment fromSystem(std::function<bool()> probe);
};

struct FileManagerStatus {
    const FileManagerInfo* info = nullptr;
    bool installed = false;
    bool pluginInstalled = false;
    // Where the plugin was found (empty when it was not).
    std::filesystem::path pluginPath;
    // Dolphin only: a plugin file that exists in a folder it does not load yet.
    std::filesystem::path shippedRoot;
    bool enabled = true;
    bool serviceAnswers = false;

    bool hasMenu() const { return installed && pluginInstalled && enabled && serviceAnswers; }
};

class ExtensionStatus {
  public:
    explicit ExtensionStatus(StatusEnvironment environment);

    // One row per installed file manager, in table order; the bus is asked once.
    std::vector<FileManagerStatus> check() const;
    // True when at least one installed file manager shows the menu.
    bool anyFileManagerHasMenu() const;

    // The activation file that lets the bus start the service, in any data folder.
    bool activationFileInstalled() const;
    // Writes the activation file into the user's data folder, running `syncProgram serve`.
    bool installActivationFile(const std::string& syncProgram, std::string* error) const;
    // Adds `root` to the plugin path of the user's next session (environment.d).
    bool installDolphinPluginPath(const std::filesystem::path& root, std::string* error) const;
    // Turns Dolphin's own switch for our plugin back on; other settings stay as they are.
    bool enableDolphinPlugin(std::string* error) const;

    const StatusEnvironment& environment() const { return environment_; }

  private:
    bool dolphinSwitchOn() const;
    std::vector<std::filesystem::path> userDolphinRoots() const;
    std::filesystem::path environmentFile() const;

    StatusEnvironment environment_;
};

// True when the menu service answers on the session bus within a short time.
bool menuServiceAnswers();

// Convenience for the general page: the real machine, the real bus.
bool anyFileManagerHasMenu();

}  // namespace tf

namespace tf {

// The menu service on the bus, as the settings application drives it.
class ExtensionBus {
  public:
    virtual ~ExtensionBus() = default;
    // Asks the running service to end after the work in hand; nothing when none runs.
    virtual void quit() = 0;
    // Asks the bus to start the service once the old one has left.
    virtual void activate() = 0;
};

// The session bus.
class SessionExtensionBus : public ExtensionBus {
  public:
    void quit() override;
    void activate() override;
};

// Ends the running service and starts a fresh one half a second later, so the new one reads
// every setting anew. The second half runs on the Qt event loop; `bus` must outlive it.
void restartExtension(ExtensionBus& bus);

}  // namespace tf
