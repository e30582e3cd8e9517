#include "service/pasteboard_client.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>

#include <iostream>

#include "cli/pasteboard_cli.h"
#include "service/menu_service.h"

namespace tf {

namespace {

// Long enough for D-Bus activation to start the service.
constexpr int kCallTimeoutMs = 15000;

bool sendToService(const std::string& text, std::string& error) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        error = "no session bus: " + bus.lastError().message().toStdString();
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kServiceName), QString::fromLatin1(kObjectPath),
        QString::fromLatin1(kInterfaceName), QStringLiteral("SetPasteboard"));
    call << QByteArray(text.data(), static_cast<qsizetype>(text.size()));
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        error = "the menu service did not take the text: " + reply.errorMessage().toStdString();
        return false;
    }
    if (!reply.arguments().value(0).toBool()) {
        error = "the clipboard did not take the text";
        return false;
    }
    return true;
}

}  // namespace

int runPasteboardClient(int argc, char** argv, const std::vector<std::string>& args) {
    // QtDBus wants an application object; a core one loads no display.
    QCoreApplication app(argc, argv);
    setPasteboardSender(&sendToService);
    return runPasteboardCommand(args, std::cin, std::cout, std::cerr);
}

}  // namespace tf
