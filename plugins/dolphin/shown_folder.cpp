#include "shown_folder.h"

#include <KUrlNavigator>
#include <QList>
#include <QWidget>

namespace tf::dolphin {

QUrl shownFolder(const QWidget* anyWidget) {
    if (anyWidget == nullptr) {
        return {};
    }
    // The widget handed to plugins may be the context menu, a popup whose window() is itself,
    // so climb the parent chain to the main window instead.
    const QWidget* root = anyWidget;
    while (root->parentWidget() != nullptr) {
        root = root->parentWidget();
    }
    QList<const KUrlNavigator*> visible;
    QList<const KUrlNavigator*> active;
    for (const KUrlNavigator* navigator : root->findChildren<KUrlNavigator*>()) {
        if (!navigator->isVisible()) {
            continue;
        }
        visible.append(navigator);
        if (navigator->isActive()) {
            active.append(navigator);
        }
    }
    if (active.size() == 1) {
        return active.first()->locationUrl();
    }
    if (active.isEmpty() && visible.size() == 1) {
        return visible.first()->locationUrl();
    }
    return {};
}

}  // namespace tf::dolphin
