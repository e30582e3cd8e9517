#include "engine/finder_sync.h"

#include <algorithm>

#include "model/menu_manager.h"
#include "runtime/queues.h"
#include "util/log.h"
#include "util/path_text.h"
#include "util/text.h"

namespace tf {

std::optional<MenuKind> menuKindFromName(std::string_view name) {
    if (name == "items" || name == "0") {
        return MenuKind::Items;
    }
    if (name == "container" || name == "1") {
        return MenuKind::Container;
    }
    if (name == "sidebar" || name == "2") {
        return MenuKind::Sidebar;
    }
    if (name == "toolbar" || name == "3") {
        return MenuKind::Toolbar;
    }
    return std::nullopt;
}

FinderSync::FinderSync(Ports ports) : ports_(ports) {
    // "Go Set" and the settings application's other starts go through this program's
    // workspace, so the headless one records them.
    Workspace* workspace = ports_.workspace;
    RCMenuManager::sharedInstance().setApplicationLauncher(
        [workspace](std::string_view) { return workspace->launchHostApplication({}); });
}

FinderSync::~FinderSync() {
    RCMenuManager::sharedInstance().setApplicationLauncher(nullptr);
}

void FinderSync::startService(const std::vector<std::string>& mountedVolumes) {
    setupDirectoryURLs(mountedVolumes);
    loadingCount_ = 0;
    const WriteResult cleared = RCMenuManager::sharedInstance().updateMenuKey(
        kMainListKey, menuKeyText(MenuKey::CutPaste), "cutPaths", Value(Array{}));
    if (!cleared.ok) {
        logWarning("could not clear the cut list: " + cleared.error);
    }
}

std::vector<std::string> FinderSync::setupDirectoryURLs(
    const std::vector<std::string>& mountedVolumes) {
    std::vector<std::string> folders;
    if (RCMenuManager::sharedInstance().sharedDefaults().readBool("pref check3")) {
        for (const std::string& volume : mountedVolumes) {
            folders.push_back(withoutTrailingSlashes(volume));
        }
    }
    folders.emplace_back("/");
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    directoryURLs_ = folders;
    return folders;
}

void FinderSync::setSelectedItemURLs(std::vector<std::string> paths) {
    selectedItemURLs_ = std::move(paths);
}

void FinderSync::setTargetURL(std::string path) {
    targetURL_ = std::move(path);
}

const std::vector<std::string>& FinderSync::selectURLs() {
    if (!selectURLs_) {
        std::vector<std::string> selection;
        for (const std::string& path : selectedItemURLs_) {
            selection.push_back(withoutTrailingSlashes(path));
        }
        if (selection.empty() && isValid(targetURL_)) {
            selection.push_back(withoutTrailingSlashes(targetURL_));
        }
        std::erase(selection, std::string("/"));
        selectURLs_ = std::move(selection);
    }
    return *selectURLs_;
}

// ---- Kept menus ------------------------------------------------------------------------

FinderSync::Snapshot FinderSync::currentRequest() const {
    Snapshot request;
    request.id = menuId_;
    request.selectedItemURLs = selectedItemURLs_;
    request.targetURL = targetURL_;
    request.selectURLs = selectURLs_;
    request.isSelectURL = isSelectURL_;
    request.rightMenuArray = rightMenuArray_;
    request.menu = menu_;
    request.menuHasFoldEntry = menuHasFoldEntry_;
    return request;
}

void FinderSync::resumeRequest(const Snapshot& request) {
    selectedItemURLs_ = request.selectedItemURLs;
    targetURL_ = request.targetURL;
    selectURLs_ = request.selectURLs;
    isSelectURL_ = request.isSelectURL;
    rightMenuArray_ = request.rightMenuArray;
    menu_ = request.menu;
    menuHasFoldEntry_ = request.menuHasFoldEntry;
    menuId_ = request.id;
}

void FinderSync::keepSnapshot(MenuKind kind) {
    Snapshot kept = currentRequest();
    kept.kind = kind;
    keptSnapshots_.push_back(std::move(kept));
    const auto sameKind = [kind](const Snapshot& s) { return s.kind == kind; };
    if (static_cast<std::size_t>(std::count_if(keptSnapshots_.begin(), keptSnapshots_.end(),
                                               sameKind)) > kKeptMenusPerKind) {
        keptSnapshots_.erase(std::find_if(keptSnapshots_.begin(), keptSnapshots_.end(), sameKind));
    }
}

bool FinderSync::restoreSnapshot(std::uint64_t id) {
    if (id == 0) {
        return false;
    }
    if (id == menuId()) {
        return true;
    }
    for (const Snapshot& kept : keptSnapshots_) {
        if (kept.id == id) {
            resumeRequest(kept);
            return true;
        }
    }
    return false;
}

void FinderSync::consumeSnapshot() {
    // One click per menu: neither the current state nor the kept copy answers it again.
    std::erase_if(keptSnapshots_, [this](const Snapshot& kept) { return kept.id == menuId_; });
    rightMenuArray_.reset();
}

// ---- Busy counter -----------------------------------------------------------------------

void FinderSync::beginBusy() {
    ++loadingCount_;
    progressShown_ = true;
    ports_.progress->open();
}

void FinderSync::endBusy() {
    loadingCount_ = std::max(loadingCount_ - 1, 0);
    if (loadingCount_ == 0) {
        clean();
    }
}

void FinderSync::clean() {
    if (progressShown_) {
        progressShown_ = false;
        ports_.progress->close();
    }
}

void FinderSync::showSuccess(const std::string& message, std::function<void()> then) {
    progressShown_ = true;
    ports_.progress->showSuccess(message, [this, then = std::move(then)] {
        // The window has closed itself; `clean` must not close it a second time.
        progressShown_ = false;
        if (then) {
            then();
        }
    });
}

void FinderSync::runInBackground(std::function<void()> work, std::function<void()> done) {
    ++outstanding_;
    backQueue().post([this, work = std::move(work), done = std::move(done)]() mutable {
        work();
        foreQueue().post(
            [this, done = std::move(done)] {
                if (done) {
                    done();
                }
                --outstanding_;
            },
            {});
    });
}

void FinderSync::runProgram(ProcessRequest request,
                            std::function<void(const ProcessResult&)> ended) {
    ++outstanding_;
    ProcessRunner* runner = ports_.processes;
    programThreads_.start(
        [this, runner, request = std::move(request), ended = std::move(ended)]() mutable {
            ProcessResult result = runner->run(request);
            foreQueue().post(
                [this, result = std::move(result), ended = std::move(ended)] {
                    if (ended) {
                        ended(result);
                    }
                    --outstanding_;
                },
                {});
        });
}

// The programs of one runPrograms call and what handles their results.
struct FinderSync::ProgramTurns {
    std::vector<ProcessRequest> requests;
    ProgramEnded ended;
};

void FinderSync::runPrograms(std::vector<ProcessRequest> requests, ProgramEnded ended) {
    if (requests.empty()) {
        return;
    }
    auto turns = std::make_shared<ProgramTurns>();
    turns->requests = std::move(requests);
    turns->ended = std::move(ended);
    runProgramInTurn(std::move(turns), 0);
}

void FinderSync::runProgramInTurn(std::shared_ptr<ProgramTurns> turns, std::size_t index) {
    ProcessRequest request = std::move(turns->requests[index]);
    runProgram(std::move(request), [this, turns, index](const ProcessResult& result) {
        if (turns->ended) {
            turns->ended(index, result);
        }
        // Started before this one stops counting as outstanding, so the command never looks
        // idle between two of its programs.
        if (index + 1 < turns->requests.size()) {
            runProgramInTurn(turns, index + 1);
        }
    });
}

}  // namespace tf
