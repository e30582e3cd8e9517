// New files: from a template of the "New File" submenu (or a template placed in the top-level
// menu), from the save panel of "New File From Window", and "Add to File Template", which
// turns the selected file into a template.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "commands/builtin_commands.h"
#include "commands/common/alerts.h"
#include "commands/common/replace_prompt.h"
#include "engine/finder_sync.h"
#include "fs/replace_item.h"
#include "model/menu_manager.h"
#include "util/log.h"
#include "util/path_text.h"
#include "util/posix.h"
#include "util/resources.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {

namespace {

// Where a new file goes: the first selected item when it is a folder, else the folder it is
// in; the home folder when nothing is selected.
std::string creationFolder(FinderSync& sync) {
    const std::vector<std::string>& selection = sync.selectURLs();
    std::string path = selection.empty() ? homeFolder() : selection.front();
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec)) {
        path = deletingLastPathComponent(path);
    }
    return path;
}

std::string templateExt(const RCMenuItem& item) {
    return isValid(item.ext) ? item.ext : item.key;
}

// A file name of its own: a template's name must not lead into another folder.
std::string baseName(const RCMenuItem& item) {
    std::string name = isValid(item.fileName) ? item.fileName : localized("Untitled");
    std::replace(name.begin(), name.end(), '/', '_');
    if (name == "." || name == "..") {
        name = localized("Untitled");
    }
    return name;
}

// The blank document shipped for an extension; nothing when none ships. The extension comes
// from the catalogue, so anything but a plain word could point outside the folder.
std::optional<std::string> blankDocument(std::string_view ext) {
    if (ext.empty() || !std::all_of(ext.begin(), ext.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        })) {
        return std::nullopt;
    }
    const std::filesystem::path path = dataFolder() / "templates" / ("Untitled." + toLower(ext));
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return std::nullopt;
    }
    return path.string();
}

enum class SourceRead { Copied, Unreadable, Failed };

// Streams the source into fd; Unreadable when the source could not be opened or read
// (whatever was written is then truncated away), Failed when writing failed (`error` says why).
SourceRead copyInto(int out, const std::string& source, int& error) {
    const UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) {
        error = errno;
        return SourceRead::Unreadable;
    }
    SourceRead result = SourceRead::Copied;
    std::array<char, 64 * 1024> buffer{};
    for (;;) {
        const ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int readError = errno;
            if (::ftruncate(out, 0) == 0) {
                error = readError;
                result = SourceRead::Unreadable;
            } else {
                error = errno;
                result = SourceRead::Failed;
            }
            break;
        }
        error = writeAll(out, std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        if (error != 0) {
            result = SourceRead::Failed;
            break;
        }
    }
    return result;
}

// Creates the file at path, which must not exist yet, and fills it with the bytes of source,
// when one is given. With `sourceRequired` an unreadable source fails; without it the file
// stays empty. A file left behind by a failure is removed. Returns 0 or the error number.
int writeFileFrom(const std::string& path, const std::string& source, bool sourceRequired) {
    UniqueFd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!out.valid()) {
        return errno;
    }
    int error = 0;
    if (!source.empty()) {
        int readError = 0;
        const SourceRead read = copyInto(out.get(), source, readError);
        if (read == SourceRead::Failed || (read == SourceRead::Unreadable && sourceRequired)) {
            error = readError != 0 ? readError : EIO;
        } else if (read == SourceRead::Unreadable) {
            logWarning("template " + source + " could not be read; the new file is empty");
        }
    }
    if (const int closed = out.close(); closed != 0 && error == 0) {
        error = closed;
    }
    if (error != 0) {
        ::unlink(path.c_str());
    }
    return error;
}

// The writer every way of making a new file ends in: the template's own file, else the blank
// document of the type, else nothing; then opened when the user wants new files opened. An
// item already at path is replaced only once the new file is complete.
void writeNewFile(FinderSync& sync, const Placement& placement, const std::string& ext,
                  const RCMenuItem& item) {
    std::string source;
    if (isValid(item.templatePath)) {
        source = item.templatePath;
    } else if (const std::optional<std::string> blank = blankDocument(ext)) {
        source = *blank;
    }
    const auto write = [&source](const std::string& path) {
        CopyResult result;
        result.error = writeFileFrom(path, source, false);
        result.ok = result.error == 0;
        result.failedPath = result.ok ? std::string() : path;
        return result;
    };
    const CopyResult written =
        placement.replace ? replaceItemWith(placement.path, write) : write(placement.path);
    if (!written.ok) {
        logWarning("could not create " + placement.path + ": " + written.reason());
        alertWithMsg(sync, localized("Error Common Tip"));
        return;
    }
    if (RCMenuManager::sharedInstance().sharedDefaults().readBool("open new file")) {
        sync.ports().workspace->openPath(placement.path);
    }
}

void createFromWindow(FinderSync& sync, const std::string& folder) {
    std::vector<RCMenuItem> types;
    for (RCMenuItem& item : RCMenuManager::sharedInstance().newFileTemplateMenuArray(true)) {
        if (item.isSpecialFile || item.isNewFileFromWindow() || item.isAddToFileTemplate()) {
            continue;
        }
        types.push_back(std::move(item));
    }
    SaveRequest request;
    request.name = localized("Untitled");
    request.folder = folder;
    for (const RCMenuItem& item : types) {
        request.typeList.push_back(item.menuTitle() + " (." + templateExt(item) + ")");
    }
    request.selectedType = 0;
    if (!types.empty()) {
        request.allowedTypes = {templateExt(types.front())};
    }
    const std::optional<SaveAnswer> answer = sync.ports().ui->runSavePanel(request);
    if (!answer || answer->path.empty()) {
        return;
    }
    RCMenuItem chosen;
    std::string ext;
    if (answer->typeIndex >= 0 && static_cast<std::size_t>(answer->typeIndex) < types.size()) {
        chosen = types[static_cast<std::size_t>(answer->typeIndex)];
        ext = templateExt(chosen);
    }
    std::string path = answer->path;
    if (!ext.empty() && !endsWith(toLower(path), "." + toLower(ext))) {
        path += "." + ext;
        // The panel asked about the name as typed, not about the one with the extension.
        replaceFileAlert(sync, path, [&](const Placement& placement) {
            writeNewFile(sync, placement, ext, chosen);
        });
        return;
    }
    // The panel has asked about replacing a file already there. A folder of that name is
    // never traded for a file: creating the file then fails and says so.
    struct stat info {};
    const bool replace = ::lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
    writeNewFile(sync, {path, replace}, ext, chosen);
}

void addToFileTemplate(FinderSync& sync) {
    const std::vector<std::string>& selection = sync.selectURLs();
    if (selection.empty()) {
        return;
    }
    const std::string source = selection.front();
    const std::string folder = RCMenuManager::sharedInstance().fileTemplateFolder();
    const std::string id = uuid();
    const std::string target = folder.empty() ? std::string() : childPath(folder, id);
    const std::string name = lastPathComponent(source);
    const std::string ext = toLower(pathExtension(source));

    Dict record{{"key", id},
                {"ext", ext},
                {"displayName", deletingPathExtension(name)},
                {"templatePath", target},
                // No icon image is drawn here: the type's image resource stands for the file.
                {"icon", typeImageName(source)}};
    if (ext.empty()) {
        // Without an extension the template's key would become one; the file keeps its name.
        record["special"] = Value(true);
        record["fileName"] = Value(name);
    }

    sync.beginBusy();
    auto copied = std::make_shared<bool>(false);
    sync.runInBackground(
        [source, target, copied] {
            *copied = !target.empty() && writeFileFrom(target, source, true) == 0;
        },
        [&sync, record, target, copied] {
            WriteResult added = WriteResult::failure("the template file could not be copied");
            if (*copied) {
                added = RCMenuManager::sharedInstance().addMenuKey(kTemplateListKey, record, false);
                if (!added.ok) {
                    ::unlink(target.c_str());
                }
            }
            if (!added.ok) {
                logWarning("template not added: " + added.error);
                sync.endBusy();
                alertWithMsg(sync, localized("Error Common Tip"));
                return;
            }
            sync.showSuccess(localized("Success Common Tip"), [&sync] { sync.endBusy(); });
        });
}

void createFileWithItem(FinderSync& sync, const RCMenuItem& item) {
    const std::string folder = creationFolder(sync);
    if (item.isNewFileFromWindow()) {
        createFromWindow(sync, folder);
        return;
    }
    if (item.isAddToFileTemplate()) {
        addToFileTemplate(sync);
        return;
    }
    const std::string ext = templateExt(item);
    std::string name = baseName(item);
    if (!item.isSpecialFile) {
        name += "." + ext;
    }
    replaceFileAlert(sync, childPath(folder, name),
                     [&](const Placement& placement) { writeNewFile(sync, placement, ext, item); });
}

}  // namespace

void registerNewFileCommands(CommandTable& table) {
    table.set(CommandId::CreateFile, [](FinderSync& sync, const CommandCall& call) {
        createFileWithItem(sync, call.item);
    });
}

}  // namespace tf
