// The engine on the session bus: the object behind org.trackfolio.Trackfolio.Extension
// (docs/menu-protocol.md). Every public slot is a D-Bus method; keep internals out of them.
#pragma once

#include <QByteArray>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tf {

class FinderSync;

inline constexpr char kServiceName[] = "org.trackfolio.Trackfolio.extension";
inline constexpr char kObjectPath[] = "/org/trackfolio/Trackfolio/extension";
inline constexpr char kInterfaceName[] = "org.trackfolio.Trackfolio.Extension";

// A local path from a file:// URI, with the name's bytes kept exactly; nothing for any other
// URI (other schemes, remote hosts, relative paths) and for one that cannot be decoded whole
// (see util/file_uri.h).
std::optional<std::string> localPathFromUri(const QString& uri);

class MenuService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.trackfolio.Trackfolio.Extension")

  public:
    // After Quit, `quit` (which ends the event loop) is called once `isIdle` holds.
    MenuService(FinderSync& sync, std::function<bool()> isIdle, std::function<void()> quit,
                QObject* parent = nullptr);

  public Q_SLOTS:
    quint64 GetMenu(int kind, const QStringList& selection, const QString& target, QString& menu);
    bool Activate(quint64 menuId, qint64 tag);
    QStringList WatchedFolders();
    // The selection (file:// URIs) and, in `target`, the folder of the last item, container
    // or sidebar menu asked for: what a file manager showed last, for the pop-up menu on a
    // shortcut. Both empty before the first such request.
    QStringList LastSelection(QString& target);
    // Puts the text (UTF-8; trimmed, as every copied text is) on the clipboard, which this
    // long-lived service holds for `trackfolio-sync pasteboard`; true when the clipboard now
    // holds it.
    bool SetPasteboard(const QByteArray& text);
    void Quit();

  Q_SIGNALS:
    void MenuChanged();

  private:
    // Runs the accepted clicks in the order they came, one command at a time: a click that
    // arrives while a command waits in a prompt runs after that command. A command that
    // started a program (a script) has returned by then: the program runs on a worker and
    // its result comes back as a main-loop task of its own, which needs no selection. So a
    // script that takes ten seconds holds up no later click; only a prompt, whose command
    // still reads its own selection, does.
    void runAccepted();
    void quitWhenIdle();

    FinderSync& sync_;
    std::function<bool()> isIdle_;
    std::function<void()> quit_;
    std::deque<std::pair<std::uint64_t, std::int64_t>> accepted_;
    QStringList lastSelection_;
    QString lastTarget_;
    bool quitting_ = false;
    // Depth of commands running; above zero, requests arrive through a prompt's event loop.
    int running_ = 0;
};

}  // namespace tf
