// `trackfolio-sync popup`: the toolbar menu as a pop-up menu at the pointer, for a keyboard
// shortcut. The service builds the menu and runs the chosen entry, exactly as for a click in
// a file manager; this process only shows it.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QDBusConnection;
class QMenu;

namespace tf {

// What the menu is for, as file:// URIs.
struct PopupRequest {
    QStringList selection;
    QString target;
};

// The request of the command line `[--target DIR] [PATH...]`; nothing asked for (no
// arguments) gives an empty target. Nothing, with the reason, for arguments that do not parse.
std::optional<PopupRequest> popupRequestFromArguments(const std::vector<std::string>& args,
                                                      std::string& error);

// Adds the entries of a menu (the JSON of GetMenu) to `menu`: separators, submenus and
// entries with their icons; each entry's action carries its tag as data. False when the text
// is not a menu.
bool fillPopupMenu(QMenu& menu, const QString& json);

// Shows the user the menu and returns the chosen action, or null when it was dismissed.
using PopupChooser = std::function<QAction*(QMenu& menu)>;

// Asks the service on `bus` for the menu (for the last folder a file manager reported when
// the request has no target, else the home folder), lets `choose` pick an entry and has the
// service run it. 0 also when nothing was chosen; 1 when the service could not be reached.
int showPopup(QDBusConnection& bus, PopupRequest request, const PopupChooser& choose,
              std::ostream& err);

// The command: parses the arguments, shows the menu at the pointer.
int runPopup(int argc, char** argv, const std::vector<std::string>& args, std::ostream& err);

}  // namespace tf
