// New files: from a template of the "New File" submenu (or a template placed in the top-level
// menu), from the save panel of "New File From Window", and "Add to File Template", which
// turns the selected file into a template.
#include <fcntl.h>
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
// (whatever was written is then truncated away), Failed when writing failed.
SourceRead copyInto(int out, const std::string& source) {
    const UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) {
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
            result = ::ftruncate(out, 0) == 0 ? SourceRead::Unreadable : SourceRead::Failed;
            break;
        }
        if (writeAll(out, std::string_view(buffer.data(), static_cast<std::size_t>(got))) != 0) {
            result = SourceRead::Failed;
            break;
        }
    }
    return result;
}

// Creates (or truncates) the file at path and fills it with the bytes of source, when one is
// given. With `sourceRequired` an unreadable source fails; without it the file stays empty.
// A file left behind by a failure is removed.
bool writeFileFrom(const std::string& path, const std::string& source, bool sourceRequired) {
    UniqueFd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!out.valid()) {
        return false;
    }
    bool ok = true;
    if (!source.empty()) {
        const SourceRead read = copyInto(out.get(), source);
        if (read == SourceRead::Failed || (read == SourceRead::Unreadable && sourceRequired)) {
            ok = false;
        } else if (read == SourceRead::Unreadable) {
            logWarning("template " + source + " could not be read; the new file is empty");
        }
    }
    if (out.close() != 0) {
        ok = false;
    }
    if (!ok) {
        ::unlink(path.c_str());
    }
    return ok;
}

// The writer every way of making a new file ends in: the template's own file, else the blank
// document of the type, else nothing; then opened when the user wants new files opened.
void writeNewFile(FinderSync& sync, const std::string& path, const std::string& ext,
                  const RCMenuItem& item) {
    std::string source;
    if (isValid(item.templatePath)) {
        source = item.templatePath;
    } else if (const std::optional<std::string> blank = blankDocument(ext)) {
        source = *blank;
    }
    if (!writeFileFrom(path, source, false)) {
        logWarning("could not create " + path);
        alertWithMsg(sync, localized("Error Common Tip"));
        return;
    }
    if (RCMenuManager::sharedInstance().sharedDefaults().readBool("open new file")) {
        sync.ports().workspace->openPath(path);
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
        replaceFileAlert(sync, path, [&](const std::string& finalPath) {
            writeNewFile(sync, finalPath, ext, chosen);
        });
        return;
    }
    writeNewFile(sync, path, ext, chosen);
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
            *copied = !target.empty() && writeFileFrom(target, source, true);
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
    replaceFileAlert(sync, childPath(folder, name), [&](const std::string& finalPath) {
        writeNewFile(sync, finalPath, ext, item);
    });
}

}  // namespace

void registerNewFileCommands(CommandTable& table) {
    table.set(CommandId::CreateFile, [](FinderSync& sync, const CommandCall& call) {
        createFileWithItem(sync, call.item);
    });
}

}  // namespace tf
