#include "menu_service_client.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QMetaType>
#include <QVariant>

namespace tf::dolphin {
namespace {

QDBusMessage methodCall(const char* method) {
    return QDBusMessage::createMethodCall(QLatin1String(kServiceName), QLatin1String(kObjectPath),
                                          QLatin1String(kInterface), QLatin1String(method));
}

}  // namespace

MenuServiceClient::MenuServiceClient(const QDBusConnection& bus, int timeoutMs)
    : bus_(bus), timeoutMs_(timeoutMs) {}

std::optional<ServiceMenu> MenuServiceClient::getMenu(const MenuRequest& request) const {
    if (!bus_.isConnected()) {
        return std::nullopt;
    }
    QDBusMessage call = methodCall("GetMenu");
    call << static_cast<int>(request.kind) << request.selection << request.target;
    // Block, not BlockWithGui: running Dolphin's event loop inside its own context-menu code
    // would let it re-enter the view while the menu is half built.
    const QDBusMessage reply = bus_.call(call, QDBus::Block, timeoutMs_);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return std::nullopt;
    }
    const QList<QVariant> values = reply.arguments();
    if (values.size() != 2 || values[0].userType() != QMetaType::ULongLong ||
        values[1].userType() != QMetaType::QString) {
        return std::nullopt;
    }
    ServiceMenu menu;
    menu.menuId = values[0].toULongLong();
    menu.entries = parseMenu(values[1].toString());
    return menu;
}

void MenuServiceClient::activate(quint64 menuId, qint64 tag) const {
    QDBusMessage call = methodCall("Activate");
    call << menuId << tag;
    bus_.asyncCall(call, timeoutMs_);
}

}  // namespace tf::dolphin
