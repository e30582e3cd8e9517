// Hiding goes through each folder's ".hidden" list, which the common file managers honour;
// locking uses the immutable attribute where this process may set it and otherwise drops the
// write permission bits, keeping the previous mode in an extended attribute so that unlocking
// restores it exactly. "Show hidden files" only prepares the desktop's own command.
#include "commands/hide_lock/hide_lock_commands.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include "commands/builtin_commands.h"
#include "commands/common/alerts.h"
#include "commands/open/open_commands.h"
#include "engine/finder_sync.h"
#include "engine/path_predicates.h"
#include "fs/file_access.h"
#include "platform/pasteboard.h"
#include "util/path_text.h"
#include "util/posix.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {

namespace {

std::atomic<bool> gImmutableAttributeEnabled{true};

std::string quotedName(const std::string& name) {
    return "\u201c" + oneLine(name) + "\u201d";
}

// A few names for a message; a long list would only push the reason out of sight.
std::string describeNames(const std::vector<std::string>& names) {
    constexpr std::size_t kShown = 3;
    std::vector<std::string> shown;
    for (std::size_t i = 0; i < names.size() && i < kShown; ++i) {
        shown.push_back(quotedName(names[i]));
    }
    std::string text = join(shown, ", ");
    if (names.size() > kShown) {
        text += ", \u2026";
    }
    return text;
}

// ---- The ".hidden" list ----------------------------------------------------------------

struct HiddenList {
    std::vector<std::string> lines;
    // Mode of the existing file, so replacing it keeps who may read it.
    mode_t mode = 0644;
    bool exists = false;
};

// The list's lines as written (empty lines kept); an absent file is an empty list. Returns
// the error number when the file exists but cannot be read.
int readHiddenList(const std::string& file, HiddenList& list) {
    const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        return errno == ENOENT ? 0 : errno;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    }
    std::string content;
    if (const int error = readAll(fd.get(), content); error != 0) {
        return error;
    }
    list.exists = true;
    list.mode = info.st_mode & 07777;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            end = content.size();
        }
        list.lines.push_back(content.substr(start, end - start));
        start = end + 1;
    }
    return 0;
}

// Replaces the list through a temporary file in the same folder, so a file manager reading
// it never sees half a list. A list left without names is removed.
int writeHiddenList(const std::string& folder, const HiddenList& list) {
    const std::string file = childPath(folder, std::string(kHiddenListName));
    bool anyName = false;
    std::string content;
    for (const std::string& line : list.lines) {
        anyName = anyName || !line.empty();
        content += line;
        content += '\n';
    }
    if (!anyName) {
        return ::unlink(file.c_str()) == 0 || errno == ENOENT ? 0 : errno;
    }
    return replaceFileContents(file, content, list.mode);
}

// The items of one folder that a click hides or shows, in the order they came.
struct FolderBatch {
    std::string folder;
    std::vector<std::string> names;
};

std::vector<FolderBatch> batchesByFolder(const std::vector<std::string>& paths) {
    std::vector<FolderBatch> batches;
    for (const std::string& raw : paths) {
        const std::string path = withoutTrailingSlashes(raw);
        if (path.empty() || path == "/") {
            continue;
        }
        const std::string folder = deletingLastPathComponent(path);
        const std::string name = lastPathComponent(path);
        auto batch = std::find_if(batches.begin(), batches.end(),
                                  [&](const FolderBatch& b) { return b.folder == folder; });
        if (batch == batches.end()) {
            batches.push_back({folder, {}});
            batch = std::prev(batches.end());
        }
        batch->names.push_back(name);
    }
    return batches;
}

void reportHideFailure(FinderSync& sync, bool hide, const std::vector<std::string>& names,
                       int error) {
    alertWithMsg(sync, localizedFormat(hide ? "Hide Fail Tip" : "Unhide Fail Tip",
                                       {describeNames(names), errnoText(error)}));
}

// Adds the names to (or takes them off) the folder's list; every failure is reported.
void applyToFolder(FinderSync& sync, const FolderBatch& batch, bool hide) {
    std::vector<std::string> names;
    std::vector<std::string> missing;
    for (const std::string& name : batch.names) {
        if (!hide) {
            names.push_back(name);
            continue;
        }
        // A dot-file is hidden by its name already.
        if (startsWith(name, ".")) {
            continue;
        }
        if (name.find('\n') != std::string::npos) {
            alertWithMsg(sync, localizedFormat("Hide Newline Tip", {quotedName(name)}));
            continue;
        }
        struct stat info {};
        if (::lstat(childPath(batch.folder, name).c_str(), &info) != 0) {
            missing.push_back(name);
            continue;
        }
        names.push_back(name);
    }
    if (!missing.empty()) {
        reportHideFailure(sync, hide, missing, ENOENT);
    }
    if (names.empty()) {
        return;
    }

    HiddenList list;
    if (const int error =
            readHiddenList(childPath(batch.folder, std::string(kHiddenListName)), list);
        error != 0) {
        reportHideFailure(sync, hide, names, error);
        return;
    }
    bool changed = false;
    if (hide) {
        for (const std::string& name : names) {
            if (std::find(list.lines.begin(), list.lines.end(), name) == list.lines.end()) {
                list.lines.push_back(name);
                changed = true;
            }
        }
    } else {
        const std::size_t before = list.lines.size();
        std::erase_if(list.lines, [&](const std::string& line) {
            return !line.empty() && std::find(names.begin(), names.end(), line) != names.end();
        });
        changed = list.lines.size() != before;
    }
    if (!changed) {
        return;
    }
    if (!isWritablePath(batch.folder)) {
        reportHideFailure(sync, hide, names, EACCES);
        return;
    }
    if (const int error = writeHiddenList(batch.folder, list); error != 0) {
        reportHideFailure(sync, hide, names, error);
    }
}

void hideAndShowFiles(FinderSync& sync, const CommandCall& call) {
    const bool hide = call.item.menuKey != MenuKey::UnhideAllFiles;
    std::vector<std::string> paths;
    if (sync.isSelectURL()) {
        paths = sync.selectedItemURLs();
    } else {
        // The folder's own entries as a shell wildcard would give them: dot-files left out.
        const std::string folder = withoutTrailingSlashes(sync.targetURL());
        if (!isValid(folder)) {
            return;
        }
        const std::optional<std::vector<std::string>> entries = listFolder(folder);
        if (!entries) {
            reportHideFailure(sync, hide, {lastPathComponent(folder)}, EACCES);
            return;
        }
        for (const std::string& name : *entries) {
            if (!startsWith(name, ".")) {
                paths.push_back(childPath(folder, name));
            }
        }
    }
    for (const FolderBatch& batch : batchesByFolder(paths)) {
        applyToFolder(sync, batch, hide);
    }
}

// ---- Locking ---------------------------------------------------------------------------

// Reads the attribute flags, lets change adjust them, writes them back when they differ.
// Returns 0 or the error number.
template <typename Change>
int withAttributeFlags(const std::string& path, Change change) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) {
        return errno;
    }
    int flags = 0;
    if (::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0) {
        return errno;
    }
    int wanted = change(flags);
    if (wanted != flags && ::ioctl(fd.get(), FS_IOC_SETFLAGS, &wanted) != 0) {
        return errno;
    }
    return 0;
}

std::string modeText(mode_t mode) {
    char text[16];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

std::optional<mode_t> parseModeText(const std::string& text) {
    if (text.empty() || text.size() > 6 ||
        text.find_first_not_of("01234567") != std::string::npos) {
        return std::nullopt;
    }
    return static_cast<mode_t>(std::strtoul(text.c_str(), nullptr, 8) & 07777);
}

// The mode kept by a permission-bit lock, or nothing when the item carries no such lock.
// Sets error when the attribute exists but cannot be read.
std::optional<std::string> storedLockMode(const std::string& path, int& error) {
    const std::string name(kLockModeAttribute);
    char value[64];
    const ssize_t size = ::lgetxattr(path.c_str(), name.c_str(), value, sizeof value);
    if (size < 0) {
        error = errno == ENODATA || errno == ENOTSUP ? 0 : errno;
        return std::nullopt;
    }
    error = 0;
    return std::string(value, static_cast<std::size_t>(size));
}

int lockWithPermissionBits(const std::string& path, mode_t mode) {
    const std::string name(kLockModeAttribute);
    const std::string text = modeText(mode);
    // The old mode is saved before it is changed, so a lock can always be undone.
    if (::lsetxattr(path.c_str(), name.c_str(), text.data(), text.size(), 0) != 0) {
        return errno;
    }
    if (::chmod(path.c_str(), mode & ~static_cast<mode_t>(0222)) != 0) {
        const int error = errno;
        ::lremovexattr(path.c_str(), name.c_str());
        return error;
    }
    return 0;
}

int lockPath(const std::string& path, const struct stat& info) {
    if (gImmutableAttributeEnabled.load() &&
        withAttributeFlags(path, [](int flags) { return flags | FS_IMMUTABLE_FL; }) == 0) {
        return 0;
    }
    return lockWithPermissionBits(path, info.st_mode);
}

int unlockPath(const std::string& path) {
    int flags = 0;
    const int probe = withAttributeFlags(path, [&flags](int current) {
        flags = current;
        return current;
    });
    if (probe == 0 && (flags & FS_IMMUTABLE_FL) != 0) {
        if (const int error =
                withAttributeFlags(path, [](int current) { return current & ~FS_IMMUTABLE_FL; });
            error != 0) {
            return error;
        }
    }
    int error = 0;
    const std::optional<std::string> stored = storedLockMode(path, error);
    if (!stored) {
        return error;
    }
    // A value that is not a mode cannot be restored; giving the owner write access back is
    // the closest to what a lock took away.
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return errno;
    }
    const mode_t mode = parseModeText(*stored).value_or((info.st_mode & 07777) | S_IWUSR);
    if (::chmod(path.c_str(), mode) != 0) {
        return errno;
    }
    const std::string name(kLockModeAttribute);
    if (::lremovexattr(path.c_str(), name.c_str()) != 0 && errno != ENODATA) {
        return errno;
    }
    return 0;
}

void lockUnlockFiles(FinderSync& sync, const CommandCall&) {
    // Copied: alerts may let the main queue run other work that replaces the selection.
    const std::vector<std::string> paths = sync.selectURLs();
    for (const std::string& path : paths) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            const std::string reason = errnoText(errno);
            alertWithMsg(sync, localizedFormat("Lock Fail Tip", {quotedName(path), reason}));
            continue;
        }
        if (S_ISLNK(info.st_mode)) {
            alertWithMsg(sync, localizedFormat("Lock Link Tip", {quotedName(path)}));
            continue;
        }
        const bool locked = isLocked(path);
        const int error = locked ? unlockPath(path) : lockPath(path, info);
        if (error != 0) {
            alertWithMsg(sync, localizedFormat(locked ? "Unlock Fail Tip" : "Lock Fail Tip",
                                               {quotedName(path), errnoText(error)}));
        }
    }
}

// ---- Showing hidden files ----------------------------------------------------------------

enum class Desktop { Gnome, Cinnamon, Mate, Xfce, Kde };

Desktop desktopFromName(std::string_view value) {
    for (const std::string& part : split(value, ':')) {
        const std::string name = toLower(trim(part));
        if (name == "gnome" || name == "unity" || name == "budgie" || name == "pantheon") {
            return Desktop::Gnome;
        }
        if (name == "x-cinnamon" || name == "cinnamon") {
            return Desktop::Cinnamon;
        }
        if (name == "mate") {
            return Desktop::Mate;
        }
        if (name == "xfce") {
            return Desktop::Xfce;
        }
        if (name == "kde") {
            return Desktop::Kde;
        }
    }
    return Desktop::Gnome;
}

void showSystemFiles(FinderSync& sync, const CommandCall& call) {
    AlertRequest choice;
    choice.message = localized(call.item.key);
    choice.informative = localized("System Hide Files Tip");
    choice.buttons = {localized("System Hide Files Show"), localized("System Hide Files Hide"),
                      localized("Cancel")};
    choice.style = AlertStyle::Informational;
    const int chosen = sync.showAlert(choice);
    if (chosen != 0 && chosen != 1) {
        return;
    }
    const bool show = chosen == 0;
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    copyToPasteboard(*sync.ports().pasteboard,
                     showHiddenFilesCommand(desktop != nullptr ? desktop : "", show));

    AlertRequest paste;
    paste.message = choice.buttons[static_cast<std::size_t>(chosen)];
    paste.informative = localized("Copy Instruction Tip");
    paste.buttons = {localized("Paste to Terminal"), localized("Paste to iTerm2"),
                     localized("Cancel")};
    paste.style = AlertStyle::Informational;
    const int where = sync.showAlert(paste);
    if (where == 0) {
        openServe(sync, std::string(menuKeyRow(MenuKey::TerminalWindow).serve),
                  xdgUserDir("DESKTOP"));
    } else if (where == 1) {
        openServe(sync, std::string(menuKeyRow(MenuKey::ITerm2Window).serve),
                  xdgUserDir("DESKTOP"));
    }
}

}  // namespace

void setImmutableAttributeEnabled(bool enabled) {
    gImmutableAttributeEnabled.store(enabled);
}

bool immutableAttributeEnabled() {
    return gImmutableAttributeEnabled.load();
}

std::string showHiddenFilesCommand(std::string_view desktop, bool show) {
    const std::string value = show ? "true" : "false";
    switch (desktopFromName(desktop)) {
        case Desktop::Cinnamon:
            return "gsettings set org.nemo.preferences show-hidden-files " + value;
        case Desktop::Mate:
            return "gsettings set org.mate.caja.preferences show-hidden-files " + value;
        case Desktop::Xfce:
            return "xfconf-query -c thunar -p /last-show-hidden -n -t bool -s " + value;
        case Desktop::Kde:
            // With the default "same view for all folders", the choice lives in the global
            // view properties rather than in the main settings file.
            return "kwriteconfig5 --file ~/.local/share/dolphin/view_properties/global/"
                   ".directory --group Settings --key HiddenFilesShown " +
                   value;
        case Desktop::Gnome:
            break;
    }
    return "gsettings set org.gtk.gtk4.Settings.FileChooser show-hidden " + value;
}

void registerHideLockCommands(CommandTable& table) {
    table.set(CommandId::HideShowFiles, &hideAndShowFiles);
    table.set(CommandId::LockUnlock, &lockUnlockFiles);
    table.set(CommandId::ShowSystemFiles, &showSystemFiles);
}

}  // namespace tf
