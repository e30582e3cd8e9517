#include "commands/zip/zip_commands.h"

#include <cmath>
#include <map>
#include <memory>

#include "commands/builtin_commands.h"
#include "commands/common/alerts.h"
#include "engine/finder_sync.h"
#include "model/file_record.h"
#include "model/menu_manager.h"
#include "runtime/queues.h"
#include "util/path_text.h"
#include "util/strings.h"
#include "zip/ss_zip_archive.h"

namespace tf {

namespace {

constexpr const char* kSkipJunkKey = "compress skip junk";

// The running compression of each FinderSync; touched on the main queue only.
std::map<const FinderSync*, std::shared_ptr<ZipCompressor>>& running() {
    static std::map<const FinderSync*, std::shared_ptr<ZipCompressor>> compressions;
    return compressions;
}

struct RunState {
    std::int64_t lastTotal = 0;
    std::int64_t lastDone = 0;
};

void finish(FinderSync& sync, const std::shared_ptr<ZipCompressor>& compressor,
            const RunState& state) {
    sync.ports().progress->setCancelHandler(nullptr);
    running().erase(&sync);
    if (state.lastTotal == kZipFailed) {
        // Close the window first so the alert is not hidden behind it.
        sync.endBusy();
        const std::string& item = compressor->failedItem();
        AlertRequest request;
        request.message = localized("Compression Failed");
        request.informative = localizedFormat(
            "Failed Item Tip", {lastPathComponent(item.empty() ? compressor->savePath : item)});
        request.buttons = {localized("OK")};
        request.style = AlertStyle::Warning;
        sync.showAlert(request);
        return;
    }
    sync.endBusy();
}

void encryptedCompress(FinderSync& sync, const CommandCall&) {
    if (isCompressing(sync)) {
        return;
    }
    const std::vector<std::string> paths = sync.selectPaths();
    if (paths.empty()) {
        return;
    }
    auto compressor = std::make_shared<ZipCompressor>();
    running()[&sync] = compressor;

    SettingsStore& settings = RCMenuManager::sharedInstance().sharedDefaults();
    SaveRequest request;
    request.name = defaultArchiveName(paths);
    request.folder = RCFile(paths.front()).folder();
    request.allowedTypes = {"zip"};
    request.passwordLabel = localized("Password") + ":";
    request.passwordPlaceholder = localized("Enter Password Tip");
    request.checkBoxTitle = localized("Skip .DS_Store, _MACOSX");
    request.checkBoxState = settings.readBool(kSkipJunkKey);
    const std::optional<SaveAnswer> answer = sync.ports().ui->runSavePanel(request);
    if (!answer || answer->path.empty()) {
        running().erase(&sync);
        return;
    }
    compressor->savePath = answer->path;
    if (answer->checked != request.checkBoxState) {
        settings.set(kSkipJunkKey, answer->checked);
    }
    const std::vector<std::string> exclude =
        answer->checked ? junkFileNames() : std::vector<std::string>{};
    const std::optional<std::string> password = isUsableZipPassword(answer->password)
                                                    ? std::optional<std::string>(answer->password)
                                                    : std::nullopt;

    sync.beginBusy();
    sync.ports().progress->setCancelHandler([compressor] { compressor->stopCompress(); });
    auto state = std::make_shared<RunState>();
    sync.runInBackground(
        [&sync, compressor, paths, exclude, password, state] {
            // Per-mille steps: a tree of a million items must not flood the main queue.
            std::int64_t shown = -1;
            compressor->startCompressWithPaths(
                paths, exclude, password,
                [&sync, compressor, state, &shown](std::int64_t done, std::int64_t total) {
                    state->lastDone = done;
                    state->lastTotal = total;
                    if (total <= 0) {
                        return;
                    }
                    const std::int64_t step = done * 1000 / total;
                    if (step == shown) {
                        return;
                    }
                    shown = step;
                    const double fraction = static_cast<double>(done) / static_cast<double>(total);
                    foreQueue().post(
                        [&sync, compressor, fraction] {
                            if (!compressor->isCancelled() && isCompressing(sync)) {
                                sync.ports().progress->setPercent(fraction);
                            }
                        },
                        {});
                });
        },
        [&sync, compressor, state] { finish(sync, compressor, *state); });
}

}  // namespace

std::string defaultArchiveName(const std::vector<std::string>& paths) {
    if (paths.size() == 1) {
        return RCFile(paths.front()).name();
    }
    return localized("Archiver");
}

bool isCompressing(const FinderSync& sync) {
    return running().count(&sync) != 0;
}

void registerZipCommands(CommandTable& table) {
    table.set(CommandId::EncryptedCompress, &encryptedCompress);
}

}  // namespace tf
