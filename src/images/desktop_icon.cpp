#include "images/desktop_icon.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>

#include "images/image_backend.h"
#include "util/path_text.h"
#include "util/resources.h"
#include "util/text.h"

namespace tf {

namespace {

namespace fs = std::filesystem;

// Reads "key=value" lines of one group of a desktop-style file.
std::optional<std::string> iniValue(const fs::path& file, std::string_view group,
                                    std::string_view key) {
    std::ifstream in(file);
    std::string line;
    bool inGroup = false;
    const std::string prefix = std::string(key) + "=";
    while (std::getline(in, line)) {
        const std::string trimmed = trim(line);
        if (startsWith(trimmed, "[")) {
            inGroup = trimmed == "[" + std::string(group) + "]";
        } else if (inGroup && startsWith(trimmed, prefix)) {
            std::string value = trim(trimmed.substr(prefix.size()));
            if (!value.empty())
                return value;
        }
    }
    return std::nullopt;
}

using IniGroups = std::map<std::string, std::map<std::string, std::string>>;

// Every group of a desktop-style file at once (theme indexes have hundreds of groups).
IniGroups readIni(std::istream& in) {
    IniGroups groups;
    std::map<std::string, std::string>* current = nullptr;
    std::string line;
    while (std::getline(in, line)) {
        const std::string trimmed = trim(line);
        if (startsWith(trimmed, "[") && trimmed.back() == ']') {
            current = &groups[trimmed.substr(1, trimmed.size() - 2)];
        } else if (current) {
            const std::size_t equals = trimmed.find('=');
            if (equals != std::string::npos)
                current->emplace(trim(trimmed.substr(0, equals)), trim(trimmed.substr(equals + 1)));
        }
    }
    return groups;
}

std::string iniGet(const IniGroups& groups, const std::string& group, const std::string& key,
                   const std::string& fallback = {}) {
    const auto g = groups.find(group);
    if (g == groups.end())
        return fallback;
    const auto v = g->second.find(key);
    return v == g->second.end() || v->second.empty() ? fallback : v->second;
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> parts;
    std::string part;
    for (const char c : text + ",") {
        if (c == ',' || c == ';') {
            if (!trim(part).empty())
                parts.push_back(trim(part));
            part.clear();
        } else {
            part += c;
        }
    }
    return parts;
}

// ~/.icons, then $XDG_DATA_HOME and $XDG_DATA_DIRS, each with "/icons", in the order the
// icon theme rules search them.
std::vector<fs::path> iconBases() {
    std::vector<fs::path> bases{fs::path(homeFolder()) / ".icons"};
    const char* home = std::getenv("XDG_DATA_HOME");
    bases.push_back((home && *home ? fs::path(home) : fs::path(homeFolder()) / ".local/share") /
                    "icons");
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    const std::string all = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
    std::size_t start = 0;
    while (start <= all.size()) {
        const std::size_t colon = all.find(':', start);
        const std::string dir = all.substr(start, colon - start);
        if (!dir.empty())
            bases.push_back(fs::path(dir) / "icons");
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return bases;
}

struct ThemeFolder {
    std::string name;
    int pixels = 0;  // size x scale; scalable folders count as the largest
    bool scalable = false;
};

struct Theme {
    std::vector<ThemeFolder> folders;  // best first
    std::vector<std::string> inherits;
};

std::optional<Theme> readTheme(const std::string& name, const std::vector<fs::path>& bases) {
    for (const fs::path& base : bases) {
        const fs::path index = base / name / "index.theme";
        std::ifstream in(index);
        if (!in)
            continue;
        const IniGroups ini = readIni(in);
        Theme theme;
        for (const std::string& folder : splitList(iniGet(ini, "Icon Theme", "Directories"))) {
            ThemeFolder entry{folder};
            entry.scalable = iniGet(ini, folder, "Type") == "Scalable";
            entry.pixels = std::atoi(iniGet(ini, folder, "Size", "0").c_str()) *
                           std::max(1, std::atoi(iniGet(ini, folder, "Scale", "1").c_str()));
            theme.folders.push_back(entry);
        }
        std::stable_sort(theme.folders.begin(), theme.folders.end(),
                         [](const ThemeFolder& x, const ThemeFolder& y) {
                             if (x.scalable != y.scalable)
                                 return x.scalable;
                             return x.pixels > y.pixels;
                         });
        theme.inherits = splitList(iniGet(ini, "Icon Theme", "Inherits"));
        return theme;
    }
    return std::nullopt;
}

// The themes to search by name, the current one first, then what it inherits (breadth
// first, each once), hicolor last.
std::vector<std::pair<std::string, Theme>> themeChain(const std::vector<fs::path>& bases) {
    std::vector<std::pair<std::string, Theme>> chain;
    std::set<std::string> seen;
    std::vector<std::string> pending{currentIconTheme()};
    while (!pending.empty()) {
        const std::string name = pending.front();
        pending.erase(pending.begin());
        if (name == "hicolor" || !seen.insert(name).second)
            continue;
        if (auto theme = readTheme(name, bases)) {
            pending.insert(pending.end(), theme->inherits.begin(), theme->inherits.end());
            chain.emplace_back(name, std::move(*theme));
        }
    }
    if (auto hicolor = readTheme("hicolor", bases))
        chain.emplace_back("hicolor", std::move(*hicolor));
    return chain;
}

std::optional<std::string> findInTheme(const Theme& theme, const std::string& themeName,
                                       const std::string& icon,
                                       const std::vector<fs::path>& bases) {
    std::error_code error;
    for (const ThemeFolder& folder : theme.folders) {
        for (const char* extension : {".svg", ".png"}) {
            if (!folder.scalable && std::string_view(extension) == ".svg")
                continue;
            for (const fs::path& base : bases) {
                const fs::path file = base / themeName / folder.name / (icon + extension);
                if (fs::is_regular_file(file, error))
                    return file.string();
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> fileFromIconValue(const std::string& value) {
    if (value.empty())
        return std::nullopt;
    if (startsWith(value, "file://")) {
        const ImageBackend* backend = imageBackend();
        return backend ? backend->pathOfUri(value) : std::nullopt;
    }
    return themeIconFile({value});
}

}  // namespace

std::string currentIconTheme() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    if (desktop && std::string_view(desktop).find("KDE") != std::string_view::npos) {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        const fs::path kdeglobals =
            (config && *config ? fs::path(config) : fs::path(homeFolder()) / ".config") /
            "kdeglobals";
        return iniValue(kdeglobals, "Icons", "Theme").value_or("breeze");
    }
    const ImageBackend* backend = imageBackend();
    const auto gnome = backend ? backend->gnomeIconTheme() : std::nullopt;
    return gnome.value_or("hicolor");
}

std::optional<std::string> themeIconFile(const std::vector<std::string>& names) {
    const std::vector<fs::path> bases = iconBases();
    const auto chain = themeChain(bases);
    std::error_code error;
    for (const std::string& icon : names) {
        if (icon.empty())
            continue;
        if (icon.front() == '/') {
            if (fs::is_regular_file(icon, error))
                return icon;
            continue;
        }
        for (const auto& [themeName, theme] : chain) {
            if (auto found = findInTheme(theme, themeName, icon, bases))
                return found;
        }
        for (const char* extension : {".svg", ".png"}) {
            const fs::path file = fs::path("/usr/share/pixmaps") / (icon + extension);
            if (fs::is_regular_file(file, error))
                return file.string();
        }
    }
    return std::nullopt;
}

std::optional<std::string> desktopIconFile(const std::string& path) {
    const ImageBackend* backend = imageBackend();
    std::error_code error;
    const bool folder = fs::is_directory(path, error);
    if (folder) {
        if (backend) {
            if (const auto custom = backend->fileAttribute(path, "metadata::custom-icon")) {
                if (auto found = fileFromIconValue(*custom))
                    return found;
            }
        }
        if (const auto icon = iniValue(fs::path(path) / ".directory", "Desktop Entry", "Icon")) {
            if (auto found = fileFromIconValue(*icon))
                return found;
        }
    } else if (pathExtension(path) == "desktop") {
        if (const auto icon = iniValue(path, "Desktop Entry", "Icon")) {
            if (auto found = fileFromIconValue(*icon))
                return found;
        }
    }
    std::vector<std::string> names;
    if (backend)
        names = backend->fileIconNames(path);
    names.push_back(folder ? "folder" : "text-x-generic");
    // The application's own icon when the theme has nothing at all.
    names.push_back(imageResourceIcon("icon"));
    return themeIconFile(names);
}

}  // namespace tf
