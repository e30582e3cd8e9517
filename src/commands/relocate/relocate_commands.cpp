#include "commands/relocate/relocate_commands.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "commands/builtin_commands.h"
#include "commands/common/alerts.h"
#include "commands/common/replace_prompt.h"
#include "engine/check_permit.h"
#include "engine/finder_sync.h"
#include "fs/file_access.h"
#include "fs/file_copy.h"
#include "fs/replace_item.h"
#include "model/file_record.h"
#include "model/menu_manager.h"
#include "runtime/queues.h"
#include "util/log.h"
#include "util/path_text.h"
#include "util/posix.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {

namespace {

std::mutex g_tuningMutex;
RelocateProgressTuning g_tuning;

// Desktop metadata that describes the folder itself rather than being part of its content:
// it stays with the folder when the content moves out and goes when the folder goes.
// (".hidden" lists the names this folder hides; in the parent it would only be a stray copy.)
constexpr std::string_view kFolderMetadata[] = {".DS_Store", ".directory", ".hidden"};

bool isFolderMetadata(std::string_view name) {
    return std::find(std::begin(kFolderMetadata), std::end(kFolderMetadata), name) !=
           std::end(kFolderMetadata);
}

bool existsNoFollow(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool isRealFolder(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isAccessError(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

// "Error Common Tip" for one item, naming it and, when known, why.
void alertFailure(FinderSync& sync, const std::string& path, const std::string& reason = {}) {
    AlertRequest request;
    request.message = localized("Error Common Tip");
    const std::string name = lastPathComponent(path);
    request.informative = reason.empty()
                              ? localizedFormat("Failed Item Tip", {name})
                              : localizedFormat("Failed Item Reason Tip", {name, reason});
    request.buttons = {localized("OK")};
    request.style = AlertStyle::Warning;
    sync.showAlert(request);
}

void alertSameItem(FinderSync& sync, const std::string& path) {
    alertWithMsg(sync, localizedFormat("Same Item Tip", {lastPathComponent(path)}));
}

// A failed move or copy: which item and why, and for a refusal by the file system the
// explanation of how to give access to the folder.
void reportFailure(FinderSync& sync, const std::string& source, const std::string& folder,
                   const CopyResult& result) {
    alertFailure(sync, source, result.reason());
    if (isAccessError(result.error)) {
        RCCheckPermit::accessPrivacy(*sync.ports().ui, *sync.ports().workspace, folder);
    }
}

// A folder name typed by the user must be one path component. When it is not, says why and
// returns false.
bool checkFolderName(FinderSync& sync, const std::string& name) {
    if (!isValid(name)) {
        alertWithMsg(sync, localized("Folder Name Empty Tip"));
        return false;
    }
    if (name == "." || name == ".." ||
        name.find_first_of(std::string_view("/\0", 2)) != std::string::npos) {
        alertWithMsg(sync, localizedFormat("Folder Name Invalid Tip", {name}));
        return false;
    }
    return true;
}

// ---- Embed -------------------------------------------------------------------------------

void embedInto(FinderSync& sync, const std::vector<std::string>& items, const std::string& name,
               int mode) {
    if (!checkFolderName(sync, name)) {
        return;
    }
    const std::string folder = uniquePath(childPath(RCFile(items.front()).folder(), name));
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        alertFailure(sync, folder, ec.message());
        return;
    }
    for (const std::string& item : items) {
        const RCFile file(item);
        std::string into = folder;
        const std::string ext = file.ext();
        if (mode == 1 && !ext.empty()) {
            into = childPath(folder, ext);
            if (!existsNoFollow(into)) {
                std::filesystem::create_directory(into, ec);
                if (ec) {
                    alertFailure(sync, item, ec.message());
                    continue;
                }
            }
        }
        const CopyResult moved = moveItem(item, childPath(into, file.filename()));
        if (!moved.ok) {
            alertFailure(sync, item, moved.reason());
        }
    }
}

void embedFolder(FinderSync& sync, const CommandCall&) {
    const std::vector<std::string> items = sync.selectURLs();
    if (items.empty()) {
        return;
    }
    if (items.size() == 1) {
        embedInto(sync, items, RCFile(items.front()).name(), 0);
        return;
    }
    TextRequest question;
    question.message = localized("Embed in Folder");
    question.informative = localized("Fold Into Input Placeholder");
    question.defaultText = localized("Untitled");
    const std::optional<std::string> name = sync.ports().ui->askText(question);
    if (!name || !checkFolderName(sync, *name)) {
        return;
    }
    AlertRequest modes;
    modes.message = localized("Mode");
    modes.buttons = {localized("Not classified"), localized("Classify by file extension"),
                     localized("Cancel")};
    modes.style = AlertStyle::Informational;
    const int mode = sync.showAlert(modes);
    if (mode != 0 && mode != 1) {
        return;
    }
    embedInto(sync, items, *name, mode);
}

// ---- Unembed -----------------------------------------------------------------------------

// Removes the folder when nothing but its own metadata is left in it.
bool removeEmptiedFolder(const std::string& folder) {
    const std::optional<std::vector<std::string>> rest = listFolder(folder);
    if (!rest || !std::all_of(rest->begin(), rest->end(), isFolderMetadata)) {
        return false;
    }
    std::error_code ec;
    for (const std::string& name : *rest) {
        // remove() takes a file or an empty folder, never a tree.
        if (!std::filesystem::remove(childPath(folder, name), ec) || ec) {
            return false;
        }
    }
    return std::filesystem::remove(folder, ec) && !ec;
}

void unembedFolder(FinderSync& sync, const CommandCall&) {
    const std::vector<std::string> items = sync.selectURLs();
    for (const std::string& item : items) {
        if (!isRealFolder(item)) {
            continue;
        }
        const std::optional<std::vector<std::string>> names = listFolder(item);
        if (!names) {
            alertFailure(sync, item, errnoText(EACCES));
            return;
        }
        std::vector<std::string> content;
        std::copy_if(names->begin(), names->end(), std::back_inserter(content),
                     [](const std::string& name) { return !isFolderMetadata(name); });
        if (content.empty()) {
            alertWithMsg(sync, localized("Empty Folder Tip"));
            continue;
        }
        const std::string parent = deletingLastPathComponent(item);
        for (const std::string& name : content) {
            const std::string from = childPath(item, name);
            const CopyResult moved = moveItem(from, uniquePath(childPath(parent, name)));
            if (!moved.ok) {
                // What has moved stays moved; the folder and the rest stay where they are.
                alertFailure(sync, from, moved.reason());
                return;
            }
        }
        if (!removeEmptiedFolder(item)) {
            alertFailure(sync, item);
        }
    }
}

// ---- Copy to / Move to -------------------------------------------------------------------

// One click of "Copy to" or "Move to": its items run one by one on the background queue.
struct Batch {
    std::atomic<bool> cancel{false};
    bool failed = false;
    bool cancelled = false;
    // "Stop" in the overwrite question ended the batch before all its items.
    bool stopped = false;
    // Still going through the items (asking about existing names); nothing is final before.
    bool asking = true;
    std::size_t total = 0;
    std::size_t started = 0;
    std::size_t finished = 0;
    std::size_t succeeded = 0;
};

// After "Stop": how many items were done; the others were left alone.
void alertStopped(FinderSync& sync, std::size_t done, std::size_t total) {
    alertWithMsg(
        sync, localizedFormat("Stopped Batch Tip", {std::to_string(done), std::to_string(total)}));
}

// Progress of one item, posted to the main queue: not before `interval` has passed since the
// item started, then at most once per `interval`.
CopyOptions progressOptions(FinderSync& sync, const std::shared_ptr<Batch>& batch) {
    const RelocateProgressTuning tuning = relocateProgressTuning();
    CopyOptions options;
    options.cancel = &batch->cancel;
    options.chunkSize = tuning.chunkSize;
    using Clock = std::chrono::steady_clock;
    options.progress = [&sync, batch, interval = tuning.interval, started = Clock::now(),
                        last = std::optional<Clock::time_point>()](std::uint64_t done,
                                                                   std::uint64_t total) mutable {
        const Clock::time_point now = Clock::now();
        if (total == 0 || now - started < interval || (last && now - *last < interval)) {
            return;
        }
        last = now;
        const double fraction = static_cast<double>(done) / static_cast<double>(total);
        foreQueue().post(
            [&sync, batch, fraction] {
                if (!batch->cancel.load()) {
                    sync.ports().progress->setPercent(fraction);
                }
            },
            {});
    };
    return options;
}

void finishItem(FinderSync& sync, const std::shared_ptr<Batch>& batch, const CopyResult& result,
                const std::string& source, const std::string& folder) {
    ++batch->finished;
    if (result.ok) {
        ++batch->succeeded;
    } else if (result.cancelled) {
        batch->cancelled = true;
    } else {
        batch->failed = true;
        reportFailure(sync, source, folder, result);
    }
    if (batch->stopped && !batch->asking && batch->finished == batch->started) {
        alertStopped(sync, batch->succeeded, batch->total);
    }
    if (sync.loadingCount() <= 1) {
        sync.ports().progress->setCancelHandler(nullptr);
        if (!batch->failed && !batch->cancelled && !batch->stopped) {
            // The busy count stays up until the success mark has closed, so nothing else
            // takes the window (and a one-shot run does not end) before then.
            sync.showSuccess(localized("Success Common Tip"), [&sync] { sync.endBusy(); });
            return;
        }
    }
    sync.endBusy();
}

void startItem(FinderSync& sync, const std::shared_ptr<Batch>& batch, const std::string& source,
               const Placement& placement, const std::string& folder, bool copy) {
    ++batch->started;
    sync.beginBusy();
    sync.ports().progress->setCancelHandler([batch] { batch->cancel.store(true); });
    auto result = std::make_shared<CopyResult>();
    CopyOptions options = progressOptions(sync, batch);
    sync.runInBackground(
        [result, source, placement, copy, options = std::move(options)] {
            const std::string& target = placement.path;
            if (placement.replace) {
                *result = replaceItem(source, target, copy ? ReplaceWay::Copy : ReplaceWay::Move,
                                      options);
            } else {
                *result =
                    copy ? copyItem(source, target, options) : moveItem(source, target, options);
            }
        },
        [&sync, batch, result, source, folder] {
            finishItem(sync, batch, *result, source, folder);
        });
}

void relocateItems(FinderSync& sync, const std::vector<std::string>& items,
                   const std::string& folder, bool copy) {
    auto batch = std::make_shared<Batch>();
    batch->total = items.size();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string& source = items[i];
        const std::string target = childPath(folder, lastPathComponent(source));
        if (isInsideItself(source, folder) || (!copy && isSameItem(source, target))) {
            alertSameItem(sync, source);
            continue;
        }
        const PlaceAnswer answer =
            replaceFileAlert(sync, target, source, [&](const Placement& placement) {
                startItem(sync, batch, source, placement, folder, copy);
            });
        if (answer == PlaceAnswer::Stopped) {
            // Stopped at the first item, nothing happened that needs telling.
            batch->stopped = i > 0;
            break;
        }
    }
    batch->asking = false;
    // Items still running tell how the batch ended when the last of them is done.
    if (batch->stopped && batch->finished == batch->started) {
        alertStopped(sync, batch->succeeded, batch->total);
    }
}

void moveAndCopyItem(FinderSync& sync, const CommandCall& call) {
    const bool copy = call.isCopy;
    std::string folder = call.item.path;
    if (!isValid(folder)) {
        // trim: the "Copy" text is shared with a caller that joins it to another word.
        const std::optional<std::string> chosen = RCCheckPermit::selectFolderWithPrompt(
            *sync.ports().ui, trim(localized(copy ? "Copy" : "Move")));
        if (!chosen || !isValid(*chosen)) {
            return;
        }
        folder = *chosen;
    }
    folder = withoutTrailingSlashes(folder);
    const std::vector<std::string> items = sync.selectURLs();
    RCCheckPermit::checkPermitWithPath(
        folder, *sync.ports().ui, [&] { relocateItems(sync, items, folder, copy); }, [] {});
}

// ---- Cut and paste -----------------------------------------------------------------------

// Whether the paste may go on with the next remembered item; `moved` counts the items moved.
bool pasteItem(FinderSync& sync, const std::string& source, const std::string& folder,
               std::size_t& moved) {
    if (!existsNoFollow(source)) {
        alertFailure(sync, source, errnoText(ENOENT));
        return true;
    }
    const std::string target = childPath(folder, lastPathComponent(source));
    if (isInsideItself(source, folder) || isSameItem(source, target)) {
        alertSameItem(sync, source);
        return true;
    }
    const PlaceAnswer answer =
        replaceFileAlert(sync, target, source, [&](const Placement& placement) {
            const CopyResult result = placement.replace
                                          ? replaceItem(source, placement.path, ReplaceWay::Move)
                                          : moveItem(source, placement.path);
            if (result.ok) {
                ++moved;
            } else {
                reportFailure(sync, source, folder, result);
            }
        });
    return answer != PlaceAnswer::Stopped;
}

void cutPasteItem(FinderSync& sync, const CommandCall& call) {
    const std::vector<std::string>& cutPaths = call.item.cutPaths;
    const std::vector<std::string> selection = sync.selectURLs();
    Array remembered;
    if (!sync.isSelectURL() && !cutPaths.empty()) {
        if (!selection.empty()) {
            std::size_t moved = 0;
            for (std::size_t i = 0; i < cutPaths.size(); ++i) {
                if (!pasteItem(sync, cutPaths[i], selection.front(), moved)) {
                    // Stopped at the first item: nothing happened that needs telling.
                    if (i > 0) {
                        alertStopped(sync, moved, cutPaths.size());
                    }
                    break;
                }
            }
        }
    } else {
        for (const std::string& path : selection) {
            remembered.emplace_back(path);
        }
    }
    const WriteResult written = RCMenuManager::sharedInstance().updateMenuKey(
        kMainListKey, menuKeyText(MenuKey::CutPaste), "cutPaths", Value(std::move(remembered)));
    if (!written.ok) {
        logWarning("could not store the cut list: " + written.error);
        alertWithMsg(sync, localized("Error Common Tip"));
    }
}

}  // namespace

void setRelocateProgressTuning(RelocateProgressTuning tuning) {
    const std::lock_guard guard(g_tuningMutex);
    g_tuning = tuning;
}

RelocateProgressTuning relocateProgressTuning() {
    const std::lock_guard guard(g_tuningMutex);
    return g_tuning;
}

void registerRelocateCommands(CommandTable& table) {
    table.set(CommandId::EmbedFolder, &embedFolder);
    table.set(CommandId::UnembedFolder, &unembedFolder);
    table.set(CommandId::MoveCopy, &moveAndCopyItem);
    table.set(CommandId::CutPaste, &cutPasteItem);
}

}  // namespace tf
