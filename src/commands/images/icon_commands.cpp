#include "commands/images/icon_commands.h"

#include <filesystem>
#include <system_error>

#include "commands/builtin_commands.h"
#include "commands/common/alerts.h"
#include "engine/finder_sync.h"
#include "images/desktop_icon.h"
#include "images/rc_image.h"
#include "model/menu_manager.h"
#include "platform/folder_icons.h"
#include "util/digests.h"
#include "util/path_text.h"
#include "util/resources.h"
#include "util/strings.h"

namespace tf {

namespace {

namespace fs = std::filesystem;

constexpr int kExtractedPixels = 1024;

bool sameContents(const fs::path& a, const fs::path& b) {
    std::error_code error;
    if (fs::file_size(a, error) != fs::file_size(b, error) || error)
        return false;
    return md5HashOfFile(a.string()) == md5HashOfFile(b.string());
}

void extractIcon(FinderSync& sync, const CommandCall&) {
    std::vector<std::string> paths = sync.selectURLs();
    // Rendering and encoding at 1024 pixels takes a moment: off the main queue.
    sync.runInBackground([paths = std::move(paths)] { extractIcons(paths); }, [] {});
}

void setFolderIconCommand(FinderSync& sync, const CommandCall& call) {
    std::optional<std::string> image;
    if (call.item.menuKey != MenuKey::RecoverIcon && call.item.key != "Recover Icon") {
        image = folderIconImage(call.item);
        if (!image)
            return;
    }
    std::vector<std::string> folders = sync.selectURLs();
    auto failed = std::make_shared<std::vector<std::string>>();
    sync.runInBackground([folders = std::move(folders), image,
                          failed] { *failed = applyFolderIcon(folders, image); },
                         [&sync, failed] {
                             // One report for the whole command, naming every folder that kept its
                             // icon.
                             if (failed->empty())
                                 return;
                             std::string names;
                             for (const std::string& path : *failed)
                                 names += (names.empty() ? "" : ", ") + lastPathComponent(path);
                             alertWithMsg(sync, localizedFormat("Folder Icon Fail Tip", {names}));
                         });
}

}  // namespace

std::vector<std::string> extractIcons(const std::vector<std::string>& paths) {
    std::vector<std::string> written;
    for (const std::string& path : paths) {
        const auto iconFile = desktopIconFile(path);
        if (!iconFile)
            continue;
        const auto icon = RCImage::loadAtSize(*iconFile, kExtractedPixels, kExtractedPixels);
        if (!icon)
            continue;
        const std::string name = deletingPathExtension(lastPathComponent(path)) + ".png";
        const std::string destination =
            uniquePath(childPath(deletingLastPathComponent(path), name));
        if (icon->saveImageType(BitmapType::PNG, destination))
            written.push_back(destination);
    }
    return written;
}

std::optional<std::string> folderIconImageFromFile(const std::string& image) {
    const fs::path folder = RCMenuManager::sharedInstance().folderIconFolder();
    std::error_code error;
    if (folder.empty() || !fs::is_regular_file(image, error))
        return std::nullopt;
    const fs::path source = fs::weakly_canonical(image, error);
    if (source.parent_path() == fs::weakly_canonical(folder, error))
        return source.string();
    // Copied in once: the same picture is not stored twice, another one of the same name
    // gets a numbered name.
    const std::string name = lastPathComponent(image);
    const std::string stem = deletingPathExtension(name);
    const std::string extension = name.substr(stem.size());
    std::string destination = childPath(folder.string(), name);
    for (unsigned n = 1; fs::exists(destination, error); ++n) {
        if (sameContents(image, destination))
            return destination;
        destination = childPath(folder.string(), stem + "-" + std::to_string(n) + extension);
    }
    fs::copy_file(image, destination, error);
    if (error)
        return std::nullopt;
    return destination;
}

std::optional<std::string> folderIconImage(const RCMenuItem& entry) {
    const ImageRef ref = entry.menuIcon();
    std::optional<std::string> file;
    if (ref.kind == ImageRef::Kind::File) {
        file = ref.value;
    } else if (ref.kind == ImageRef::Kind::Resource) {
        file = themeIconFile({imageResourceIcon(ref.value)});
    }
    if (!file)
        return std::nullopt;
    return folderIconImageFromFile(*file);
}

std::vector<std::string> applyFolderIcon(const std::vector<std::string>& folders,
                                         const std::optional<std::string>& image) {
    std::vector<std::string> failed;
    for (const std::string& folder : folders) {
        const FolderIconResult result =
            image ? setFolderIcon(folder, *image) : removeFolderIcon(folder);
        if (!result.ok())
            failed.push_back(folder);
    }
    return failed;
}

void registerImageCommands(CommandTable& table) {
    table.set(CommandId::ExtractIcon, &extractIcon);
    table.set(CommandId::SetFolderIcon, &setFolderIconCommand);
}

}  // namespace tf
