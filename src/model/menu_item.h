// RCMenuItem: one entry of the menu catalogue in memory. The loaders of RCMenuManager fill
// it from a stored item dictionary (plus a few derived fields); the menu builder adds
// children and tags. Built-in entries are recognised only by their exact key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/value.h"

namespace tf {

// What an entry's image is: a file on disk, a named image resource, or nothing. Menus carry
// references, never pixels.
struct ImageRef {
    enum class Kind { None, File, Resource };
    Kind kind = Kind::None;
    std::string value;

    static ImageRef none() { return {}; }
    static ImageRef file(std::string path) { return {Kind::File, std::move(path)}; }
    static ImageRef resource(std::string name) { return {Kind::Resource, std::move(name)}; }
    bool isNone() const { return kind == Kind::None; }
    bool operator==(const ImageRef&) const = default;
};

class RCMenuItem {
  public:
    std::string key;
    std::string serve;
    std::string icon;
    std::string iconPath;
    std::string appName;
    bool isAddToMainMenu = false;
    std::string path;
    std::string displayName;
    std::string templatePath;
    std::string ext;
    std::string fileName;
    std::string introduce;
    bool disabledAuth = false;
    bool isNeedFolder = false;
    bool isNeedFile = false;
    bool isNeedSelectURL = false;
    bool isNotNeedURL = false;
    bool isFoldUp = false;
    bool isMainMenuNewFile = false;
    bool isSpecialFile = false;
    std::string script;
    bool disabled = false;
    std::int64_t tag = 0;
    std::vector<std::string> formats;
    std::vector<std::string> cutPaths;
    bool isShowHideFile = false;
    std::string command;
    // Absent (no submenu) differs from present-but-empty (a submenu with nothing to show).
    std::optional<std::vector<RCMenuItem>> children;

    // The settings entry that closes submenus.
    static RCMenuItem setItem();
    static RCMenuItem sepLineItem();
    static RCMenuItem addToFileTemplate();

    ImageRef menuIcon() const;
    std::string menuTitle() const;
    // False when every child's key reads true as a bool in the shared settings.
    bool isValidParent() const;

    bool isNewFile() const { return key == "New File"; }
    bool isNewFileFromWindow() const { return key == "New File From Window"; }
    bool isAddToFileTemplate() const { return key == "Add to File Template"; }
    bool isCommonPath() const { return key == "Common Path"; }
    bool isCommonApp() const { return key == "Common App"; }
    bool isCommonScript() const { return key == "Common Script"; }
    bool isConvert() const { return key == "Convert to"; }
    bool isCopy() const { return key == "Copy to"; }
    bool isMove() const { return key == "Move to"; }
    bool isTerminalTo() const { return key == "Terminal To" || key == "iTerm2 To"; }
    bool isFileInfo() const { return key == "File Info"; }
    bool isCutPaste() const { return key == "Cut Paste"; }
    bool isFolderIcon() const { return key == "Folder Icon"; }
    bool isCompress() const { return key == "Encrypted Compression"; }
    bool isLockUnlock() const { return key == "Lock and Unlock"; }
    bool isEmbedFolder() const { return key == "Embed in Folder"; }
    bool isUnembedFolder() const { return key == "Unembed Folder"; }
    bool isColorPicker() const { return key == "Color Picker"; }
    bool isExecuteScript() const { return key == "Execute Script"; }
    bool isExtractIcon() const { return key == "Extract Icon"; }
    bool isAirDrop() const { return key == "AirDrop"; }
    bool isDesktopPicture() const { return key == "As Desktop Picture"; }
    bool isSepLine() const { return key == "Sep Line"; }
};

// The type image name for a path: "folder" for a folder (a final symlink is not followed),
// else its lower-case extension with doc/xls/ppt read as docx/xlsx/pptx, else "file" when no
// image resource has that name.
std::string typeImageName(std::string_view path);
// The same for an item already known to be a folder or not (listings know it without a
// file-system call).
std::string typeImageName(std::string_view path, bool isFolder);

}  // namespace tf
