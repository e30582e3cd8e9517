// RCMenuItem: one entry of the menu catalogue in memory. The loaders of RCMenuManager fill
// it from a stored item dictionary (plus a few derived fields); the menu builder adds
// children and tags. Built-in entries are recognised only by their exact key, resolved once
// against the key table (model/menu_keys.h) when the key is set.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/menu_keys.h"
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
    // Assigning `key` alone makes an entry that is not built in; setKey also resolves it.
    std::string key;
    MenuKey menuKey = MenuKey::None;
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
    // The key table's marker of the hide and show entries (another platform's command); the
    // commands never run it and tools do not print it.
    std::string command;
    // Absent (no submenu) differs from present-but-empty (a submenu with nothing to show).
    std::optional<std::vector<RCMenuItem>> children;

    // Sets the key and what it names among the built-in keys of that list.
    void setKey(std::string text, KeyList list = KeyList::Main);
    // A generated entry: the key's text, image and flags from the key table.
    static RCMenuItem builtIn(MenuKey key);
    // The settings entry that closes submenus.
    static RCMenuItem setItem() { return builtIn(MenuKey::GoSet); }
    static RCMenuItem sepLineItem();
    static RCMenuItem addToFileTemplate() { return builtIn(MenuKey::AddToFileTemplate); }

    ImageRef menuIcon() const;
    std::string menuTitle() const;
    // False when every child's key reads true as a bool in the shared settings.
    bool isValidParent() const;

    bool isNewFile() const { return menuKey == MenuKey::NewFile; }
    bool isNewFileFromWindow() const { return menuKey == MenuKey::NewFileFromWindow; }
    bool isAddToFileTemplate() const { return menuKey == MenuKey::AddToFileTemplate; }
    bool isCommonPath() const { return menuKey == MenuKey::CommonPath; }
    bool isCommonApp() const { return menuKey == MenuKey::CommonApp; }
    bool isCommonScript() const { return menuKey == MenuKey::CommonScript; }
    bool isConvert() const { return menuKey == MenuKey::ConvertTo; }
    bool isCopy() const { return menuKey == MenuKey::CopyTo; }
    bool isMove() const { return menuKey == MenuKey::MoveTo; }
    bool isTerminalTo() const {
        return menuKey == MenuKey::TerminalTo || menuKey == MenuKey::ITerm2To;
    }
    bool isFileInfo() const { return menuKey == MenuKey::FileInfo; }
    bool isCutPaste() const { return menuKey == MenuKey::CutPaste; }
    bool isFolderIcon() const { return menuKey == MenuKey::FolderIcon; }
    bool isCompress() const { return menuKey == MenuKey::EncryptedCompression; }
    bool isLockUnlock() const { return menuKey == MenuKey::LockUnlock; }
    bool isEmbedFolder() const { return menuKey == MenuKey::EmbedFolder; }
    bool isUnembedFolder() const { return menuKey == MenuKey::UnembedFolder; }
    bool isColorPicker() const { return menuKey == MenuKey::ColorPicker; }
    bool isExecuteScript() const { return menuKey == MenuKey::ExecuteScript; }
    bool isExtractIcon() const { return menuKey == MenuKey::ExtractIcon; }
    bool isAirDrop() const { return menuKey == MenuKey::AirDrop; }
    bool isDesktopPicture() const { return menuKey == MenuKey::DesktopPicture; }
    bool isSepLine() const { return menuKey == MenuKey::SepLine; }
};

// The type image name for a path: "folder" for a folder (a final symlink is not followed),
// else its lower-case extension with doc/xls/ppt read as docx/xlsx/pptx, else "file" when no
// image resource has that name.
std::string typeImageName(std::string_view path);
// The same for an item already known to be a folder or not (listings know it without a
// file-system call).
std::string typeImageName(std::string_view path, bool isFolder);

}  // namespace tf
