#include "util/resources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <system_error>
#include <unordered_map>

#include "util/posix.h"

namespace tf {

namespace {

constexpr std::string_view kSvgPrefix = "svg:";

// Resource name -> icon-theme name, or "svg:<file>" for our own drawings in
// <data folder>/icons. Theme names are the generic freedesktop ones so every
// common theme draws them; names no theme has (brands, the product) get our own SVG.
// Hashed: menus look up a name for every entry they show.
const std::unordered_map<std::string_view, std::string_view>& resourceTable() {
    static const std::unordered_map<std::string_view, std::string_view> table = {
        // Menu entries.
        {"newfile", "document-new"},
        {"favorites", "user-bookmarks"},
        {"app", "application-x-executable"},
        {"script", "text-x-script"},
        {"foldericon", "svg:foldericon.svg"},
        {"execute", "system-run"},
        {"airdrop", "document-send"},
        {"desktop_pic", "preferences-desktop-wallpaper"},
        {"copy", "edit-copy"},
        {"move", "go-jump"},
        {"convert", "view-refresh"},
        {"cut", "edit-cut"},
        {"lock", "changes-prevent"},
        {"compress", "package-x-generic"},
        {"embed", "folder-new"},
        {"unembed", "folder-open"},
        {"colorpicker", "svg:colorpicker.svg"},
        {"img", "image-x-generic"},
        {"fileinfo", "dialog-information"},
        {"terminal", "utilities-terminal"},
        {"iterm2", "svg:iterm2.svg"},
        {"copypath", "svg:copypath.svg"},
        {"delete", "edit-delete"},
        {"hidefile", "svg:hidefile.svg"},
        {"showfile", "svg:showfile.svg"},
        {"about", "help-about"},

        // Images set while the menu is built, and the common-path listings.
        {"paste", "edit-paste"},
        {"unlock", "changes-allow"},
        {"recover", "edit-undo"},
        {"choose", "folder-open"},
        {"set", "preferences-system"},
        {"add", "list-add"},
        {"showfinder", "system-file-manager"},
        {"more", "svg:more.svg"},

        // Types derived from a path, and the product's own images.
        {"folder", "folder"},
        {"file", "text-x-generic"},
        {"icon", "svg:trackfolio.svg"},
        {"trackfolio", "svg:trackfolio.svg"},

        // Template and file types (lower-case extensions).
        {"txt", "text-x-generic"},
        {"rtf", "x-office-document"},
        {"json", "text-x-generic"},
        {"docx", "x-office-document"},
        {"xlsx", "x-office-spreadsheet"},
        {"pptx", "x-office-presentation"},
        {"pages", "x-office-document"},
        {"numbers", "x-office-spreadsheet"},
        {"key", "x-office-presentation"},
        {"md", "text-x-generic"},
        {"wps", "x-office-document"},
        {"et", "x-office-spreadsheet"},
        {"dps", "x-office-presentation"},
        {"html", "text-html"},
        {"htm", "text-html"},
        {"xml", "text-x-generic"},
        {"css", "text-x-generic"},
        {"js", "text-x-script"},
        {"py", "text-x-script"},
        {"sh", "text-x-script"},
        {"odt", "x-office-document"},
        {"ods", "x-office-spreadsheet"},
        {"odp", "x-office-presentation"},
        {"odg", "x-office-drawing"},
        {"csv", "x-office-spreadsheet"},
        {"pdf", "x-office-document"},
        {"log", "text-x-generic"},
        {"yaml", "text-x-generic"},
        {"yml", "text-x-generic"},
        {"toml", "text-x-generic"},
        {"ini", "text-x-generic"},
        {"png", "image-x-generic"},
        {"jpg", "image-x-generic"},
        {"jpeg", "image-x-generic"},
        {"gif", "image-x-generic"},
        {"bmp", "image-x-generic"},
        {"tif", "image-x-generic"},
        {"tiff", "image-x-generic"},
        {"webp", "image-x-generic"},
        {"heic", "image-x-generic"},
        {"ico", "image-x-generic"},
        {"icns", "image-x-generic"},
        {"svg", "image-x-generic"},
        {"zip", "package-x-generic"},
        {"tar", "package-x-generic"},
        {"gz", "package-x-generic"},
        {"tgz", "package-x-generic"},
        {"bz2", "package-x-generic"},
        {"xz", "package-x-generic"},
        {"7z", "package-x-generic"},
        {"rar", "package-x-generic"},
        {"deb", "package-x-generic"},
        {"rpm", "package-x-generic"},
        {"dmg", "package-x-generic"},
        {"mp3", "audio-x-generic"},
        {"wav", "audio-x-generic"},
        {"flac", "audio-x-generic"},
        {"ogg", "audio-x-generic"},
        {"m4a", "audio-x-generic"},
        {"aac", "audio-x-generic"},
        {"mp4", "video-x-generic"},
        {"mov", "video-x-generic"},
        {"mkv", "video-x-generic"},
        {"avi", "video-x-generic"},
        {"webm", "video-x-generic"},
        {"ttf", "font-x-generic"},
        {"otf", "font-x-generic"},
        {"c", "text-x-script"},
        {"cpp", "text-x-script"},
        {"cc", "text-x-script"},
        {"h", "text-x-script"},
        {"hpp", "text-x-script"},
        {"kt", "text-x-script"},
        {"go", "text-x-script"},
        {"rs", "text-x-script"},
        {"rb", "text-x-script"},
        {"php", "text-x-script"},
        {"swift", "text-x-script"},
        {"ts", "text-x-script"},
        {"sql", "text-x-script"},
        {"pl", "text-x-script"},
        {"lua", "text-x-script"},
        {"scpt", "svg:applescript.svg"},
        {"exe", "application-x-executable"},
        {"appimage", "application-x-executable"},

        // Applications.
        {"weixin", "svg:weixin.svg"},
        {"vscode", "svg:vscode.svg"},
        {"sublime", "svg:sublime.svg"},
        {"studio", "svg:studio.svg"},
        {"idea", "svg:idea.svg"},
        {"webstorm", "svg:webstorm.svg"},
        {"pycharm", "svg:pycharm.svg"},
        {"phpstorm", "svg:phpstorm.svg"},
        {"goland", "svg:goland.svg"},
        {"warp", "svg:warp.svg"},
        {"emacs", "svg:emacs.svg"},

        // Folder-icon images.
        {"love", "emblem-favorite"},
        {"google", "svg:google.svg"},
        {"java", "svg:java.svg"},  // also the type image of .java files
        {"qq", "svg:qq.svg"},
        {"zapier", "svg:zapier.svg"},
        {"pyq", "svg:pyq.svg"},
        {"html5", "svg:html5.svg"},
        {"twitter", "svg:twitter.svg"},
        {"ding", "svg:ding.svg"},
        {"skype", "svg:skype.svg"},
        {"apple", "svg:apple.svg"},
        {"share", "emblem-shared"},
        {"wechat", "svg:wechat.svg"},
        {"weibo", "svg:weibo.svg"},
        {"youtube", "svg:youtube.svg"},
        {"wepay", "svg:wepay.svg"},
        {"react", "svg:react.svg"},
        {"erji", "audio-headphones"},
        {"question", "dialog-question"},
        {"star", "starred"},

        // Script kinds.
        {"shell", "utilities-terminal"},
        {"python", "svg:python.svg"},
        {"applescript", "svg:applescript.svg"},
    };
    return table;
}

using namespace std::string_view_literals;

// Leading bytes of the image formats an image can be loaded from (WebP and SVG need more
// than a prefix and are checked apart).
constexpr std::array kImageMagics = {
    "\x89PNG\r\n\x1A\n"sv,  // PNG
    "\xFF\xD8\xFF"sv,       // JPEG
    "GIF87a"sv,
    "GIF89a"sv,
    "II*\0"sv,     // TIFF, little-endian
    "MM\0*"sv,     // TIFF, big-endian
    "BM"sv,        // BMP
    "\0\0\1\0"sv,  // ICO
    "icns"sv,
    "%PDF"sv,
};

bool looksLikeSvg(std::string_view head) {
    if (head.starts_with("\xEF\xBB\xBF"))
        head.remove_prefix(3);
    while (!head.empty() && (head.front() == ' ' || head.front() == '\t' || head.front() == '\n' ||
                             head.front() == '\r')) {
        head.remove_prefix(1);
    }
    return head.starts_with("<?xml") || head.starts_with("<svg");
}

std::filesystem::path installedDataFolder() {
    std::error_code error;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    std::filesystem::path candidate =
        (exe.parent_path() / ".." / "share" / "trackfolio").lexically_normal();
    return std::filesystem::is_directory(candidate, error) ? candidate : std::filesystem::path{};
}

}  // namespace

bool hasImageResource(std::string_view name) {
    return resourceTable().contains(name);
}

std::string imageResourceIcon(std::string_view name) {
    const auto& table = resourceTable();
    auto it = table.find(name);
    if (it == table.end())
        return {};
    std::string_view icon = it->second;
    if (!icon.starts_with(kSvgPrefix))
        return std::string(icon);
    return (dataFolder() / "icons" / icon.substr(kSvgPrefix.size())).string();
}

std::vector<std::string> imageResourceNames() {
    std::vector<std::string> names;
    names.reserve(resourceTable().size());
    for (const auto& entry : resourceTable())
        names.emplace_back(entry.first);
    std::sort(names.begin(), names.end());
    return names;
}

std::filesystem::path dataFolder() {
    if (const char* dir = std::getenv("TRACKFOLIO_DATA_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    // Where the program lives does not change while it runs.
    static const std::filesystem::path installed = installedDataFolder();
    if (!installed.empty())
        return installed;
    return TRACKFOLIO_SOURCE_DATA_DIR;
}

bool looksLikeImageFile(const std::filesystem::path& path) {
    // Only regular files: reading a FIFO or a device to peek at it could block or consume it.
    // O_NONBLOCK keeps the open itself from waiting on a FIFO; fstat then decides.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.valid())
        return false;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    std::array<char, 64> buffer{};
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        ssize_t got = ::read(fd.get(), buffer.data() + filled, buffer.size() - filled);
        if (got > 0) {
            filled += static_cast<std::size_t>(got);
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }

    std::string_view head(buffer.data(), filled);
    for (std::string_view magic : kImageMagics) {
        if (head.starts_with(magic))
            return true;
    }
    if (head.size() >= 12 && head.starts_with("RIFF") && head.substr(8, 4) == "WEBP")
        return true;
    return looksLikeSvg(head);
}

}  // namespace tf
