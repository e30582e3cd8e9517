#include "util/path_text.h"

#include <functional>

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace tf {

namespace {

// withoutTrailingSlashes, as a view into path.
std::string_view trimmedTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

// Position of the dot that starts the last extension of the last component, or npos.
std::size_t extensionDot(std::string_view path) {
    std::string_view trimmed = trimmedTrailingSlashes(path);
    std::size_t slash = trimmed.rfind('/');
    std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    std::size_t dot = trimmed.rfind('.');
    if (dot == std::string_view::npos || dot <= nameStart || dot + 1 >= trimmed.size()) {
        return std::string_view::npos;
    }
    return dot;
}

// The longest file name (in bytes) the file systems take, and the room kept for "-<n>".
constexpr std::size_t kNameMax = NAME_MAX;
constexpr std::size_t kNumberRoom = 21;

// At most `bytes` bytes of text, not ending inside a UTF-8 sequence.
std::string_view utf8Prefix(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes)
        return text;
    std::size_t cut = bytes;
    // A sequence has at most three continuation bytes; other bytes are taken as they are.
    for (int back = 0;
         back < 3 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80; ++back)
        --cut;
    return text.substr(0, cut);
}

bool existsNoFollow(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::uint64_t lstatSize(const std::string& path, bool* isDirectory) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        *isDirectory = false;
        return 0;
    }
    *isDirectory = S_ISDIR(info.st_mode);
    return info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

// Names in a folder except "." and ".."; the folder is closed before returning so a deep
// walk holds at most one descriptor open.
std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

}  // namespace

std::string pathExtension(std::string_view path) {
    std::size_t dot = extensionDot(path);
    if (dot == std::string_view::npos)
        return {};
    std::string_view trimmed = trimmedTrailingSlashes(path);
    return std::string(trimmed.substr(dot + 1));
}

std::string deletingPathExtension(std::string_view path) {
    std::string_view trimmed = trimmedTrailingSlashes(path);
    std::size_t dot = extensionDot(path);
    if (dot == std::string_view::npos)
        return std::string(trimmed);
    return std::string(trimmed.substr(0, dot));
}

std::string lastPathComponent(std::string_view path) {
    std::string_view trimmed = trimmedTrailingSlashes(path);
    if (trimmed == "/")
        return "/";
    std::size_t slash = trimmed.rfind('/');
    if (slash == std::string_view::npos)
        return std::string(trimmed);
    return std::string(trimmed.substr(slash + 1));
}

std::string deletingLastPathComponent(std::string_view path) {
    std::string_view trimmed = trimmedTrailingSlashes(path);
    if (trimmed == "/")
        return "/";
    std::size_t slash = trimmed.rfind('/');
    if (slash == std::string_view::npos)
        return {};
    std::string_view parent = trimmedTrailingSlashes(trimmed.substr(0, slash));
    return parent.empty() ? "/" : std::string(parent);
}

std::string withoutTrailingSlashes(std::string_view path) {
    return std::string(trimmedTrailingSlashes(path));
}

std::string childPath(std::string_view folder, std::string_view name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

std::string standardizePath(std::string_view path) {
    std::string expanded;
    if (path == "~" || path.starts_with("~/")) {
        expanded = homeFolder();
        expanded += path.substr(1);
    } else {
        expanded = path;
    }
    if (expanded.empty())
        return {};

    bool absolute = expanded.front() == '/';
    std::vector<std::string_view> parts;
    std::string_view rest = expanded;
    while (!rest.empty()) {
        std::size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") {
                parts.pop_back();
                continue;
            }
            // Above the root there is nothing; a relative path keeps climbing.
            if (absolute)
                continue;
        }
        parts.push_back(part);
    }

    std::string result = absolute ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            result += '/';
        result += parts[i];
    }
    return result.empty() ? "." : result;
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return home;
    long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return "/";
}

std::string uniquePath(std::string_view path) {
    return uniquePath(path, [](const std::string& candidate) { return existsNoFollow(candidate); });
}

std::string uniquePath(std::string_view path,
                       const std::function<bool(const std::string&)>& taken) {
    std::string candidate(path);
    if (!taken(candidate))
        return candidate;

    // The number goes between stem and extension; the stem gives way when the numbered name
    // would be longer than a name may be, so a name already at the limit still gets a variant.
    const std::size_t slash = path.rfind('/');
    const std::string_view folder =
        slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
    const std::string_view name = path.substr(folder.size());
    std::string stem = deletingPathExtension(name);
    std::string extension = pathExtension(name);
    if (!extension.empty())
        extension.insert(0, ".");
    // An extension that leaves hardly any room is treated as part of the stem.
    if (extension.size() + kNumberRoom >= kNameMax) {
        stem = std::string(name);
        extension.clear();
    }
    for (unsigned long long n = 1;; ++n) {
        const std::string suffix = "-" + std::to_string(n) + extension;
        candidate = std::string(folder);
        candidate += utf8Prefix(stem, kNameMax - suffix.size());
        candidate += suffix;
        if (!taken(candidate))
            return candidate;
    }
}

std::uint64_t fileSize(const std::filesystem::path& path) {
    std::uint64_t total = 0;
    try {
        bool isDirectory = false;
        std::uint64_t own = lstatSize(path.native(), &isDirectory);
        if (!isDirectory)
            return own;

        // Iterative walk: deep trees cannot exhaust the stack, and an entry that vanishes or
        // cannot be read only loses its own contribution, not the rest of the walk.
        std::vector<std::string> pending{path.native()};
        while (!pending.empty()) {
            std::string folder = std::move(pending.back());
            pending.pop_back();
            for (const std::string& name : folderEntries(folder)) {
                std::string child = folder;
                if (child.back() != '/')
                    child += '/';
                child += name;
                total += lstatSize(child, &isDirectory);
                if (isDirectory)
                    pending.push_back(std::move(child));
            }
        }
    } catch (...) {
        // Out of memory while walking a huge tree: what was counted so far is the answer.
    }
    return total;
}

}  // namespace tf
