// The built-in menu keys: one table that says, per key, where a stored key names it, what
// the catalogue derives for it, which command runs it and how a generated entry looks. The
// loaders resolve an entry's key once (`MenuKey`); the record's predicates, the menu builder,
// the dispatch and the commands read the resolved key and this table, never the key's text.
// A new built-in key is a row here plus its command's folder (and, when it opens a generated
// submenu, how the menu builder fills it).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tf {

// The commands a menu entry can start. The engine's command table maps each to its
// implementation (engine/command_table.h).
enum class CommandId : std::uint8_t {
    CreateFile,
    OpenCommonPath,
    OpenWithApp,
    ExecuteScript,
    SetFolderIcon,
    Convert,
    FileInfo,
    MoveCopy,
    OpenServe,
    DeletePath,
    CopyPath,
    ShowSystemFiles,
    HideShowFiles,
    LockUnlock,
    CutPaste,
    EncryptedCompress,
    EmbedFolder,
    UnembedFolder,
    ColorPicker,
    ExecuteSelectedScripts,
    ExtractIcon,
    HandOff,
};
inline constexpr std::size_t kCommandCount = static_cast<std::size_t>(CommandId::HandOff) + 1;

// The name a command goes by in logs.
std::string_view commandName(CommandId id);

enum class MenuKey : std::uint8_t {
    // Not a built-in key: entries the user added (identifiers, paths), templates, apps,
    // scripts, folder icons, and twins, which carry the key of their own list's entry.
    None,
    // The main list.
    NewFile,
    CommonPath,
    CommonApp,
    CommonScript,
    FolderIcon,
    ExecuteScript,
    AirDrop,
    DesktopPicture,
    CopyTo,
    MoveTo,
    ConvertTo,
    CutPaste,
    LockUnlock,
    EncryptedCompression,
    EmbedFolder,
    UnembedFolder,
    ColorPicker,
    ExtractIcon,
    FileInfo,
    TerminalWindow,
    TerminalTab,
    TerminalTo,
    ITerm2Window,
    ITerm2Tab,
    ITerm2To,
    CopyPath,
    Delete,
    HideSelectedFiles,
    HideAllFiles,
    UnhideAllFiles,
    SystemHideFiles,
    // The template list.
    NewFileFromWindow,
    // Entries the menu builder makes.
    GoSet,
    SepLine,
    AddToFileTemplate,
    SelectFolder,
    RecoverIcon,
    ShowInFolder,
    CurrentDirectory,
    ToAuthorize,
    MoreFiles,
    AllInfo,
    MD5,
    SHA1,
    SHA256,
    SHA512,
    CRC32,
    AppIconIcns,
    OSXAppIconset,
    IOSAppIconset,
    IWatchAppIconset,
    AndroidAppIconset,
    PNG,
    JPEG,
    JP2,
    TIFF,
    BMP,
    GIF,
    PDF,
};
inline constexpr std::size_t kMenuKeyCount = static_cast<std::size_t>(MenuKey::PDF) + 1;

// Where a key names a built-in entry: in the main list, in the template list, or only where
// the menu builder makes it (never read from stored data). Keys of the other lists (apps,
// paths, scripts, folder icons) and of twins of their entries are the user's: `Other`.
enum class KeyList : std::uint8_t { Main, Templates, Other, Generated };

using KeyFlags = std::uint32_t;
// Derived fields of the record.
inline constexpr KeyFlags kNeedSelectURL = 1u << 0;
inline constexpr KeyFlags kNotNeedURL = 1u << 1;
inline constexpr KeyFlags kNeedFolder = 1u << 2;
inline constexpr KeyFlags kDisabledAuth = 1u << 3;
inline constexpr KeyFlags kShowHideFile = 1u << 4;
// Listed with the applications of common-path submenus.
inline constexpr KeyFlags kBelongsToApps = 1u << 5;
// Reads the stored "cutPaths".
inline constexpr KeyFlags kKeepsCutPaths = 1u << 6;
// Menu filters.
inline constexpr KeyFlags kNotInItemMenu = 1u << 7;
inline constexpr KeyFlags kSingleFileOnly = 1u << 8;
// The entry opens a submenu; its command is told the chosen child.
inline constexpr KeyFlags kSubmenu = 1u << 9;

struct MenuKeyRow {
    MenuKey id = MenuKey::None;
    std::string_view text;
    KeyList list = KeyList::Generated;
    KeyFlags flags = 0;
    std::optional<CommandId> command;
    // The terminal service the entry opens.
    std::string_view serve;
    // Extensions the entry is offered for; empty means any.
    std::span<const std::string_view> formats;
    // Another platform's shell command the record's `command` field carries. Only a marker:
    // nothing runs it and it is never shown (the commands use this system's own mechanisms).
    std::string_view marker;
    // Image of an entry the builder makes.
    std::string_view icon;
};

// Every row, in the order of MenuKey (row 0 is None and derives nothing).
std::span<const MenuKeyRow> menuKeyTable();

const MenuKeyRow& menuKeyRow(MenuKey key);
inline std::string_view menuKeyText(MenuKey key) {
    return menuKeyRow(key).text;
}

// The built-in key a stored key of that list names, or None. Exact, case-sensitive.
MenuKey menuKeyIn(KeyList list, std::string_view text);

// The generated children of "File Info" (position 0 is "All Info") and "Convert to".
inline constexpr std::array<MenuKey, 6> kFileInfoChildren = {MenuKey::AllInfo, MenuKey::MD5,
                                                             MenuKey::SHA1,    MenuKey::SHA256,
                                                             MenuKey::SHA512,  MenuKey::CRC32};
inline constexpr std::array<MenuKey, 12> kConvertTargets = {MenuKey::AppIconIcns,
                                                            MenuKey::OSXAppIconset,
                                                            MenuKey::IOSAppIconset,
                                                            MenuKey::IWatchAppIconset,
                                                            MenuKey::AndroidAppIconset,
                                                            MenuKey::PNG,
                                                            MenuKey::JPEG,
                                                            MenuKey::JP2,
                                                            MenuKey::TIFF,
                                                            MenuKey::BMP,
                                                            MenuKey::GIF,
                                                            MenuKey::PDF};

}  // namespace tf
