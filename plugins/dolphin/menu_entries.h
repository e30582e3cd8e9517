// The menu tree the service sends back from GetMenu, read from its JSON text.
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace tf::dolphin {

struct MenuEntry {
    QString key;
    QString title;
    // An icon-theme name, an absolute image path, or empty.
    QString icon;
    qint64 tag = 0;
    bool separator = false;
    // Submenu heads have children (possibly none); plain entries do not.
    bool submenu = false;
    QList<MenuEntry> children;
};

// Entries of a menu JSON array. Malformed text gives no entries, so a confused service shows
// nothing rather than half a menu; entries that are not objects are skipped.
QList<MenuEntry> parseMenu(const QString& json);

}  // namespace tf::dolphin
