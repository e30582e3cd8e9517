// Qt actions for a service menu.
#pragma once

#include <QList>
#include <QtGlobal>
#include <functional>

#include "menu_service_client.h"

class QAction;
class QObject;

namespace tf::dolphin {

using ActivateFn = std::function<void(quint64 menuId, qint64 tag)>;

// Actions (separators, plain entries, submenu heads) for the top level of `menu`, all owned
// by `owner`: deleting it deletes every action and submenu built here. A click calls
// `activate` with the menu id and the entry's tag.
QList<QAction*> buildActions(const ServiceMenu& menu, QObject* owner, const ActivateFn& activate);

}  // namespace tf::dolphin
