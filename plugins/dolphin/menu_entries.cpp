#include "menu_entries.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QVariant>

namespace tf::dolphin {
namespace {

// Tags spell tree positions in up to eighteen digits, beyond what a double keeps exactly, so
// the integer the parser kept is read instead of toDouble().
qint64 tagOf(const QJsonValue& value) {
    const QVariant variant = value.toVariant();
    bool ok = false;
    const qlonglong tag = variant.toLongLong(&ok);
    return ok ? tag : 0;
}

QList<MenuEntry> entriesOf(const QJsonArray& array) {
    QList<MenuEntry> entries;
    entries.reserve(array.size());
    for (const QJsonValue& value : array) {
        if (!value.isObject()) {
            continue;
        }
        const QJsonObject object = value.toObject();
        MenuEntry entry;
        entry.key = object.value(QStringLiteral("key")).toString();
        entry.title = object.value(QStringLiteral("title")).toString();
        entry.icon = object.value(QStringLiteral("icon")).toString();
        entry.tag = tagOf(object.value(QStringLiteral("tag")));
        entry.separator = object.value(QStringLiteral("separator")).toBool();
        const QJsonValue children = object.value(QStringLiteral("children"));
        if (children.isArray() && !entry.separator) {
            entry.submenu = true;
            entry.children = entriesOf(children.toArray());
        }
        entries.append(entry);
    }
    return entries;
}

}  // namespace

QList<MenuEntry> parseMenu(const QString& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        return {};
    }
    return entriesOf(document.array());
}

}  // namespace tf::dolphin
