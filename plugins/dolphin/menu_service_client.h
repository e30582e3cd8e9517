// Calls to the menu service on the session bus (docs/menu-protocol.md).
#pragma once

#include <QDBusConnection>
#include <QList>
#include <QtGlobal>
#include <optional>

#include "menu_entries.h"
#include "menu_request.h"

namespace tf::dolphin {

inline constexpr char kServiceName[] = "org.trackfolio.Trackfolio.extension";
inline constexpr char kObjectPath[] = "/org/trackfolio/Trackfolio/extension";
inline constexpr char kInterface[] = "org.trackfolio.Trackfolio.Extension";

// Dolphin waits on the menu before it can show anything; a silent service must cost at most
// this long, never a frozen window.
inline constexpr int kMenuTimeoutMs = 2000;

struct ServiceMenu {
    quint64 menuId = 0;
    QList<MenuEntry> entries;
};

class MenuServiceClient {
  public:
    explicit MenuServiceClient(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                               int timeoutMs = kMenuTimeoutMs);

    // Blocks for at most the timeout (the service may be started on the way). Nothing when
    // the service fails, does not answer, or answers with something else than (t, s).
    std::optional<ServiceMenu> getMenu(const MenuRequest& request) const;

    // Reports a click without waiting: the reply only says whether the click was accepted.
    void activate(quint64 menuId, qint64 tag) const;

  private:
    QDBusConnection bus_;
    int timeoutMs_;
};

}  // namespace tf::dolphin
