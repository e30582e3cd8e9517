#include "service/popup.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QIcon>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "cli/sync_cli.h"
#include "engine/finder_sync.h"
#include "platform/qt/qt_edge.h"
#include "service/menu_service.h"
#include "util/file_uri.h"
#include "util/text.h"

namespace tf {

namespace {

constexpr int kFailure = 1;
constexpr int kBadInput = 2;
// Long enough for D-Bus activation to start the service.
constexpr int kCallTimeoutMs = 15000;

int fail(std::ostream& err, int status, const std::string& message) {
    err << "trackfolio-sync: " << oneLine(message, 400) << "\n";
    return status;
}

QString uriOf(const std::string& path) {
    return QString::fromStdString(fileUriFromPath(path));
}

QIcon iconOf(const QString& icon) {
    if (icon.isEmpty()) {
        return {};
    }
    return icon.startsWith(QLatin1Char('/')) ? QIcon(icon) : QIcon::fromTheme(icon);
}

void addEntries(QMenu& menu, const QJsonArray& entries) {
    for (const QJsonValue& value : entries) {
        if (!value.isObject()) {
            continue;
        }
        const QJsonObject entry = value.toObject();
        if (entry.value(QStringLiteral("separator")).toBool()) {
            menu.addSeparator();
            continue;
        }
        const QString title = entry.value(QStringLiteral("title")).toString();
        const QIcon icon = iconOf(entry.value(QStringLiteral("icon")).toString());
        const qint64 tag = entry.value(QStringLiteral("tag")).toInteger();
        const QJsonValue children = entry.value(QStringLiteral("children"));
        if (children.isArray()) {
            QMenu* submenu = menu.addMenu(icon, title);
            submenu->menuAction()->setData(tag);
            addEntries(*submenu, children.toArray());
            continue;
        }
        QAction* action = menu.addAction(icon, title);
        action->setData(tag);
    }
}

QDBusMessage serviceCall(const QString& method) {
    return QDBusMessage::createMethodCall(QString::fromLatin1(kServiceName),
                                          QString::fromLatin1(kObjectPath),
                                          QString::fromLatin1(kInterfaceName), method);
}

bool callService(QDBusConnection& bus, const QDBusMessage& call, QDBusMessage& reply,
                 std::string& error) {
    reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        error = "the menu service did not answer: " + reply.errorMessage().toStdString();
        return false;
    }
    return true;
}

// Processes events until `done` holds, for at most `milliseconds`.
bool waitFor(const std::function<bool()>& done, int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Notes the first paint of a menu.
class Painted : public QObject {
  public:
    using QObject::QObject;
    bool painted = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted = true;
        }
        return QObject::eventFilter(watched, event);
    }
};

// Shows the menu and, without waiting for a choice, says when it was first painted (from the
// launch when TRACKFOLIO_LAUNCHED_AT gives it in nanoseconds since the epoch, so loading the
// program counts too) or saves a picture of it with its first submenu open.
void showWithoutChoosing(QMenu& menu, const QElapsedTimer& clock, bool timing,
                         const QString& screenshot) {
    Painted painted;
    menu.installEventFilter(&painted);
    menu.popup(screenshot.isEmpty() ? QCursor::pos() : QPoint(24, 24));
    waitFor([&] { return painted.painted; }, 5000);
    if (timing) {
        qt::printShownAfter(clock.elapsed());
    }
    if (!screenshot.isEmpty()) {
        QRect area = menu.geometry();
        for (QAction* action : menu.actions()) {
            if (QMenu* submenu = action->menu(); submenu != nullptr && !submenu->isEmpty()) {
                Painted subPainted;
                submenu->installEventFilter(&subPainted);
                menu.setActiveAction(action);
                if (waitFor([&] { return submenu->isVisible() && subPainted.painted; }, 3000)) {
                    area = area.united(submenu->geometry());
                }
                submenu->removeEventFilter(&subPainted);
                break;
            }
        }
        // Let the last paint reach the screen.
        waitFor([] { return false; }, 150);
        QScreen* screen = menu.screen();
        const QPixmap picture = screen->grabWindow(0, area.x() - 8, area.y() - 8, area.width() + 16,
                                                   area.height() + 16);
        picture.save(screenshot);
    }
    menu.removeEventFilter(&painted);
    menu.hide();
}

}  // namespace

std::optional<PopupRequest> popupRequestFromArguments(const std::vector<std::string>& args,
                                                      std::string& error) {
    PopupRequest request;
    std::string target;
    std::vector<std::string> paths;
    bool endOfOptions = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (endOfOptions || !startsWith(arg, "--")) {
            std::optional<std::string> path = commandLinePath(arg, error);
            if (!path) {
                return std::nullopt;
            }
            paths.push_back(std::move(*path));
        } else if (arg == "--") {
            endOfOptions = true;
        } else if (arg == "--target") {
            if (i + 1 >= args.size()) {
                error = "--target needs a value";
                return std::nullopt;
            }
            std::optional<std::string> path = commandLinePath(args[++i], error);
            if (!path) {
                return std::nullopt;
            }
            target = std::move(*path);
        } else {
            error = "unknown option " + arg;
            return std::nullopt;
        }
    }
    // Items without a folder: the folder that holds the first.
    if (target.empty() && !paths.empty()) {
        std::string parent = paths.front();
        const std::size_t slash = parent.find_last_of('/');
        parent.resize(slash == 0 ? 1 : slash);
        target = parent;
    }
    for (const std::string& path : paths) {
        request.selection.append(uriOf(path));
    }
    if (!target.empty()) {
        request.target = uriOf(target);
    }
    return request;
}

bool fillPopupMenu(QMenu& menu, const QString& json) {
    QJsonParseError parsed{};
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isArray()) {
        return false;
    }
    addEntries(menu, document.array());
    return true;
}

int showPopup(QDBusConnection& bus, PopupRequest request, const PopupChooser& choose,
              std::ostream& err) {
    if (!bus.isConnected()) {
        return fail(err, kFailure, "no session bus: " + bus.lastError().message().toStdString());
    }
    std::string error;
    QDBusMessage reply;
    if (request.target.isEmpty()) {
        if (!callService(bus, serviceCall(QStringLiteral("LastSelection")), reply, error)) {
            return fail(err, kFailure, error);
        }
        request.selection = reply.arguments().value(0).toStringList();
        request.target = reply.arguments().value(1).toString();
    }
    // No file manager has said where the user is yet.
    if (request.target.isEmpty()) {
        request.selection.clear();
        request.target = uriOf(QDir::homePath().toStdString());
    }

    QDBusMessage getMenu = serviceCall(QStringLiteral("GetMenu"));
    getMenu << static_cast<int>(MenuKind::Toolbar) << request.selection << request.target;
    if (!callService(bus, getMenu, reply, error)) {
        return fail(err, kFailure, error);
    }
    const quint64 menuId = reply.arguments().value(0).toULongLong();
    QMenu menu;
    if (!fillPopupMenu(menu, reply.arguments().value(1).toString())) {
        return fail(err, kFailure, "the menu service sent no menu");
    }
    if (menu.isEmpty()) {
        return 0;
    }
    QAction* chosen = choose(menu);
    if (chosen == nullptr || chosen->menu() != nullptr) {
        return 0;
    }
    QDBusMessage activate = serviceCall(QStringLiteral("Activate"));
    activate << menuId << chosen->data().toLongLong();
    // Waited for: this process ends right after, and the click must have reached the service.
    if (!callService(bus, activate, reply, error)) {
        return fail(err, kFailure, error);
    }
    if (!reply.arguments().value(0).toBool()) {
        return fail(err, kFailure, "the menu service refused the entry");
    }
    return 0;
}

int runPopup(int argc, char** argv, const std::vector<std::string>& args, std::ostream& err) {
    // Two options for timing and pictures, taken out before the request's own.
    std::vector<std::string> requestArgs;
    bool exitWhenShown = false;
    QString screenshot;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--exit-when-shown") {
            exitWhenShown = true;
        } else if (args[i] == "--screenshot" && i + 1 < args.size()) {
            screenshot = QString::fromStdString(args[++i]);
        } else {
            requestArgs.push_back(args[i]);
        }
    }
    std::string error;
    const std::optional<PopupRequest> request = popupRequestFromArguments(requestArgs, error);
    if (!request) {
        return fail(err, kBadInput, error);
    }
    // A pop-up needs a parent window on Wayland and the pointer's place is not ours to know
    // there; X11 (through XWayland where there is one) has neither limit.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") != nullptr) {
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("trackfolio-sync"));
    // Outside a desktop session Qt names no icon theme, and the entries would have no icons.
    if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == "hicolor") {
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (exitWhenShown || !screenshot.isEmpty()) {
        return showPopup(
            bus, *request,
            [&](QMenu& menu) {
                showWithoutChoosing(menu, clock, exitWhenShown, screenshot);
                return nullptr;
            },
            err);
    }
    return showPopup(
        bus, *request, [](QMenu& menu) { return menu.exec(QCursor::pos()); }, err);
}

}  // namespace tf
