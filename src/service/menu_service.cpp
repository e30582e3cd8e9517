#include "service/menu_service.h"

#include <QByteArray>
#include <QDBusError>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>
#include <string_view>

#include "cli/pasteboard_cli.h"
#include "engine/finder_sync.h"
#include "engine/menu_tree.h"
#include "model/json_value.h"
#include "util/file_uri.h"
#include "util/log.h"

namespace tf {

namespace {

constexpr std::chrono::milliseconds kIdlePoll{100};

}  // namespace

std::optional<std::string> localPathFromUri(const QString& uri) {
    // D-Bus strings are UTF-8, so this gives back the bytes the caller sent.
    const QByteArray text = uri.toUtf8();
    return localPathFromUri(
        std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

MenuService::MenuService(FinderSync& sync, std::function<bool()> isIdle, std::function<void()> quit,
                         QObject* parent)
    : QObject(parent), sync_(sync), isIdle_(std::move(isIdle)), quit_(std::move(quit)) {}

quint64 MenuService::GetMenu(int kind, const QStringList& selection, const QString& target,
                             QString& menu) {
    menu = QStringLiteral("[]");
    if (kind < 0 || kind > static_cast<int>(MenuKind::Toolbar)) {
        if (calledFromDBus()) {
            sendErrorReply(QDBusError::InvalidArgs,
                           QStringLiteral("unknown menu kind %1 (0 items, 1 container, "
                                          "2 sidebar, 3 toolbar)")
                               .arg(kind));
        }
        return 0;
    }
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(selection.size()));
    for (const QString& uri : selection) {
        std::optional<std::string> path = localPathFromUri(uri);
        if (!path) {
            return 0;
        }
        paths.push_back(std::move(*path));
    }
    const std::optional<std::string> folder = localPathFromUri(target);
    if (!folder) {
        return 0;
    }
    // The toolbar kind is what the pop-up itself asks for; only file managers say where the
    // user is.
    if (kind != static_cast<int>(MenuKind::Toolbar)) {
        lastSelection_ = selection;
        lastTarget_ = target;
    }
    // A click accepted before this request still belongs to the menus it was made in.
    runAccepted();
    // A file manager asks on every selection change, also while one of our prompts is open:
    // the command waiting in it must go on with its own selection, not this one.
    std::optional<FinderSync::Snapshot> paused;
    if (running_ > 0) {
        paused = sync_.currentRequest();
    }
    try {
        sync_.setSelectedItemURLs(std::move(paths));
        sync_.setTargetURL(*folder);
        const MenuList& built = sync_.menuForMenuKind(static_cast<MenuKind>(kind));
        menu = QString::fromStdString(menuJsonText(built));
        const quint64 id = sync_.menuId();
        if (paused) {
            sync_.resumeRequest(*paused);
        }
        return id;
    } catch (const std::exception& error) {
        if (paused) {
            sync_.resumeRequest(*paused);
        }
        // One bad request must not take the menus of every file manager down with it.
        logWarning(std::string("menu request failed: ") + error.what());
        menu = QStringLiteral("[]");
        if (calledFromDBus()) {
            sendErrorReply(QDBusError::Failed, QString::fromStdString(error.what()));
        }
        return 0;
    }
}

bool MenuService::Activate(quint64 menuId, qint64 tag) {
    const std::uint64_t id = menuId;
    const bool alreadyClicked = std::any_of(accepted_.begin(), accepted_.end(),
                                            [id](const auto& click) { return click.first == id; });
    if (quitting_ || alreadyClicked || !sync_.canActivate(id, tag)) {
        logWarning("click on menu " + std::to_string(id) + " tag " + std::to_string(tag) +
                   " refused; nothing runs");
        return false;
    }
    accepted_.emplace_back(id, tag);
    // The reply goes out when this returns; the command runs on the next turn of the loop,
    // so a prompt it shows never holds up the caller.
    QMetaObject::invokeMethod(this, &MenuService::runAccepted, Qt::QueuedConnection);
    return true;
}

QStringList MenuService::WatchedFolders() {
    QStringList folders;
    for (const std::string& folder : sync_.directoryURLs()) {
        folders.append(QString::fromStdString(folder));
    }
    return folders;
}

QStringList MenuService::LastSelection(QString& target) {
    target = lastTarget_;
    return lastSelection_;
}

bool MenuService::SetPasteboard(const QByteArray& text) {
    if (static_cast<std::size_t>(text.size()) > kPasteboardLimit) {
        return false;
    }
    return copyToPasteboard(
        *sync_.ports().pasteboard,
        std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

void MenuService::Quit() {
    quitting_ = true;
    QMetaObject::invokeMethod(this, &MenuService::quitWhenIdle, Qt::QueuedConnection);
}

void MenuService::runAccepted() {
    if (running_ > 0) {
        return;
    }
    while (!accepted_.empty()) {
        const auto [id, tag] = accepted_.front();
        accepted_.pop_front();
        ++running_;
        try {
            if (!sync_.activate(id, tag)) {
                logWarning("accepted click on menu " + std::to_string(id) +
                           " found nothing to run");
            }
        } catch (const std::exception& error) {
            logWarning("command of menu " + std::to_string(id) + " tag " + std::to_string(tag) +
                       " failed: " + error.what());
        }
        --running_;
    }
}

void MenuService::quitWhenIdle() {
    runAccepted();
    if (isIdle_()) {
        quit_();
        return;
    }
    QTimer::singleShot(kIdlePoll, this, &MenuService::quitWhenIdle);
}

}  // namespace tf
