#include "model/file_access.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <mutex>

#include "util/path_text.h"
#include "util/text.h"

namespace tf {

namespace {

std::mutex g_seamMutex;
WritableCheck g_writableCheck;
FolderLister g_folderLister;

std::optional<std::vector<std::string>> realListFolder(const std::string& path) {
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    ::closedir(dir);
    return names;
}

}  // namespace

bool isWritablePath(const std::string& path) {
    WritableCheck check;
    {
        const std::lock_guard guard(g_seamMutex);
        check = g_writableCheck;
    }
    return check ? check(path) : ::access(path.c_str(), W_OK) == 0;
}

std::optional<std::vector<std::string>> listFolder(const std::string& path) {
    FolderLister lister;
    {
        const std::lock_guard guard(g_seamMutex);
        lister = g_folderLister;
    }
    return lister ? lister(path) : realListFolder(path);
}

void setWritableCheck(WritableCheck check) {
    const std::lock_guard guard(g_seamMutex);
    g_writableCheck = std::move(check);
}

void setFolderLister(FolderLister lister) {
    const std::lock_guard guard(g_seamMutex);
    g_folderLister = std::move(lister);
}

std::string xdgUserDir(std::string_view kind) {
    const std::string home = homeFolder();
    const std::string variable = "XDG_" + std::string(kind) + "_DIR";
    if (const char* value = std::getenv(variable.c_str()); value != nullptr && value[0] == '/') {
        return standardizePath(value);
    }
    std::string configHome;
    if (const char* value = std::getenv("XDG_CONFIG_HOME"); value != nullptr && value[0] == '/') {
        configHome = value;
    } else if (!home.empty()) {
        configHome = home + "/.config";
    }
    // Lines look like: XDG_DESKTOP_DIR="$HOME/Desktop"
    std::ifstream in(configHome + "/user-dirs.dirs");
    for (std::string line; std::getline(in, line);) {
        line = trim(line);
        if (!startsWith(line, variable + "=")) {
            continue;
        }
        std::string value = line.substr(variable.size() + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (startsWith(value, "$HOME")) {
            value = home + value.substr(5);
        }
        if (!value.empty() && value[0] == '/') {
            return standardizePath(value);
        }
    }
    if (home.empty()) {
        return {};
    }
    static constexpr std::pair<std::string_view, std::string_view> kDefaults[] = {
        {"DESKTOP", "Desktop"},    {"DOWNLOAD", "Downloads"},  {"TEMPLATES", "Templates"},
        {"PUBLICSHARE", "Public"}, {"DOCUMENTS", "Documents"}, {"MUSIC", "Music"},
        {"PICTURES", "Pictures"},  {"VIDEOS", "Videos"}};
    for (const auto& [name, folder] : kDefaults) {
        if (name == kind) {
            return standardizePath(home + "/" + std::string(folder));
        }
    }
    return {};
}

}  // namespace tf
