// What to ask the service for, given what Dolphin hands the plugin.
#pragma once

#include <KFileItem>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

namespace tf::dolphin {

// Menu kinds of the protocol that Dolphin can ask for.
enum class MenuKind : int { Items = 0, Container = 1 };

struct MenuRequest {
    MenuKind kind = MenuKind::Items;
    QStringList selection;
    QString target;
};

// Dolphin asks for the folder background with one item: the folder itself. That item is
// told apart from a selected folder by comparing it with the folder the view shows
// (`shownFolder`, empty when unknown); without a view, the root item a directory listing makes
// for the folder (named ".") is taken as the background. Nothing when any item is not a local
// file: other locations get no menu and no call.
std::optional<MenuRequest> menuRequestFor(const KFileItemList& items, const QUrl& shownFolder);

// The percent-encoded file:// URI of a local URL, without a trailing slash.
QString fileUri(const QUrl& url);

}  // namespace tf::dolphin
