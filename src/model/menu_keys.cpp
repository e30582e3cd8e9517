#include "model/menu_keys.h"

#include <algorithm>

namespace tf {

namespace {

constexpr std::array<std::string_view, 20> kConvertFormats = {
    "icns", "png",  "tiff", "jpg", "jpeg", "jpe", "jp2",  "bmp", "gif", "svg",
    "fax",  "wbmp", "webp", "pic", "tif",  "ico", "jfif", "rp",  "net", "pdf"};
constexpr std::array<std::string_view, 4> kDesktopPictureFormats = {"png", "jpg", "jpeg", "jp2"};
constexpr std::array<std::string_view, 3> kScriptFormats = {"sh", "scpt", "py"};

constexpr std::string_view kNewTerminal = "New Terminal at Folder";
constexpr std::string_view kNewTerminalTab = "New Terminal Tab at Folder";
constexpr std::string_view kSecondTerminal = "New iTerm2 Window Here";
constexpr std::string_view kSecondTerminalTab = "New iTerm2 Tab Here";

constexpr std::string_view kHideMarker = "chflags hidden";
constexpr std::string_view kUnhideMarker = "chflags nohidden";
constexpr std::string_view kShowAllMarker =
    "defaults write com.apple.finder AppleShowAllFiles -boolean %@; killall Finder";

using K = MenuKey;
using C = CommandId;
constexpr KeyList kMain = KeyList::Main;

// Rows name only the fields they set; the others keep their defaults (GCC 12 warns about
// designated initializers that leave members out).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

constexpr MenuKeyRow generated(MenuKey id, std::string_view text, std::string_view icon = {}) {
    return {.id = id, .text = text, .icon = icon};
}

constexpr std::array<MenuKeyRow, kMenuKeyCount> kRows = {{
    {},
    {.id = K::NewFile,
     .text = "New File",
     .list = kMain,
     .flags = kNotNeedURL | kSubmenu,
     .command = C::CreateFile},
    {.id = K::CommonPath,
     .text = "Common Path",
     .list = kMain,
     .flags = kNotNeedURL | kSubmenu,
     .command = C::OpenCommonPath},
    {.id = K::CommonApp,
     .text = "Common App",
     .list = kMain,
     .flags = kNotNeedURL | kSubmenu,
     .command = C::OpenWithApp},
    {.id = K::CommonScript,
     .text = "Common Script",
     .list = kMain,
     .flags = kNotNeedURL | kSubmenu,
     .command = C::ExecuteScript},
    {.id = K::FolderIcon,
     .text = "Folder Icon",
     .list = kMain,
     .flags = kNeedFolder | kNeedSelectURL | kSubmenu,
     .command = C::SetFolderIcon},
    {.id = K::ExecuteScript,
     .text = "Execute Script",
     .list = kMain,
     .flags = kNeedSelectURL,
     .command = C::ExecuteSelectedScripts,
     .formats = kScriptFormats},
    {.id = K::AirDrop,
     .text = "AirDrop",
     .list = kMain,
     .flags = kNeedSelectURL,
     .command = C::HandOff},
    {.id = K::DesktopPicture,
     .text = "As Desktop Picture",
     .list = kMain,
     .command = C::HandOff,
     .formats = kDesktopPictureFormats},
    {.id = K::CopyTo,
     .text = "Copy to",
     .list = kMain,
     .flags = kNeedSelectURL | kSubmenu,
     .command = C::MoveCopy},
    {.id = K::MoveTo,
     .text = "Move to",
     .list = kMain,
     .flags = kNeedSelectURL | kSubmenu,
     .command = C::MoveCopy},
    {.id = K::ConvertTo,
     .text = "Convert to",
     .list = kMain,
     .flags = kSubmenu,
     .command = C::Convert,
     .formats = kConvertFormats},
    {.id = K::CutPaste,
     .text = "Cut Paste",
     .list = kMain,
     .flags = kKeepsCutPaths,
     .command = C::CutPaste},
    {.id = K::LockUnlock,
     .text = "Lock and Unlock",
     .list = kMain,
     .flags = kNeedSelectURL,
     .command = C::LockUnlock},
    {.id = K::EncryptedCompression,
     .text = "Encrypted Compression",
     .list = kMain,
     .flags = kNeedSelectURL,
     .command = C::EncryptedCompress},
    {.id = K::EmbedFolder,
     .text = "Embed in Folder",
     .list = kMain,
     .flags = kNeedSelectURL,
     .command = C::EmbedFolder},
    {.id = K::UnembedFolder,
     .text = "Unembed Folder",
     .list = kMain,
     .flags = kNeedFolder | kNeedSelectURL,
     .command = C::UnembedFolder},
    {.id = K::ColorPicker,
     .text = "Color Picker",
     .list = kMain,
     .flags = kNotNeedURL | kDisabledAuth | kNotInItemMenu,
     .command = C::ColorPicker},
    {.id = K::ExtractIcon,
     .text = "Extract Icon",
     .list = kMain,
     .flags = kNeedSelectURL,
     .command = C::ExtractIcon},
    {.id = K::FileInfo,
     .text = "File Info",
     .list = kMain,
     .flags = kSingleFileOnly | kSubmenu,
     .command = C::FileInfo},
    {.id = K::TerminalWindow,
     .text = "Terminal Window",
     .list = kMain,
     .flags = kNotNeedURL | kBelongsToApps,
     .command = C::OpenServe,
     .serve = kNewTerminal},
    {.id = K::TerminalTab,
     .text = "Terminal Tab",
     .list = kMain,
     .flags = kNotNeedURL,
     .command = C::OpenServe,
     .serve = kNewTerminalTab},
    {.id = K::TerminalTo,
     .text = "Terminal To",
     .list = kMain,
     .flags = kNotNeedURL | kSubmenu,
     .command = C::OpenServe,
     .serve = kNewTerminal},
    {.id = K::ITerm2Window,
     .text = "iTerm2 Window",
     .list = kMain,
     .flags = kNotNeedURL | kBelongsToApps,
     .command = C::OpenServe,
     .serve = kSecondTerminal},
    {.id = K::ITerm2Tab,
     .text = "iTerm2 Tab",
     .list = kMain,
     .flags = kNotNeedURL,
     .command = C::OpenServe,
     .serve = kSecondTerminalTab},
    {.id = K::ITerm2To,
     .text = "iTerm2 To",
     .list = kMain,
     .flags = kNotNeedURL | kSubmenu,
     .command = C::OpenServe,
     .serve = kSecondTerminal},
    {.id = K::CopyPath, .text = "Copy Path", .list = kMain, .command = C::CopyPath},
    {.id = K::Delete,
     .text = "Delete",
     .list = kMain,
     .flags = kNeedSelectURL,
     .command = C::DeletePath},
    {.id = K::HideSelectedFiles,
     .text = "Hide Selected Files",
     .list = kMain,
     .flags = kShowHideFile | kNeedSelectURL,
     .command = C::HideShowFiles,
     .marker = kHideMarker},
    {.id = K::HideAllFiles,
     .text = "Hide All Files",
     .list = kMain,
     .flags = kShowHideFile | kNotInItemMenu,
     .command = C::HideShowFiles,
     .marker = kHideMarker},
    {.id = K::UnhideAllFiles,
     .text = "Unhide All Files",
     .list = kMain,
     .flags = kShowHideFile,
     .command = C::HideShowFiles,
     .marker = kUnhideMarker},
    {.id = K::SystemHideFiles,
     .text = "System Hide Files",
     .list = kMain,
     .flags = kNotNeedURL,
     .command = C::ShowSystemFiles,
     .marker = kShowAllMarker},
    {.id = K::NewFileFromWindow, .text = "New File From Window", .list = KeyList::Templates},
    {.id = K::GoSet, .text = "Go Set", .flags = kDisabledAuth, .icon = "set"},
    generated(K::SepLine, "Sep Line"),
    generated(K::AddToFileTemplate, "Add to File Template", "add"),
    generated(K::SelectFolder, "Select Folder", "choose"),
    generated(K::RecoverIcon, "Recover Icon", "recover"),
    generated(K::ShowInFolder, "Show in Finder", "showfinder"),
    generated(K::CurrentDirectory, "Current Directory", "showfinder"),
    generated(K::ToAuthorize, "To Authorize"),
    generated(K::MoreFiles, "More Files", "more"),
    generated(K::AllInfo, "All Info"),
    generated(K::MD5, "MD5"),
    generated(K::SHA1, "SHA1"),
    generated(K::SHA256, "SHA256"),
    generated(K::SHA512, "SHA512"),
    generated(K::CRC32, "CRC32"),
    generated(K::AppIconIcns, "AppIcon.icns"),
    generated(K::OSXAppIconset, "OSX AppIconset"),
    generated(K::IOSAppIconset, "iOS AppIconset"),
    generated(K::IWatchAppIconset, "iWatch AppIconset"),
    generated(K::AndroidAppIconset, "Android AppIconset"),
    generated(K::PNG, "PNG"),
    generated(K::JPEG, "JPEG"),
    generated(K::JP2, "JP2"),
    generated(K::TIFF, "TIFF"),
    generated(K::BMP, "BMP"),
    generated(K::GIF, "GIF"),
    generated(K::PDF, "PDF"),
}};

#pragma GCC diagnostic pop

consteval bool rowsFollowTheEnum() {
    for (std::size_t i = 0; i < kRows.size(); ++i) {
        if (static_cast<std::size_t>(kRows[i].id) != i) {
            return false;
        }
    }
    return true;
}
static_assert(rowsFollowTheEnum(), "each row sits at the position of its MenuKey");

struct ByText {
    std::string_view text;
    MenuKey id;
};

constexpr std::size_t kStoredKeyCount = static_cast<std::size_t>(std::count_if(
    kRows.begin(), kRows.end(), [](const MenuKeyRow& r) { return r.list != KeyList::Generated; }));

// The keys a stored entry can carry, sorted for a binary search: resolving a key costs a
// handful of comparisons, once per entry and request.
constexpr std::array<ByText, kStoredKeyCount> kStoredByText = [] {
    std::array<ByText, kStoredKeyCount> out{};
    std::size_t n = 0;
    for (const MenuKeyRow& r : kRows) {
        if (r.list != KeyList::Generated) {
            out[n++] = {r.text, r.id};
        }
    }
    std::sort(out.begin(), out.end(),
              [](const ByText& a, const ByText& b) { return a.text < b.text; });
    return out;
}();

consteval bool textsAreDistinct() {
    std::array<std::string_view, kMenuKeyCount - 1> texts{};
    for (std::size_t i = 1; i < kRows.size(); ++i) {
        if (kRows[i].text.empty()) {
            return false;
        }
        texts[i - 1] = kRows[i].text;
    }
    std::sort(texts.begin(), texts.end());
    return std::adjacent_find(texts.begin(), texts.end()) == texts.end();
}
static_assert(textsAreDistinct(), "every built-in key has its own, non-empty text");

}  // namespace

std::string_view commandName(CommandId id) {
    static constexpr std::array<std::string_view, kCommandCount> kNames = {
        "createFile",       "openCommonPath",       "openWithApp",      "executeScript",
        "setFolderIcon",    "convertItem",          "copyfileInfo",     "moveAndCopyItem",
        "openServe",        "deletePath",           "copyPath",         "showSystemFiles",
        "hideAndShowFiles", "lockUnlockFiles",      "cutPasteItem",     "encryptedCompress",
        "embedFolder",      "unembedFolder",        "startColorPicker", "executeSelectedScripts",
        "extractIcon",      "openFilesFromMainApp",
    };
    return kNames[static_cast<std::size_t>(id)];
}

std::span<const MenuKeyRow> menuKeyTable() {
    return kRows;
}

const MenuKeyRow& menuKeyRow(MenuKey key) {
    return kRows[static_cast<std::size_t>(key)];
}

MenuKey menuKeyIn(KeyList list, std::string_view text) {
    if (list != KeyList::Main && list != KeyList::Templates) {
        return MenuKey::None;
    }
    const auto* found =
        std::lower_bound(kStoredByText.begin(), kStoredByText.end(), text,
                         [](const ByText& entry, std::string_view t) { return entry.text < t; });
    if (found == kStoredByText.end() || found->text != text || menuKeyRow(found->id).list != list) {
        return MenuKey::None;
    }
    return found->id;
}

}  // namespace tf
