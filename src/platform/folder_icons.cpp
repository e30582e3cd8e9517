#include "platform/folder_icons.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <vector>

#include "images/image_backend.h"
#include "util/path_text.h"
#include "util/posix.h"
#include "util/text.h"

#include <fcntl.h>

namespace tf {

namespace {

namespace fs = std::filesystem;

constexpr const char* kAttribute = "metadata::custom-icon";
constexpr const char* kGroup = "[Desktop Entry]";

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

bool isGroupHeader(const std::string& line) {
    return startsWith(trim(line), "[");
}

bool isIconLine(const std::string& line) {
    const std::string trimmed = trim(line);
    if (!startsWith(trimmed, "Icon"))
        return false;
    const std::string rest = trim(trimmed.substr(4));
    return startsWith(rest, "=");
}

bool setMetadata(const std::string& folder, const std::optional<std::string>& uri) {
    const ImageBackend* backend = imageBackend();
    return backend && backend->setFileAttribute(folder, kAttribute, uri);
}

bool writeText(const std::string& path, const std::string& text) {
    return replaceFileContents(path, text) == 0;
}

bool updateDirectoryFile(const std::string& folder, const std::optional<std::string>& image) {
    const std::string path = childPath(folder, ".directory");
    const std::optional<std::string> old = readFileBytes(path);
    if (!old) {
        // Nothing to remove; a file is made only to hold an icon.
        if (!image)
            return true;
        return writeText(path, withDirectoryIcon({}, image));
    }
    const std::string text = withDirectoryIcon(*old, image);
    if (text == *old)
        return true;
    if (trim(text).empty())
        return ::unlink(path.c_str()) == 0;
    return writeText(path, text);
}

}  // namespace

std::optional<std::string> directoryIcon(const std::string& text) {
    bool inGroup = false;
    for (const std::string& line : linesOf(text)) {
        if (isGroupHeader(line)) {
            inGroup = trim(line) == kGroup;
        } else if (inGroup && isIconLine(line)) {
            const std::string value = trim(line.substr(line.find('=') + 1));
            if (!value.empty())
                return value;
        }
    }
    return std::nullopt;
}

std::string withDirectoryIcon(const std::string& text, const std::optional<std::string>& value) {
    std::vector<std::string> lines = linesOf(text);
    std::vector<std::string> out;
    bool inGroup = false;
    bool placed = false;
    std::size_t groupAt = std::string::npos;
    for (const std::string& line : lines) {
        if (isGroupHeader(line)) {
            inGroup = trim(line) == kGroup;
            if (inGroup && groupAt == std::string::npos) {
                groupAt = out.size();
                out.push_back(line);
                if (value) {
                    out.push_back("Icon=" + *value);
                    placed = true;
                }
                continue;
            }
        } else if (inGroup && isIconLine(line)) {
            continue;  // ours: replaced above, or removed
        }
        out.push_back(line);
    }
    if (value && !placed) {
        if (!out.empty() && !trim(out.back()).empty())
            out.emplace_back();
        out.push_back(kGroup);
        out.push_back("Icon=" + *value);
    }
    if (!value && groupAt != std::string::npos) {
        // A group left without keys goes, with the blank lines that followed it.
        std::size_t next = groupAt + 1;
        while (next < out.size() && trim(out[next]).empty())
            ++next;
        if (next == out.size() || isGroupHeader(out[next])) {
            out.erase(out.begin() + static_cast<std::ptrdiff_t>(groupAt),
                      out.begin() + static_cast<std::ptrdiff_t>(next));
            // It was last: the blank line that set it apart goes too.
            if (groupAt == out.size()) {
                while (!out.empty() && trim(out.back()).empty())
                    out.pop_back();
            }
        }
    }
    std::string result;
    for (const std::string& line : out)
        result += line + "\n";
    if (trim(result).empty())
        return {};
    return result;
}

FolderIconResult setFolderIcon(const std::string& folder, const std::string& image) {
    FolderIconResult result;
    const ImageBackend* backend = imageBackend();
    if (const auto uri = backend ? backend->uriOfPath(image) : std::nullopt)
        result.metadata = setMetadata(folder, *uri);
    result.directory = updateDirectoryFile(folder, image);
    return result;
}

FolderIconResult removeFolderIcon(const std::string& folder) {
    FolderIconResult result;
    // Removing an attribute that was never set is not a failure.
    result.metadata = !metadataCustomIcon(folder) || setMetadata(folder, std::nullopt);
    result.directory = updateDirectoryFile(folder, std::nullopt);
    return result;
}

std::optional<std::string> metadataCustomIcon(const std::string& folder) {
    const ImageBackend* backend = imageBackend();
    return backend ? backend->fileAttribute(folder, kAttribute) : std::nullopt;
}

}  // namespace tf
