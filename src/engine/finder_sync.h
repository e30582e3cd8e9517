// FinderSync: the menu engine of the menu service. For each request it reads the selection
// the file manager gives, builds the menu from a fresh snapshot of the catalogue, and when
// an entry is chosen decodes its tag against that snapshot, passes the permission gate and
// starts the command. It also keeps the busy counter that holds the progress window open
// while background commands run.
//
// Everything here runs on the main queue (menu requests included); background work goes
// through runInBackground, programs through runProgram(s), and both report back on the main
// queue.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/command_table.h"
#include "engine/menu_tree.h"
#include "model/menu_item.h"
#include "platform/ports.h"
#include "runtime/queues.h"

namespace tf {

enum class MenuKind : int { Items = 0, Container = 1, Sidebar = 2, Toolbar = 3 };

// "items", "container", "sidebar", "toolbar" (or the numbers 0-3).
std::optional<MenuKind> menuKindFromName(std::string_view name);

// Settings keys of the usage tally.
inline constexpr std::string_view kUseCountKey = "use count";
inline constexpr std::string_view kUseCountByKeyKey = "use count by key";
// Key of the fold entry in the menu tree (it is not a catalogue entry).
inline constexpr std::string_view kFoldEntryKey = "Fold Menu";

class FinderSync {
  public:
    explicit FinderSync(Ports ports);
    ~FinderSync();
    FinderSync(const FinderSync&) = delete;
    FinderSync& operator=(const FinderSync&) = delete;

    const Ports& ports() const { return ports_; }

    // What the long-lived service does when it starts: computes the watched folders, zeroes
    // the busy counter and forgets a cut made before the restart. One-shot commands do not
    // call it, so a cut made by one `run` can be pasted by the next.
    void startService(const std::vector<std::string>& mountedVolumes);
    // "/" plus, with "pref check3", the mounted volumes; duplicates collapse.
    std::vector<std::string> setupDirectoryURLs(const std::vector<std::string>& mountedVolumes);
    const std::vector<std::string>& directoryURLs() const { return directoryURLs_; }
    CommandTable& commands() { return commands_; }

    // What the file manager gives with a request: the selected items and the folder shown.
    void setSelectedItemURLs(std::vector<std::string> paths);
    void setTargetURL(std::string path);
    const std::string& targetURL() const { return targetURL_; }
    // The items exactly as the file manager gave them (hiding works on these).
    const std::vector<std::string>& selectedItemURLs() const { return selectedItemURLs_; }

    // Builds the menu for a request and keeps its snapshot for dispatch.
    const MenuList& menuForMenuKind(MenuKind kind);
    // Identifies the snapshot of the latest menu; 0 when there is none to dispatch from.
    std::uint64_t menuId() const { return rightMenuArray_ ? menuId_ : 0; }

    // The normalised selection of the current request (cached until the next one).
    const std::vector<std::string>& selectURLs();
    std::vector<std::string> selectPaths() { return selectURLs(); }
    bool isSelectURL() const { return isSelectURL_; }
    bool isSelectSingleURL() { return isSelectURL_ && selectURLs().size() == 1; }

    // The request a click answers: selection, folder shown and menu snapshot. Commands read
    // it while they run, so a menu asked for while a command waits in a prompt must put it
    // back (`currentRequest` / `resumeRequest`).
    struct Snapshot {
        std::uint64_t id = 0;
        MenuKind kind = MenuKind::Items;
        std::vector<std::string> selectedItemURLs;
        std::string targetURL;
        std::optional<std::vector<std::string>> selectURLs;
        bool isSelectURL = false;
        std::shared_ptr<const std::vector<RCMenuItem>> rightMenuArray;
        std::shared_ptr<const MenuList> menu;
        bool menuHasFoldEntry = false;
    };
    Snapshot currentRequest() const;
    void resumeRequest(const Snapshot& request);

    // A click in the menu with this id. Refused (false, nothing runs) when the id is not one of
    // the last few menus of its kind, that menu was clicked already, or the tag is not one of
    // its entries. Tag 0 is the fold entry's settings action. Earlier menus stay clickable
    // because a file manager may ask for the item and background menus together, or ask again,
    // and still show the menu it got first.
    bool activate(std::uint64_t menuId, std::int64_t tag);
    // Whether activate() would accept this click, without running anything: lets the menu
    // service answer a click before the command runs.
    bool canActivate(std::uint64_t menuId, std::int64_t tag) const;
    // A click on an entry of the current menu; false when the tag is not in it.
    bool onMenuItemAction(std::int64_t tag);
    // The command switch for a top-level entry and the remaining tag groups.
    void readyStart(const RCMenuItem& entry, std::vector<std::string> groups);
    // Counts a started command and paces the review prompt.
    void useSuccess(const RCMenuItem& entry);
    void goSet();
    void goReview();

    // Busy counter: each background command raises it before it starts and lowers it when
    // it ends; the progress window stays open until it is back at zero.
    void beginBusy();
    void endBusy();
    int loadingCount() const { return loadingCount_; }
    void clean();
    // The progress window's success mark; the window closes itself a second later, then
    // `then` runs on the main queue.
    void showSuccess(const std::string& message, std::function<void()> then);
    // Runs work on the background queue, then done on the main queue.
    void runInBackground(std::function<void()> work, std::function<void()> done);
    // Runs a program on a thread of its own, so that however long it takes it holds up neither
    // the main queue (menus keep answering, later clicks run) nor the background queue; then
    // `ended` gets its result on the main queue.
    using ProgramEnded = std::function<void(std::size_t index, const ProcessResult& result)>;
    void runProgram(ProcessRequest request, std::function<void(const ProcessResult&)> ended);
    // Runs the programs strictly one after another: each starts once the previous one's
    // result has been handled, so what they show comes in their order.
    void runPrograms(std::vector<ProcessRequest> requests, ProgramEnded ended);
    // Nothing busy and no background work or program outstanding.
    bool isIdle() const { return loadingCount_ == 0 && outstanding_.load() == 0; }

    int showAlert(const AlertRequest& request);
    void setReviewDelay(std::chrono::milliseconds delay) { reviewDelay_ = delay; }

  private:
    struct CurrentFile {
        std::string path;
        std::string ext;
        bool isFolder = false;
    };

    bool isFiltered(const RCMenuItem& entry, const CurrentFile& current) const;
    void fillChildren(RCMenuItem& entry, const CurrentFile& current);
    // Asks the workspace, once per menu and application, whether the applications these
    // entries start are installed.
    void learnApplications(const std::vector<RCMenuItem>& entries);
    // An entry that starts an application the desktop does not have: a click could only fail.
    bool startsMissingApplication(const RCMenuItem& entry) const;
    void dropMissingApplications(std::vector<RCMenuItem>& entries);
    std::optional<MenuList> getSubMenuWithChildren(const std::vector<RCMenuItem>& children,
                                                   const std::string& parentTag,
                                                   bool noImages) const;
    void invoke(const CommandCall& call);
    void notAvailable(const CommandCall& call);
    void dispatchSubmenu(const RCMenuItem& entry, std::vector<std::string> groups);
    void dispatchPlain(const RCMenuItem& entry);
    struct ProgramTurns;
    void runProgramInTurn(std::shared_ptr<ProgramTurns> turns, std::size_t index);

    Ports ports_;
    CommandTable commands_;
    std::vector<std::string> directoryURLs_;
    std::vector<std::string> selectedItemURLs_;
    std::string targetURL_;
    std::optional<std::vector<std::string>> selectURLs_;
    bool isSelectURL_ = false;
    // Shared with the kept snapshots, so keeping a menu copies nothing.
    std::shared_ptr<const std::vector<RCMenuItem>> rightMenuArray_;
    std::shared_ptr<const MenuList> menu_;
    std::map<std::string, std::vector<RCMenuItem>> childFolderListings_;
    // Which applications are installed, by name, for the menu being built.
    std::unordered_map<std::string, bool> installedApplications_;
    bool menuHasFoldEntry_ = false;
    std::uint64_t menuId_ = 0;
    std::uint64_t lastMenuId_ = 0;
    // A file manager may ask again while it still shows the menu it got before (its own
    // refresh, or a settings change our command made), so the last few menus of each kind
    // stay clickable, each once and with its own selection.
    static constexpr std::size_t kKeptMenusPerKind = 4;
    std::deque<Snapshot> keptSnapshots_;
    void keepSnapshot(MenuKind kind);
    bool restoreSnapshot(std::uint64_t id);
    void consumeSnapshot();
    int loadingCount_ = 0;
    bool progressShown_ = false;
    std::atomic<int> outstanding_{0};
    std::chrono::milliseconds reviewDelay_{3000};
    // Last, so its threads have ended before anything they use goes.
    WorkerThreads programThreads_;
};

}  // namespace tf
