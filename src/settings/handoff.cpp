#include "settings/handoff.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QMessageBox>

#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "model/file_record.h"
#include "model/menu_manager.h"
#include "model/settings_store.h"
#include "platform/process_runner.h"
#include "platform/qt/qt_edge.h"
#include "util/resources.h"
#include "util/strings.h"
#include "util/text.h"

namespace tf {
namespace {

constexpr std::int64_t kNearbyShare = 7;
constexpr std::int64_t kDesktopPicture = 8;

bool run(HandOffPorts& ports, std::vector<std::string> argv, std::string* out = nullptr) {
    ProcessRequest request;
    request.argv = std::move(argv);
    const ProcessResult result = ports.processes->run(request);
    if (out != nullptr) {
        *out = result.out;
    }
    return result.succeeded();
}

bool has(HandOffPorts& ports, const std::string& program) {
    return ports.findProgram && ports.findProgram(program).has_value();
}

std::vector<std::string> outputLines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (auto trimmed = trim(line); !trimmed.empty()) {
            out.push_back(std::move(trimmed));
        }
    }
    return out;
}

// $XDG_CURRENT_DESKTOP is a colon-separated list ("ubuntu:GNOME"), compared ignoring case.
bool desktopIs(std::string_view desktops, std::string_view name) {
    while (true) {
        const auto colon = desktops.find(':');
        if (toLower(desktops.substr(0, colon)) == toLower(name)) {
            return true;
        }
        if (colon == std::string_view::npos) {
            return false;
        }
        desktops.remove_prefix(colon + 1);
    }
}

// The running desktop's own setting, for desktops whose portal has no wallpaper request.
bool setWallpaperDirectly(HandOffPorts& ports, const std::string& path) {
    const std::string uri = fileURL(path);
    const std::string& desktop = ports.desktop;
    if (desktopIs(desktop, "KDE") && has(ports, "plasma-apply-wallpaperimage")) {
        return run(ports, {"plasma-apply-wallpaperimage", path});
    }
    if (desktopIs(desktop, "XFCE") && has(ports, "xfconf-query")) {
        std::string listing;
        run(ports, {"xfconf-query", "-c", "xfce4-desktop", "-l"}, &listing);
        bool any = false;
        bool ok = true;
        for (const auto& property : outputLines(listing)) {
            if (endsWith(property, "/last-image")) {
                any = true;
                ok = run(ports,
                         {"xfconf-query", "-c", "xfce4-desktop", "-p", property, "-s", path}) &&
                     ok;
            }
        }
        if (!any) {
            ok = run(ports, {"xfconf-query", "-c", "xfce4-desktop", "-p",
                             "/backdrop/screen0/monitor0/workspace0/last-image", "-n", "-t",
                             "string", "-s", path});
        }
        return ok;
    }
    if (!has(ports, "gsettings")) {
        return false;
    }
    if (desktopIs(desktop, "X-Cinnamon")) {
        return run(ports,
                   {"gsettings", "set", "org.cinnamon.desktop.background", "picture-uri", uri});
    }
    if (desktopIs(desktop, "MATE")) {
        return run(ports, {"gsettings", "set", "org.mate.background", "picture-filename", path});
    }
    if (desktopIs(desktop, "GNOME") || desktopIs(desktop, "Unity") ||
        desktopIs(desktop, "Budgie")) {
        // The dark style has a picture of its own; both follow the user's choice.
        const bool light =
            run(ports, {"gsettings", "set", "org.gnome.desktop.background", "picture-uri", uri});
        run(ports, {"gsettings", "set", "org.gnome.desktop.background", "picture-uri-dark", uri});
        return light;
    }
    return false;
}

void useAsDesktopPicture(HandOffPorts& ports, const std::vector<std::string>& paths) {
    // Only a picture can become the desktop picture; anything else is left alone.
    if (paths.empty() || !looksLikeImageFile(paths.front())) {
        return;
    }
    const std::string& path = paths.front();
    if (ports.portal != nullptr && ports.portal->setWallpaper(fileURL(path))) {
        return;
    }
    if (!setWallpaperDirectly(ports, path) && ports.tell) {
        ports.tell(localized("Desktop Picture Unavailable Tip"));
    }
}

void sendToNearbyDevice(HandOffPorts& ports, const std::vector<std::string>& paths) {
    if (paths.empty()) {
        return;
    }
    bool sharingInstalled = false;
    if (has(ports, "kdeconnect-cli")) {
        sharingInstalled = true;
        std::string listing;
        run(ports, {"kdeconnect-cli", "--list-available", "--id-only"}, &listing);
        const auto devices = outputLines(listing);
        if (!devices.empty()) {
            bool ok = true;
            for (const auto& path : paths) {
                ok = run(ports, {"kdeconnect-cli", "--device", devices.front(), "--share", path}) &&
                     ok;
            }
            if (!ok && ports.tell) {
                ports.tell(localized("Nearby Share Failed Tip"));
            }
            return;
        }
    }
    if (ports.gsconnect != nullptr) {
        const auto found = ports.gsconnect->reachableDevices();
        const auto devices = found.value_or(std::vector<std::string>{});
        sharingInstalled = sharingInstalled || found.has_value();
        if (!devices.empty()) {
            bool ok = true;
            for (const auto& path : paths) {
                ok = ports.gsconnect->shareFile(devices.front(), fileURL(path)) && ok;
            }
            if (!ok && ports.tell) {
                ports.tell(localized("Nearby Share Failed Tip"));
            }
            return;
        }
    }
    if (ports.tell) {
        ports.tell(localized(sharingInstalled ? "Nearby Share No Device Tip"
                                              : "Nearby Share Unavailable Tip"));
    }
}

// ---- The real ports -----------------------------------------------------------------

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kGsConnectService = QStringLiteral("org.gnome.Shell.Extensions.GSConnect");

class DBusWallpaperPortal : public WallpaperPortal {
  public:
    bool setWallpaper(const std::string& fileUri) override {
        auto call = QDBusMessage::createMethodCall(
            kPortalService, QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.Wallpaper"), QStringLiteral("SetWallpaperURI"));
        QVariantMap options;
        options.insert(QStringLiteral("show-preview"), false);
        options.insert(QStringLiteral("set-on"), QStringLiteral("background"));
        call << QString() << qt::text(fileUri) << options;
        constexpr int kTimeoutMs = 5000;
        // The portal answers with a request handle and then works on its own; a reply at all
        // means the portal took the request.
        return QDBusConnection::sessionBus().call(call, QDBus::Block, kTimeoutMs).type() ==
               QDBusMessage::ReplyMessage;
    }
};

// The action's parameter: (file URI, open it on the device).
struct ShareParameter {
    QString uri;
    bool open = false;
};

QDBusArgument& operator<<(QDBusArgument& argument, const ShareParameter& parameter) {
    argument.beginStructure();
    argument << parameter.uri << parameter.open;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ShareParameter& parameter) {
    argument.beginStructure();
    argument >> parameter.uri >> parameter.open;
    argument.endStructure();
    return argument;
}

}  // namespace
}  // namespace tf

Q_DECLARE_METATYPE(tf::ShareParameter)

namespace tf {
namespace {

class DBusGsConnect : public GsConnect {
  public:
    std::optional<std::vector<std::string>> reachableDevices() override {
        auto call = QDBusMessage::createMethodCall(
            kGsConnectService, QStringLiteral("/org/gnome/Shell/Extensions/GSConnect"),
            QStringLiteral("org.freedesktop.DBus.ObjectManager"),
            QStringLiteral("GetManagedObjects"));
        call.setAutoStartService(false);
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
        std::vector<std::string> devices;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            return std::nullopt;
        }
        // a{oa{sa{sv}}}
        const auto objects = qvariant_cast<QDBusArgument>(reply.arguments().front());
        objects.beginMap();
        while (!objects.atEnd()) {
            QDBusObjectPath path;
            QMap<QString, QVariantMap> interfaces;
            objects.beginMapEntry();
            objects >> path >> interfaces;
            objects.endMapEntry();
            const auto device =
                interfaces.value(QStringLiteral("org.gnome.Shell.Extensions.GSConnect.Device"));
            if (device.value(QStringLiteral("Connected")).toBool() &&
                device.value(QStringLiteral("Paired")).toBool()) {
                devices.push_back(qt::text(path.path()));
            }
        }
        objects.endMap();
        return devices;
    }

    bool shareFile(const std::string& device, const std::string& fileUri) override {
        qDBusRegisterMetaType<ShareParameter>();
        auto call = QDBusMessage::createMethodCall(kGsConnectService, qt::text(device),
                                                   QStringLiteral("org.gtk.Actions"),
                                                   QStringLiteral("Activate"));
        const ShareParameter parameter{qt::text(fileUri), false};
        const QVariantList parameters{
            QVariant::fromValue(QDBusVariant(QVariant::fromValue(parameter)))};
        call << QStringLiteral("shareFile") << parameters << QVariantMap();
        return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000).type() ==
               QDBusMessage::ReplyMessage;
    }
};

}  // namespace

HandOffPorts HandOffPorts::system() {
    static DBusWallpaperPortal portal;
    static DBusGsConnect gsconnect;
    static PosixProcessRunner processes;
    HandOffPorts ports;
    ports.portal = &portal;
    ports.gsconnect = &gsconnect;
    ports.processes = &processes;
    ports.findProgram = [](const std::string& name) { return tf::findProgram(name); };
    if (const char* desktop = std::getenv("XDG_CURRENT_DESKTOP")) {
        ports.desktop = desktop;
    }
    ports.tell = [](const std::string& message) {
        QMessageBox box(QMessageBox::Information, qt::windowTitle(), qt::text(message));
        qt::bringToFront(&box);
        box.exec();
    };
    return ports;
}

bool handleHandOff(SettingsStore& shared, const std::vector<std::string>& paths,
                   HandOffPorts& ports) {
    const std::int64_t key = shared.readInteger("main open key");
    if (shared.contains("main open key")) {
        shared.remove("main open key");
    }
    if (key == kNearbyShare) {
        sendToNearbyDevice(ports, paths);
        return true;
    }
    if (key == kDesktopPicture) {
        useAsDesktopPicture(ports, paths);
        return true;
    }
    return false;
}

bool handleHandOff(const std::vector<std::string>& paths) {
    HandOffPorts ports = HandOffPorts::system();
    return handleHandOff(RCMenuManager::sharedInstance().sharedDefaults(), paths, ports);
}

}  // namespace tf
