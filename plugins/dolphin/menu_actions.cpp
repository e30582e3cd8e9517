#include "menu_actions.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QObject>

namespace tf::dolphin {
namespace {

QIcon iconOf(const QString& icon) {
    if (icon.isEmpty()) {
        return {};
    }
    return icon.startsWith(QLatin1Char('/')) ? QIcon(icon) : QIcon::fromTheme(icon);
}

// Unique across the item and background menus, so a host that finds actions by name can never
// mistake one menu's entry for the other's.
QString actionName(quint64 menuId, qint64 tag) {
    return QStringLiteral("trackfolio_%1_%2").arg(menuId).arg(tag);
}

void addEntries(QMenu* menu, const QList<MenuEntry>& entries, quint64 menuId,
                const ActivateFn& activate);

QAction* actionFor(const MenuEntry& entry, quint64 menuId, QObject* owner, QMenu* parentMenu,
                   const ActivateFn& activate) {
    if (entry.separator) {
        auto* separator = new QAction(owner);
        separator->setSeparator(true);
        return separator;
    }
    if (entry.submenu) {
        // Nested menus are widgets owned by their parent menu; the top one follows `owner`.
        auto* submenu = new QMenu(parentMenu);
        if (parentMenu == nullptr) {
            QObject::connect(owner, &QObject::destroyed, submenu, [submenu] { delete submenu; });
        }
        submenu->setTitle(entry.title);
        submenu->setIcon(iconOf(entry.icon));
        submenu->menuAction()->setObjectName(actionName(menuId, entry.tag));
        addEntries(submenu, entry.children, menuId, activate);
        return submenu->menuAction();
    }
    auto* action = new QAction(iconOf(entry.icon), entry.title, owner);
    action->setObjectName(actionName(menuId, entry.tag));
    const qint64 tag = entry.tag;
    QObject::connect(action, &QAction::triggered, action,
                     [activate, menuId, tag] { activate(menuId, tag); });
    return action;
}

void addEntries(QMenu* menu, const QList<MenuEntry>& entries, quint64 menuId,
                const ActivateFn& activate) {
    for (const MenuEntry& entry : entries) {
        menu->addAction(actionFor(entry, menuId, menu, menu, activate));
    }
}

}  // namespace

QList<QAction*> buildActions(const ServiceMenu& menu, QObject* owner, const ActivateFn& activate) {
    QList<QAction*> actions;
    actions.reserve(menu.entries.size());
    for (const MenuEntry& entry : menu.entries) {
        actions.append(actionFor(entry, menu.menuId, owner, nullptr, activate));
    }
    return actions;
}

}  // namespace tf::dolphin
