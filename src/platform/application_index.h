// Which applications the desktop has. Launching resolves a name against a fresh read of the
// applications folders; menus ask on every right-click, so they get their answers from an
// index that is read again only when an applications folder changes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/desktop_entries.h"

namespace tf {

// The entries of the applications folders, resolvable by desktop-file id or Name=.
class ApplicationIndex {
  public:
    // Entries in precedence order, one per id (as installedDesktopEntries gives them).
    explicit ApplicationIndex(std::vector<DesktopEntry> entries);

    // The launchable entry for a desktop-file id ("code.desktop" or "code") or a Name=
    // (exact first, then ignoring ASCII case). A .desktop path is not looked up here.
    std::optional<DesktopEntry> find(std::string_view application) const;
    bool contains(std::string_view application) const { return position(application).has_value(); }

  private:
    std::optional<std::size_t> position(std::string_view application) const;

    std::vector<DesktopEntry> entries_;
    // Every id, launchable or not: an id that names an unusable entry still hides nothing
    // else, so the name lookups run after it.
    std::unordered_map<std::string, std::size_t> ids_;
    std::vector<bool> launchable_;
    // Launchable entries only, the first in precedence order for each name.
    std::unordered_map<std::string, std::size_t> names_;
    std::unordered_map<std::string, std::size_t> lowerNames_;
};

// For each application (a .desktop path, a desktop-file id or a Name=), whether
// findDesktopEntry would find it. When nothing changed this costs one stat per applications
// folder and subfolder per call, and one per application given as a path; a change to a
// folder (an entry added, removed or renamed) or to the environment that names the folders
// reads them again.
std::vector<bool> installedApplications(const std::vector<std::string>& applications);
bool isApplicationInstalled(std::string_view application);

}  // namespace tf
