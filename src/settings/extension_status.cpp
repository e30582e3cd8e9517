#include "settings/extension_status.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTimer>

#include <cstdlib>
#include <sstream>
#include <system_error>

#include "model/product.h"
#include "util/path_text.h"
#include "util/posix.h"
#include "util/text.h"

namespace fs = std::filesystem;

namespace tf {
namespace {

constexpr std::string_view kDolphinPluginSubfolder = "kf5/kfileitemaction";
constexpr std::string_view kEnvironmentFileName = "60-trackfolio.conf";
constexpr std::string_view kShowGroup = "[Show]";
constexpr std::string_view kDolphinPluginId = "trackfolio_dolphin";

std::vector<fs::path> splitList(const char* value) {
    std::vector<fs::path> out;
    if (value == nullptr) {
        return out;
    }
    std::string_view rest(value);
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const auto part = rest.substr(0, colon);
        if (!part.empty()) {
            out.emplace_back(std::string(part));
        }
        if (colon == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(colon + 1);
    }
    return out;
}

fs::path envFolder(const char* name, const fs::path& fallback) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] == '/') {
        return value;
    }
    return fallback;
}

bool isFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::string readWhole(const fs::path& path) {
    return readFileBytes(path.string()).value_or(std::string());
}

bool writeWhole(const fs::path& path, const std::string& contents, std::string* error) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (const int failed = replaceFileContents(path.string(), contents); failed != 0) {
        if (error != nullptr) {
            *error = path.string() + ": " + errnoText(failed);
        }
        return false;
    }
    return true;
}

std::string trimmed(std::string_view text) {
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) {
        return {};
    }
    const auto end = text.find_last_not_of(" \t\r");
    return std::string(text.substr(begin, end - begin + 1));
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

std::string activationFileName() {
    return std::string(kExtensionIdentifier) + ".service";
}

}  // namespace

const std::vector<FileManagerInfo>& supportedFileManagers() {
    // Caja and Thunar get their plugins later; until then they are not checked.
    static const std::vector<FileManagerInfo> table{
        {.id = FileManager::Nautilus,
         .name = "Nautilus",
         .program = "nautilus",
         .pluginFile = "libtrackfolio-nautilus.so",
         .quitArgv = {"nautilus", "-q"}},
        {.id = FileManager::Nemo,
         .name = "Nemo",
         .program = "nemo",
         .pluginFile = "libtrackfolio-nemo.so",
         .quitArgv = {"nemo", "-q"}},
        {.id = FileManager::Dolphin,
         .name = "Dolphin",
         .program = "dolphin",
         .pluginFile = "trackfolio_dolphin.so",
         .quitArgv = {},
         .userPluginPath = true,
         .ownSwitch = true},
        {.id = FileManager::Caja,
         .name = "Caja",
         .program = "caja",
         .pluginFile = "libtrackfolio-caja.so",
         .quitArgv = {"caja", "-q"},
         .pluginShipped = false},
        {.id = FileManager::Thunar,
         .name = "Thunar",
         .program = "thunar",
         .pluginFile = "libtrackfolio-thunar.so",
         .quitArgv = {"thunar", "-q"},
         .pluginShipped = false},
    };
    return table;
}

const FileManagerInfo& fileManagerInfo(FileManager id) {
    for (const auto& info : supportedFileManagers()) {
        if (info.id == id) {
            return info;
        }
    }
    return supportedFileManagers().front();
}

StatusEnvironment StatusEnvironment::fromSystem(std::function<bool()> probe) {
    StatusEnvironment env;
    env.programFolders = splitList(std::getenv("PATH"));
    const fs::path home = homeFolder();
    env.configHome = envFolder("XDG_CONFIG_HOME", home / ".config");
    env.dataHome = envFolder("XDG_DATA_HOME", home / ".local/share");
    env.dataDirs = splitList(std::getenv("XDG_DATA_DIRS"));
    if (env.dataDirs.empty()) {
        env.dataDirs = {"/usr/local/share", "/usr/share"};
    }
    const fs::path lib = fs::path("/usr/lib") / TRACKFOLIO_LIBRARY_ARCHITECTURE;
    env.pluginFolders[FileManager::Nautilus] = {TRACKFOLIO_NAUTILUS_EXTENSION_DIR,
                                                lib / "nautilus/extensions-4"};
    env.pluginFolders[FileManager::Nemo] = {TRACKFOLIO_NEMO_EXTENSION_DIR,
                                            lib / "nemo/extensions-3.0"};
    env.pluginFolders[FileManager::Caja] = {lib / "caja/extensions-2.0"};
    env.pluginFolders[FileManager::Thunar] = {lib / "thunarx-3"};
    auto& dolphin = env.pluginFolders[FileManager::Dolphin];
    for (const auto& root : splitList(std::getenv("QT_PLUGIN_PATH"))) {
        dolphin.push_back(root / kDolphinPluginSubfolder);
    }
    dolphin.push_back(lib / "qt5/plugins" / kDolphinPluginSubfolder);
    // Beside our own program: the build tree, or an installation under a user prefix.
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path bin = self.parent_path();
        env.shippedDolphinRoots = {
            bin.parent_path().parent_path() / "plugins/dolphin",
            bin.parent_path() / "lib" / TRACKFOLIO_LIBRARY_ARCHITECTURE / "qt5/plugins",
            bin.parent_path() / "lib/qt5/plugins"};
    }
    env.serviceAnswers = std::move(probe);
    return env;
}

ExtensionStatus::ExtensionStatus(StatusEnvironment environment)
    : environment_(std::move(environment)) {}

std::vector<FileManagerStatus> ExtensionStatus::check() const {
    std::vector<FileManagerStatus> rows;
    std::optional<bool> answers;
    for (const auto& info : supportedFileManagers()) {
        if (!info.pluginShipped) {
            continue;
        }
        FileManagerStatus row;
        row.info = &info;
        for (const auto& folder : environment_.programFolders) {
            if (isFile(folder / info.program)) {
                row.installed = true;
                break;
            }
        }
        if (!row.installed) {
            continue;
        }
        std::vector<fs::path> folders;
        if (auto it = environment_.pluginFolders.find(info.id);
            it != environment_.pluginFolders.end()) {
            folders = it->second;
        }
        if (info.id == FileManager::Dolphin) {
            for (const auto& root : userDolphinRoots()) {
                folders.push_back(root / kDolphinPluginSubfolder);
            }
        }
        for (const auto& folder : folders) {
            if (isFile(folder / info.pluginFile)) {
                row.pluginInstalled = true;
                row.pluginPath = folder / info.pluginFile;
                break;
            }
        }
        if (!row.pluginInstalled && info.userPluginPath) {
            for (const auto& root : environment_.shippedDolphinRoots) {
                if (isFile(root / kDolphinPluginSubfolder / info.pluginFile)) {
                    row.shippedRoot = root;
                    break;
                }
            }
        }
        if (info.ownSwitch) {
            row.enabled = dolphinSwitchOn();
        }
        if (!answers) {
            answers = environment_.serviceAnswers && environment_.serviceAnswers();
        }
        row.serviceAnswers = *answers;
        rows.push_back(std::move(row));
    }
    return rows;
}

bool ExtensionStatus::anyFileManagerHasMenu() const {
    for (const auto& row : check()) {
        if (row.hasMenu()) {
            return true;
        }
    }
    return false;
}

bool ExtensionStatus::activationFileInstalled() const {
    std::vector<fs::path> folders{environment_.dataHome};
    folders.insert(folders.end(), environment_.dataDirs.begin(), environment_.dataDirs.end());
    for (const auto& folder : folders) {
        if (isFile(folder / "dbus-1/services" / activationFileName())) {
            return true;
        }
    }
    return false;
}

bool ExtensionStatus::installActivationFile(const std::string& syncProgram,
                                            std::string* error) const {
    // The bus reads Exec= with its own word splitting: a program path with a blank or a
    // quote would not run as written, so it is refused rather than half-quoted.
    if (syncProgram.empty() || syncProgram.front() != '/' ||
        syncProgram.find_first_of(" \t\n\"'\\%") != std::string::npos) {
        if (error != nullptr) {
            *error = syncProgram;
        }
        return false;
    }
    const std::string contents = "[D-BUS Service]\nName=" + std::string(kExtensionIdentifier) +
                                 "\nExec=" + syncProgram + " serve\n";
    return writeWhole(environment_.dataHome / "dbus-1/services" / activationFileName(), contents,
                      error);
}

fs::path ExtensionStatus::environmentFile() const {
    return environment_.configHome / "environment.d" / kEnvironmentFileName;
}

std::vector<fs::path> ExtensionStatus::userDolphinRoots() const {
    // Our own line: QT_PLUGIN_PATH=<root>:<root>...${QT_PLUGIN_PATH:+:$QT_PLUGIN_PATH}
    std::vector<fs::path> roots;
    for (const auto& line : lines(readWhole(environmentFile()))) {
        constexpr std::string_view kPrefix = "QT_PLUGIN_PATH=";
        if (!line.starts_with(kPrefix)) {
            continue;
        }
        std::string value = line.substr(kPrefix.size());
        if (const auto inherited = value.find("${"); inherited != std::string::npos) {
            value.resize(inherited);
        }
        for (auto& root : splitList(value.c_str())) {
            roots.push_back(std::move(root));
        }
    }
    return roots;
}

bool ExtensionStatus::installDolphinPluginPath(const fs::path& root, std::string* error) const {
    auto roots = userDolphinRoots();
    for (const auto& known : roots) {
        if (known == root) {
            return true;
        }
    }
    if (root.string().find_first_of(":$\n\"'\\") != std::string::npos) {
        if (error != nullptr) {
            *error = root.string();
        }
        return false;
    }
    roots.push_back(root);
    std::string value;
    for (const auto& known : roots) {
        value += known.string() + ":";
    }
    value.pop_back();
    return writeWhole(environmentFile(),
                      "# Where Dolphin finds the Trackfolio plugin.\nQT_PLUGIN_PATH=" + value +
                          "${QT_PLUGIN_PATH:+:$QT_PLUGIN_PATH}\n",
                      error);
}

bool ExtensionStatus::dolphinSwitchOn() const {
    bool inShow = false;
    bool on = true;
    for (const auto& raw : lines(readWhole(environment_.configHome / "kservicemenurc"))) {
        const std::string line = trimmed(raw);
        if (line.starts_with('[')) {
            inShow = line == kShowGroup;
            continue;
        }
        const auto equals = line.find('=');
        if (!inShow || equals == std::string::npos) {
            continue;
        }
        if (trimmed(std::string_view(line).substr(0, equals)) == kDolphinPluginId) {
            on = toLower(trimmed(std::string_view(line).substr(equals + 1))) != "false";
        }
    }
    return on;
}

bool ExtensionStatus::enableDolphinPlugin(std::string* error) const {
    const fs::path file = environment_.configHome / "kservicemenurc";
    const std::string entry = std::string(kDolphinPluginId) + "=true";
    std::vector<std::string> out;
    bool inShow = false;
    bool sawShow = false;
    bool written = false;
    for (const auto& raw : lines(readWhole(file))) {
        const std::string line = trimmed(raw);
        if (line.starts_with('[')) {
            if (inShow && !written) {
                out.push_back(entry);
                written = true;
            }
            inShow = line == kShowGroup;
            sawShow = sawShow || inShow;
        } else if (inShow) {
            const auto equals = line.find('=');
            if (equals != std::string::npos &&
                trimmed(std::string_view(line).substr(0, equals)) == kDolphinPluginId) {
                if (!written) {
                    out.push_back(entry);
                    written = true;
                }
                continue;
            }
        }
        out.push_back(raw);
    }
    if (!written) {
        if (!sawShow) {
            out.emplace_back(kShowGroup);
        }
        out.push_back(entry);
    }
    std::string contents;
    for (const auto& line : out) {
        contents += line + "\n";
    }
    return writeWhole(file, contents, error);
}

bool menuServiceAnswers() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    // A cheap call of the service's own; the bus starts an activatable service for it, so a
    // service the bus can start counts as answering.
    auto ping = QDBusMessage::createMethodCall(
        QString::fromUtf8(kExtensionIdentifier.data(),
                          static_cast<qsizetype>(kExtensionIdentifier.size())),
        QStringLiteral("/org/trackfolio/Trackfolio/extension"),
        QStringLiteral("org.trackfolio.Trackfolio.Extension"), QStringLiteral("WatchedFolders"));
    constexpr int kTimeoutMs = 3000;
    return bus.call(ping, QDBus::Block, kTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

bool anyFileManagerHasMenu() {
    return ExtensionStatus(StatusEnvironment::fromSystem(menuServiceAnswers))
        .anyFileManagerHasMenu();
}

}  // namespace tf

namespace tf {
namespace {

QString extensionName() {
    return QString::fromUtf8(kExtensionIdentifier.data(),
                             static_cast<qsizetype>(kExtensionIdentifier.size()));
}

// The old service may still be finishing its work; starting while it holds the name would
// start nothing, so this waits (a few seconds at most) until the name is free.
void startWhenFree(int pollsLeft) {
    auto* bus = QDBusConnection::sessionBus().interface();
    if (bus == nullptr) {
        return;
    }
    if (pollsLeft > 0 && bus->isServiceRegistered(extensionName()).value()) {
        constexpr int kPollMs = 100;
        QTimer::singleShot(kPollMs, [pollsLeft] { startWhenFree(pollsLeft - 1); });
        return;
    }
    bus->startService(extensionName());
}

}  // namespace

void SessionExtensionBus::quit() {
    auto call = QDBusMessage::createMethodCall(
        extensionName(), QStringLiteral("/org/trackfolio/Trackfolio/extension"),
        QStringLiteral("org.trackfolio.Trackfolio.Extension"), QStringLiteral("Quit"));
    // Quit must not start a service only to end it.
    call.setAutoStartService(false);
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
}

void SessionExtensionBus::activate() {
    constexpr int kPolls = 50;
    startWhenFree(kPolls);
}

void restartExtension(ExtensionBus& bus) {
    bus.quit();
    constexpr int kRestartDelayMs = 500;
    QTimer::singleShot(kRestartDelayMs, [&bus] { bus.activate(); });
}

}  // namespace tf
