// Hide, unhide, lock, unlock and the "show hidden files" instruction: the parts of that
// family that tests and other code may reach.
#pragma once

#include <string>
#include <string_view>

namespace tf {

// Name of the per-folder list of hidden names that the file managers read.
inline constexpr std::string_view kHiddenListName = ".hidden";

// Whether locking first tries the file system's immutable attribute (on by default). With it
// off, every lock uses the read-only permission bits, which lets tests running with the
// right to set the attribute reach that path as well. Unlocking always clears either.
void setImmutableAttributeEnabled(bool enabled);
bool immutableAttributeEnabled();

// The command that makes the file manager of a desktop (an XDG_CURRENT_DESKTOP value such as
// "ubuntu:GNOME" or "X-Cinnamon") show hidden files, or stop showing them. Meant to be pasted
// into a terminal by the user; never run by us. Unknown desktops get the GNOME one.
std::string showHiddenFilesCommand(std::string_view desktop, bool show);

}  // namespace tf
