// Desktop entries (.desktop files) of installed applications: finding one by path, desktop-file
// id or name, and turning its Exec line into argument vectors. No GIO: the freedesktop rules
// are small, and this way no launch ever goes through a shell.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tf {

// The [Desktop Entry] group of one file, string escapes resolved.
struct DesktopEntry {
    // "org.example.App.desktop"; empty for a file given by its path.
    std::string id;
    std::string file;
    std::string type;
    std::string name;
    std::string exec;
    std::string tryExec;
    std::string icon;
    // Path=: the folder the program runs in.
    std::string workingDirectory;
    bool terminal = false;
    bool hidden = false;
    // NoDisplay=true: launchable, but not one to offer in a list of applications.
    bool noDisplay = false;
};

// Nothing when the file cannot be read or has no [Desktop Entry] group.
std::optional<DesktopEntry> readDesktopEntry(const std::filesystem::path& file);

// The applications folders in precedence order: $XDG_DATA_HOME (default ~/.local/share),
// then each of $XDG_DATA_DIRS (default /usr/local/share:/usr/share), with "/applications".
std::vector<std::filesystem::path> applicationFolders();

// Every entry found, one per desktop-file id (the first folder wins, so a user's copy hides
// the system one), in precedence order. Hidden entries are kept: they hide the id. Every
// folder read (the applications folders, also missing ones, and their subfolders) is added
// to `read` when one is given.
std::vector<DesktopEntry> installedDesktopEntries(
    std::vector<std::filesystem::path>* read = nullptr);

// Whether the entry can be started: an application, not hidden (deleted), with an Exec line
// that parses and a TryExec program that is installed.
bool isLaunchable(const DesktopEntry& entry);

// The application given as a .desktop path, a desktop-file id ("code.desktop" or "code"), or
// a Name= (exact first, then ignoring ASCII case); nothing when none is launchable. Reads the
// applications folders afresh; menus ask isApplicationInstalled (application_index.h).
std::optional<DesktopEntry> findDesktopEntry(std::string_view application);

// Splits an Exec value into words: blanks separate, double quotes group (backslash escapes
// `"`, `` ` ``, `$` and `\` inside them), single quotes group literally, and a backslash
// outside quotes takes the next character literally. Nothing when a quote is left open.
std::optional<std::vector<std::string>> splitExecLine(std::string_view exec);

// The argument vectors that start the entry with the paths: one vector, or one per path when
// the entry takes a single file (%f, %u, or no file code at all, which reads as %f). Paths
// become absolute; %u and %U give file URIs. Whatever a name holds it stays literal: a word
// that is just a file code gives each path as an argument of its own, a code inside a longer
// word ("--file=%f") gives the first path as text, and a code inside a quoted part of the line
// (a command line for a shell, as in sh -c "wc -c %f") gives each value quoted for the place
// it stands in that command line. Empty when the Exec line is empty or malformed.
std::vector<std::vector<std::string>> expandExec(const DesktopEntry& entry,
                                                 const std::vector<std::string>& paths);

// "file://" and the absolute path with every byte other than unreserved ones and "/"
// percent-encoded.
std::string fileUri(std::string_view path);

}  // namespace tf
