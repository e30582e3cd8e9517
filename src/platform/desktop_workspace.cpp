#include "platform/desktop_workspace.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "model/menu_manager.h"
#include "platform/application_index.h"
#include "platform/desktop_entries.h"
#include "platform/terminal_launcher.h"
#include "util/path_text.h"
#include "util/posix.h"
#include "util/text.h"

namespace tf {
namespace {

std::optional<std::string> hostProgram() {
    const char* configured = std::getenv("TRACKFOLIO_HOST_APP");
    if (configured != nullptr && configured[0] != '\0') {
        return std::string(configured);
    }
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const auto beside = self.parent_path() / "trackfolio";
        if (isExecutableFile(beside)) {
            return beside.string();
        }
    }
    return findProgram("trackfolio");
}

struct ServiceKind {
    std::string_view name;
    bool second;
    bool tab;
};

constexpr ServiceKind kServices[] = {
    {"New Terminal at Folder", false, false},
    {"New Terminal Tab at Folder", false, true},
    {"New iTerm2 Window Here", true, false},
    {"New iTerm2 Tab Here", true, true},
};

// The folder a terminal service opens at: the first path, or the folder holding it.
std::string serviceFolder(const std::vector<std::string>& paths) {
    for (const auto& path : paths) {
        if (path.empty()) {
            continue;
        }
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(path, ec);
        if (ec) {
            return path;
        }
        if (std::filesystem::is_directory(absolute, ec)) {
            return absolute.string();
        }
        return absolute.parent_path().string();
    }
    return homeFolder();
}

std::optional<Terminal> firstTerminal() {
    auto terminals = availableTerminals();
    if (terminals.empty()) {
        return std::nullopt;
    }
    return terminals.front();
}

std::optional<Terminal> secondTerminal() {
    const std::string chosen =
        RCMenuManager::sharedInstance().sharedDefaults().readString("second terminal");
    if (isValid(chosen)) {
        if (auto terminal = findTerminal(chosen)) {
            return terminal;
        }
    }
    auto terminals = availableTerminals();
    if (terminals.empty()) {
        return std::nullopt;
    }
    return terminals.size() > 1 ? terminals[1] : terminals.front();
}

// Path= of an entry, when it names a folder that exists (else the program would not start).
std::string entryFolder(const DesktopEntry& entry) {
    std::error_code ec;
    if (!entry.workingDirectory.empty() &&
        std::filesystem::is_directory(entry.workingDirectory, ec)) {
        return entry.workingDirectory;
    }
    return {};
}

}  // namespace

DesktopWorkspace::DesktopWorkspace(ProcessRunner& processes) : processes_(processes) {}

bool DesktopWorkspace::launchApplication(std::string_view application,
                                         const std::vector<std::string>& paths) {
    const auto entry = findDesktopEntry(application);
    if (!entry) {
        return false;
    }
    const auto commands = expandExec(*entry, paths);
    if (commands.empty()) {
        return false;
    }
    std::optional<Terminal> terminal;
    if (entry->terminal) {
        terminal = firstTerminal();
        if (!terminal) {
            return false;
        }
    }
    const std::string folder = entryFolder(*entry);
    bool started = true;
    for (const auto& argv : commands) {
        ProcessRequest request;
        if (terminal) {
            request = runCommandRequest(*terminal, argv, folder.empty() ? homeFolder() : folder);
        } else {
            request.argv = argv;
            request.workingDirectory = folder;
        }
        started = processes_.spawnDetached(request) && started;
    }
    return started;
}

std::vector<bool> DesktopWorkspace::hasApplications(const std::vector<std::string>& applications) {
    return installedApplications(applications);
}

bool DesktopWorkspace::openPath(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    // xdg-open knows no "--"; a name starting with a dash must not read as an option.
    const std::string argument = path.front() == '-' ? "./" + path : path;
    return processes_.spawnDetached({{"xdg-open", argument}, {}, {}, {}});
}

bool DesktopWorkspace::openUrl(const std::string& url) {
    if (url.empty() || url.front() == '-') {
        return false;
    }
    return processes_.spawnDetached({{"xdg-open", url}, {}, {}, {}});
}

bool DesktopWorkspace::launchHostApplication(const std::vector<std::string>& paths) {
    const auto program = hostProgram();
    if (!program) {
        return false;
    }
    ProcessRequest request;
    request.argv.push_back(*program);
    for (const auto& path : paths) {
        if (path.empty()) {
            continue;
        }
        // Absolute, so the program's own folder does not matter and no path reads as an option.
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(path, ec);
        request.argv.push_back(ec ? path : absolute.string());
    }
    return processes_.spawnDetached(request);
}

bool DesktopWorkspace::runService(std::string_view service, const std::vector<std::string>& paths) {
    for (const auto& known : kServices) {
        if (known.name != service) {
            continue;
        }
        const auto terminal = known.second ? secondTerminal() : firstTerminal();
        if (!terminal) {
            return false;
        }
        return processes_.spawnDetached(
            openFolderRequest(*terminal, serviceFolder(paths), known.tab));
    }
    return false;
}

}  // namespace tf
