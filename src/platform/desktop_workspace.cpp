#include "platform/desktop_workspace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace tf {
namespace {

bool isExecutableFile(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

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

}  // namespace

DesktopWorkspace::DesktopWorkspace(ProcessRunner& processes) : processes_(processes) {}

// Desktop entries (by path, id or name) arrive with the desktop-entry adapter.
bool DesktopWorkspace::launchApplication(std::string_view /*application*/,
                                         const std::vector<std::string>& /*paths*/) {
    return false;
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

// Terminal and other services by name arrive with the terminal launcher.
bool DesktopWorkspace::runService(std::string_view /*service*/,
                                  const std::vector<std::string>& /*paths*/) {
    return false;
}

}  // namespace tf
