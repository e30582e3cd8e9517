#include "commands/open/open_commands.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "commands/builtin_commands.h"
#include "commands/common/alerts.h"
#include "engine/check_permit.h"
#include "engine/finder_sync.h"
#include "fs/file_access.h"
#include "model/menu_manager.h"
#include "platform/pasteboard.h"
#include "util/path_text.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {
namespace {

// Values of "main open key" the settings application acts on when it starts with files.
constexpr std::int64_t kMainOpenAirDrop = 7;
constexpr std::int64_t kMainOpenDesktopPicture = 8;

// The one application that is meant to open at these folders from a background menu.
constexpr std::string_view kFolderApplication = "Warp";

// Folders that a background menu shows so often that handing them to an application would
// open the application on the whole home folder or the system, which nobody wants.
bool isSystemFolder(const std::string& path) {
    static constexpr std::array<std::string_view, 8> kSystem{"/",    "/home", "/usr",   "/etc",
                                                             "/opt", "/var",  "/media", "/mnt"};
    static constexpr std::array<std::string_view, 8> kUserFolders{
        "DESKTOP", "DOCUMENTS", "DOWNLOAD",  "PICTURES",
        "MUSIC",   "VIDEOS",    "TEMPLATES", "PUBLICSHARE"};
    const std::string normalised = standardizePath(path);
    for (const auto folder : kSystem) {
        if (normalised == folder) {
            return true;
        }
    }
    const std::string home = homeFolder();
    if (!home.empty() && normalised == standardizePath(home)) {
        return true;
    }
    for (const auto kind : kUserFolders) {
        const std::string folder = xdgUserDir(kind);
        if (!folder.empty() && normalised == folder) {
            return true;
        }
    }
    return false;
}

// Starts the application with the path, or alone for an empty path.
bool launchWithPath(FinderSync& sync, const std::string& application, const std::string& path) {
    std::string given = path;
    if (!sync.isSelectURL() && isValid(given) && isSystemFolder(given) &&
        application != kFolderApplication) {
        given.clear();
    }
    std::vector<std::string> paths;
    if (isValid(given)) {
        paths.push_back(given);
    }
    return sync.ports().workspace->launchApplication(application, paths);
}

bool launchAlone(FinderSync& sync, const std::string& application) {
    return sync.ports().workspace->launchApplication(application, {});
}

void openWithApp(FinderSync& sync, const RCMenuItem& item, const std::string& path) {
    const std::string& application = item.appName;
    if (!isValid(application)) {
        return;
    }
    if (isValid(path)) {
        if (!launchWithPath(sync, application, path) && !launchAlone(sync, application)) {
            alertWithMsg(sync, localized("Open Error Tip"));
        }
        return;
    }
    const std::vector<std::string> selection = sync.selectPaths();
    if (selection.empty()) {
        if (!launchAlone(sync, application)) {
            alertWithMsg(sync, localized("Open Error Tip"));
        }
        return;
    }
    for (const auto& selected : selection) {
        if (launchWithPath(sync, application, selected)) {
            continue;
        }
        if (!launchAlone(sync, application)) {
            alertWithMsg(sync, localized("Open Error Tip"));
            return;
        }
    }
}

bool pathExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

void openCommonPath(FinderSync& sync, const std::string& path,
                    const std::optional<RCMenuItem>& grandchild) {
    if (!pathExists(path)) {
        alertWithMsg(sync, localized("Common Path Not Exist Tip"));
        return;
    }
    const Ports& ports = sync.ports();
    RCCheckPermit::checkPermitWithPath(
        path, *ports.ui,
        [&] {
            if (grandchild && isValid(grandchild->serve)) {
                openServe(sync, grandchild->serve, path);
            } else if (grandchild && isValid(grandchild->appName)) {
                openWithApp(sync, *grandchild, path);
            } else if (grandchild && isValid(grandchild->path)) {
                if (!ports.workspace->openPath(grandchild->path)) {
                    RCCheckPermit::accessPrivacy(*ports.ui, *ports.workspace, path);
                }
            } else if (!ports.workspace->openPath(path)) {
                RCCheckPermit::accessPrivacy(*ports.ui, *ports.workspace, path);
            }
        },
        [] {});
}

void copyPath(FinderSync& sync) {
    std::string text;
    for (const auto& path : sync.selectPaths()) {
        text += path;
        text += '\n';
    }
    copyToPasteboard(*sync.ports().pasteboard, text);
}

void deletePath(FinderSync& sync) {
    if (RCMenuManager::sharedInstance().sharedDefaults().readBool("pref check0")) {
        AlertRequest request;
        request.message = localized("Warn");
        request.informative = localized("Delete Tip");
        request.buttons = {localized("OK"), localized("Cancel")};
        request.style = AlertStyle::Warning;
        if (sync.showAlert(request) != 0) {
            return;
        }
    }
    const std::vector<std::string> selection = sync.selectURLs();
    for (const auto& path : selection) {
        std::error_code ec;
        // Nothing at the path is a failure too: the item the user saw was not deleted by us.
        const bool present = std::filesystem::symlink_status(path, ec).type() !=
                             std::filesystem::file_type::not_found;
        if (ec || !present) {
            alertWithMsg(sync, localized("Delete Fail Tip"));
            continue;
        }
        std::filesystem::remove_all(path, ec);
        if (ec) {
            alertWithMsg(sync, localized("Delete Fail Tip"));
        }
    }
}

void openFilesFromMainApp(FinderSync& sync, const RCMenuItem& item) {
    std::int64_t value = 0;
    if (item.isAirDrop()) {
        value = kMainOpenAirDrop;
    } else if (item.isDesktopPicture()) {
        value = kMainOpenDesktopPicture;
    } else {
        return;
    }
    SettingsStore& settings = RCMenuManager::sharedInstance().sharedDefaults();
    settings.set("main open key", Value(value));
    if (!sync.ports().workspace->launchHostApplication(sync.selectPaths())) {
        settings.remove("main open key");
        alertWithMsg(sync, localized("Open Error Tip"));
    }
}

}  // namespace

void openServe(FinderSync& sync, const std::string& serve, const std::string& path) {
    std::vector<std::string> paths;
    if (isValid(path)) {
        paths.push_back(path);
    } else {
        paths = sync.selectPaths();
    }
    if (paths.empty()) {
        std::string desktop = xdgUserDir("DESKTOP");
        paths.push_back(desktop.empty() ? homeFolder() : desktop);
    }
    // A terminal that does not start has nothing more to say than its absence.
    sync.ports().workspace->runService(serve, paths);
}

void registerOpenCommands(CommandTable& table) {
    table.set(CommandId::OpenWithApp, [](FinderSync& sync, const CommandCall& call) {
        openWithApp(sync, call.item, call.path);
    });
    table.set(CommandId::OpenServe, [](FinderSync& sync, const CommandCall& call) {
        openServe(sync, call.serve, call.path);
    });
    table.set(CommandId::OpenCommonPath, [](FinderSync& sync, const CommandCall& call) {
        openCommonPath(sync, call.path, call.grandchild);
    });
    table.set(CommandId::CopyPath, [](FinderSync& sync, const CommandCall&) { copyPath(sync); });
    table.set(CommandId::DeletePath,
              [](FinderSync& sync, const CommandCall&) { deletePath(sync); });
    table.set(CommandId::HandOff, [](FinderSync& sync, const CommandCall& call) {
        openFilesFromMainApp(sync, call.item);
    });
}

}  // namespace tf
