#include <QDBusMessage>
#include <QXmlStreamReader>

#include <filesystem>
#include <fstream>
#include <map>

#include "cli/pasteboard_cli.h"
#include "cli/sync_cli.h"
#include "model/menu_manager.h"
#include "platform/process_runner.h"
#include "service_fixture.h"
#include "support/fifo_gate.h"
#include "util/strings.h"

namespace tf::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using Bus = ServiceTest;

// "Method" -> "i as s -> t s" (argument types in, then out) for the methods of one
// interface in introspection XML; the names of its signals go to `signalNames`.
std::map<std::string, std::string> methodsOf(const QString& xml, const QString& interfaceName,
                                             std::vector<std::string>& signalNames) {
    std::map<std::string, std::pair<std::string, std::string>> args;
    QXmlStreamReader reader(xml);
    bool inInterface = false;
    std::string method;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const auto element = reader.name();
            const auto attribute = [&](const char* name) {
                return reader.attributes().value(QLatin1String(name)).toString().toStdString();
            };
            if (element == QLatin1String("interface")) {
                inInterface = attribute("name") == interfaceName.toStdString();
            } else if (inInterface && element == QLatin1String("method")) {
                method = attribute("name");
                args[method];
            } else if (inInterface && element == QLatin1String("signal")) {
                signalNames.push_back(attribute("name"));
                method.clear();
            } else if (inInterface && element == QLatin1String("arg") && !method.empty()) {
                std::string& list =
                    attribute("direction") == "out" ? args[method].second : args[method].first;
                list += (list.empty() ? "" : " ") + attribute("type");
            }
        } else if (reader.isEndElement() && reader.name() == QLatin1String("method")) {
            method.clear();
        }
    }
    std::map<std::string, std::string> methods;
    for (const auto& [name, inOut] : args) {
        methods[name] = inOut.first + " -> " + inOut.second;
    }
    return methods;
}

nlohmann::json commandLineMenu(const std::vector<std::string>& args) {
    std::vector<std::string> full{"menu", "--json"};
    full.insert(full.end(), args.begin(), args.end());
    const CliResult result = runCli(&runSyncCommand, full);
    EXPECT_EQ(result.status, 0) << result.err;
    return nlohmann::json::parse(result.out, nullptr, false);
}

std::vector<fs::path> untitledFiles(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("Untitled")) {
            found.push_back(entry.path());
        }
    }
    return found;
}

TEST_F(Bus, IntrospectionMatchesTheProtocol) {
    startService();
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.trackfolio.Trackfolio.extension"),
        QStringLiteral("/org/trackfolio/Trackfolio/extension"),
        QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
    const QDBusMessage reply = bus().call(message);
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    std::vector<std::string> signalNames;
    const std::map<std::string, std::string> methods =
        methodsOf(reply.arguments().value(0).toString(),
                  QStringLiteral("org.trackfolio.Trackfolio.Extension"), signalNames);
    const std::map<std::string, std::string> expected{
        {"GetMenu", "i as s -> t s"}, {"Activate", "t x -> b"},      {"WatchedFolders", " -> as"},
        {"SetPasteboard", "ay -> b"}, {"LastSelection", " -> as s"}, {"Quit", " -> "},
    };
    EXPECT_EQ(methods, expected);
    EXPECT_EQ(signalNames, std::vector<std::string>{"MenuChanged"});
}

TEST_F(Bus, MenusMatchTheCommandLineForAFileAndABackground) {
    startService();
    const fs::path folder = files().mkdir("shown folder");
    const fs::path file = files().write("shown folder/notes été.md", "x");

    const MenuReply items = getMenu(0, {uri(file)}, uri(folder));
    ASSERT_TRUE(items.ok) << items.error.toStdString();
    EXPECT_NE(items.menuId, 0u);
    ASSERT_TRUE(items.menu.is_array());
    EXPECT_FALSE(items.menu.empty());
    EXPECT_EQ(items.menu, commandLineMenu({"--target", folder.string(), file.string()}));

    const MenuReply background = getMenu(1, {}, uri(folder));
    ASSERT_TRUE(background.ok) << background.error.toStdString();
    EXPECT_NE(background.menuId, 0u);
    EXPECT_NE(background.menuId, items.menuId);
    EXPECT_EQ(background.menu,
              commandLineMenu({"--kind", "container", "--target", folder.string()}));
    EXPECT_NE(childTag(background.menu, "New File", "txt"), 0);

    const QDBusMessage watched = call(QStringLiteral("WatchedFolders"));
    ASSERT_EQ(watched.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(watched.signature(), QStringLiteral("as"));
    EXPECT_TRUE(watched.arguments().value(0).toStringList().contains(QStringLiteral("/")));
}

TEST_F(Bus, ANewFileIsMadeOnceAndStaleOrUnknownClicksRunNothing) {
    startService();
    const fs::path folder = files().mkdir("target");
    const MenuReply stale = getMenu(1, {}, uri(folder));
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(getMenu(1, {}, uri(folder)).ok);
    }
    const MenuReply menu = getMenu(1, {}, uri(folder));
    ASSERT_TRUE(stale.ok && menu.ok);
    const std::int64_t txt = childTag(menu.menu, "New File", "txt");
    ASSERT_NE(txt, 0);

    EXPECT_FALSE(activate(stale.menuId, txt));       // a menu long replaced
    EXPECT_FALSE(activate(menu.menuId, 987654321));  // no such entry
    EXPECT_FALSE(activate(menu.menuId, 0));          // no fold entry in this menu
    EXPECT_FALSE(activate(menu.menuId + 100, txt));  // never handed out
    EXPECT_TRUE(activate(menu.menuId, txt));
    EXPECT_FALSE(activate(menu.menuId, txt));  // one click per menu, even before it ran

    ASSERT_TRUE(waitFor([&] { return fs::exists(folder / "Untitled.txt"); }));
    // A round trip after the command ran: had a refused click run, it would show by now.
    EXPECT_TRUE(getMenu(1, {}, uri(folder)).ok);
    EXPECT_EQ(untitledFiles(folder), std::vector<fs::path>{folder / "Untitled.txt"});
    EXPECT_TRUE(transcriptOf("alert").empty());
}

TEST_F(Bus, ItemAndBackgroundMenusAskedTogetherBothStayClickable) {
    // The second new file meets the first one's name and the prompt is answered.
    std::ofstream(answersFile()) << R"({"button": "Keep Both"})"
                                 << "\n";
    ::setenv("TRACKFOLIO_ANSWERS", answersFile().c_str(), 1);
    startService();
    const fs::path folder = files().mkdir("both");
    const fs::path file = files().write("both/a.md", "x");

    const MenuReply items = getMenu(0, {uri(file)}, uri(folder));
    const MenuReply background = getMenu(1, {}, uri(folder));
    ASSERT_TRUE(items.ok && background.ok);
    const std::int64_t itemTxt = childTag(items.menu, "New File", "txt");
    const std::int64_t backgroundTxt = childTag(background.menu, "New File", "txt");
    ASSERT_NE(itemTxt, 0);
    ASSERT_NE(backgroundTxt, 0);

    EXPECT_TRUE(activate(background.menuId, backgroundTxt));
    ASSERT_TRUE(waitFor([&] { return fs::exists(folder / "Untitled.txt"); }));
    EXPECT_TRUE(activate(items.menuId, itemTxt));
    ASSERT_TRUE(waitFor([&] { return fs::exists(folder / "Untitled-1.txt"); }));
    EXPECT_EQ(transcriptOf("alert").size(), 1u);
    EXPECT_FALSE(activate(items.menuId, itemTxt));
    EXPECT_FALSE(activate(background.menuId, backgroundTxt));
}

TEST_F(Bus, AnythingButLocalFilesGetsAnEmptyMenu) {
    startService();
    const fs::path folder = files().mkdir("here");
    const QString local = uri(folder);
    const std::vector<std::pair<QStringList, QString>> requests{
        {{QStringLiteral("trash:///a.txt")}, local},
        {{QStringLiteral("sftp://host/home/a.txt")}, local},
        {{QStringLiteral("file://elsewhere/home/a.txt")}, local},
        {{local, QStringLiteral("smb://server/share/a.txt")}, local},
        {{QStringLiteral("/plain/path")}, local},
        // Names that cannot be decoded whole: an escaped NUL would cut "here%00.txt" to "here".
        {{local + QStringLiteral("%00.txt")}, local},
        {{local + QStringLiteral("/100%")}, local},
        {{local + QStringLiteral("#x.txt")}, local},
        {{}, local + QStringLiteral("%00")},
        {{}, QStringLiteral("smb://server/share")},
        {{}, QString()},
    };
    for (const auto& [selection, target] : requests) {
        for (const int kind : {0, 1}) {
            const MenuReply reply = getMenu(kind, selection, target);
            ASSERT_TRUE(reply.ok) << reply.error.toStdString();
            EXPECT_EQ(reply.menuId, 0u) << selection.join(' ').toStdString();
            EXPECT_EQ(reply.json, "[]");
        }
    }
    // Local URIs with a host part of "localhost" and odd bytes in names are local files.
    const MenuReply reply = getMenu(
        0, {QStringLiteral("file://localhost") + QString::fromStdString(folder.string())}, local);
    EXPECT_NE(reply.menuId, 0u);
    const fs::path odd = files().write(std::string("raw\xff name.txt"), "x");
    const QString oddUri = QStringLiteral("file://") +
                           QString::fromLatin1(QByteArray(odd.c_str()).toPercentEncoding("/"));
    const MenuReply oddReply = getMenu(0, {oddUri}, uri(files().path()));
    EXPECT_NE(oddReply.menuId, 0u);
    EXPECT_EQ(oddReply.menu, commandLineMenu({odd.string()}));
}

TEST_F(Bus, AnUnknownKindIsAnErrorAndTheServiceGoesOn) {
    startService();
    const fs::path folder = files().mkdir("k");
    for (const int kind : {-1, 4, 1000}) {
        const MenuReply reply = getMenu(kind, {}, uri(folder));
        EXPECT_FALSE(reply.ok);
        EXPECT_EQ(reply.error, QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
    }
    for (const int kind : {0, 1, 2, 3}) {
        const fs::path file = files().write("k/f.txt", "x");
        EXPECT_NE(getMenu(kind, {uri(file)}, uri(folder)).menuId, 0u) << kind;
    }
    EXPECT_TRUE(service().running());
}

TEST_F(Bus, ChangedSettingsAnnounceMenuChanged) {
    startService();
    SignalCounter counter;
    ASSERT_TRUE(bus().connect(QString(), QStringLiteral("/org/trackfolio/Trackfolio/extension"),
                              QStringLiteral("org.trackfolio.Trackfolio.Extension"),
                              QStringLiteral("MenuChanged"), &counter, SLOT(receive())));
    // A round trip so the match rule is in place before the change.
    ASSERT_TRUE(getMenu(1, {}, uri(files().path())).ok);
    EXPECT_EQ(counter.count(), 0);

    ChildProcess settings;
    std::string error;
    ASSERT_TRUE(settings.start(
        {TRACKFOLIO_HOST_BINARY, "settings", "set", "fold menu name", "\"More\""}, error))
        << error;
    ASSERT_EQ(settings.waitExit(std::chrono::seconds(10)), 0);
    ASSERT_TRUE(waitFor([&] { return counter.count() > 0; }));
    // The burst of one write gives one signal.
    waitFor([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_EQ(counter.count(), 1);

    // Files beside the settings are not the menu.
    std::ofstream(RCMenuManager::sharedInstance().paths().configFolder / "other.txt") << "x";
    waitFor([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_EQ(counter.count(), 1);
}

TEST_F(Bus, OneServicePerSessionAndQuitEndsIt) {
    startService();
    ChildProcess second;
    std::string error;
    ASSERT_TRUE(second.start({TRACKFOLIO_SYNC_BINARY, "serve"}, error)) << error;
    EXPECT_EQ(second.waitExit(std::chrono::seconds(10)), 0);
    EXPECT_TRUE(getMenu(1, {}, uri(files().path())).ok);  // the first one still answers

    const QDBusMessage reply = call(QStringLiteral("Quit"));
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(service().waitExit(std::chrono::seconds(10)), 0);
    EXPECT_FALSE(serviceOwnsName());
}

TEST_F(Bus, TheServiceEndsWithItsSession) {
    startService();
    privateBus().stop();
    EXPECT_EQ(service().waitExit(std::chrono::seconds(10)), 0);
}

TEST_F(Bus, AMenuRequestWithNobodyServingStartsTheService) {
    ASSERT_FALSE(serviceOwnsName());
    const fs::path folder = files().mkdir("activated");
    const MenuReply reply = getMenu(1, {}, uri(folder));
    ASSERT_TRUE(reply.ok) << reply.error.toStdString();
    EXPECT_NE(reply.menuId, 0u);
    EXPECT_TRUE(serviceOwnsName());
    // Quit, and the next call starts it again.
    quitService();
    ASSERT_FALSE(serviceOwnsName());
    EXPECT_TRUE(getMenu(1, {}, uri(folder)).ok);
}

// The tag of the child titled `title` of the top-level entry `parentKey`; 0 when absent.
std::int64_t childTagByTitle(const nlohmann::json& menu, const std::string& parentKey,
                             const std::string& title) {
    for (const nlohmann::json& entry : menu) {
        if (entry.value("key", "") == parentKey && entry.contains("children")) {
            for (const nlohmann::json& child : entry["children"]) {
                if (child.value("title", "") == title) {
                    return child.value("tag", std::int64_t{0});
                }
            }
        }
    }
    return 0;
}

// `trackfolio-sync pasteboard` with `input` on its standard input.
ProcessResult pasteboard(const std::string& input,
                         std::vector<std::pair<std::string, std::string>> environment = {}) {
    ProcessRequest request;
    request.argv = {TRACKFOLIO_SYNC_BINARY, "pasteboard"};
    request.input = input;
    request.environment = std::move(environment);
    return PosixProcessRunner().run(request);
}

std::vector<std::string> pasteboardTexts(const std::vector<nlohmann::json>& lines) {
    std::vector<std::string> texts;
    for (const nlohmann::json& line : lines) {
        texts.push_back(line.value("text", ""));
    }
    return texts;
}

// A script that takes its time holds up neither the menus a file manager asks for meanwhile
// (within the plugins' two seconds) nor a later click; its output is shown when it ends.
TEST_F(Bus, ASlowScriptLeavesMenusAndLaterClicksAnswered) {
    Array scripts;
    scripts.emplace_back(Dict{{"key", "Slow"},
                              {"displayName", "Slow"},
                              {"ext", "sh"},
                              {"needFile", true},
                              {"needFolder", true},
                              {"formats", ""},
                              {"script", "touch started; read -r word < gate; echo \"$word\""}});
    ASSERT_TRUE(RCMenuManager::sharedInstance()
                    .sharedDefaults()
                    .set("array common script", Value(std::move(scripts)))
                    .ok);
    startService();
    const fs::path folder = files().mkdir("slow");
    const fs::path file = files().write("slow/a.txt", "x");
    ASSERT_TRUE(makeGate(folder / "gate"));

    const MenuReply menu = getMenu(0, {uri(file)}, uri(folder));
    ASSERT_TRUE(menu.ok) << menu.error.toStdString();
    ASSERT_TRUE(activate(menu.menuId, childTag(menu.menu, "Common Script", "Slow")));
    ASSERT_TRUE(waitFor([&] { return fs::exists(folder / "started"); }));

    const auto asked = std::chrono::steady_clock::now();
    const MenuReply during = getMenu(1, {}, uri(folder), 2s);
    ASSERT_TRUE(during.ok) << during.error.toStdString();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
    ASSERT_TRUE(activate(during.menuId, childTag(during.menu, "New File", "txt")));
    ASSERT_TRUE(waitFor([&] { return fs::exists(folder / "Untitled.txt"); }));
    EXPECT_TRUE(transcriptOf("alert").empty()) << "shown before the script ended";

    ASSERT_TRUE(openGate(folder / "gate", "done\n"));
    ASSERT_TRUE(waitFor([&] { return !transcriptOf("alert").empty(); }));
    EXPECT_EQ(transcriptOf("alert")[0].value("informative", ""), "done\n");
}

TEST_F(Bus, PasteboardHandsStandardInputToTheServiceStartedForIt) {
    ASSERT_FALSE(serviceOwnsName());
    ProcessResult copied = pasteboard("a\nb");
    EXPECT_EQ(copied.exitCode, 0) << copied.err;
    EXPECT_TRUE(serviceOwnsName());
    copied = pasteboard("  name.txt\n");  // trimmed, as every copied text
    EXPECT_EQ(copied.exitCode, 0) << copied.err;

    const ProcessResult tooLarge = pasteboard(std::string(kPasteboardLimit + 1, 'x'));
    EXPECT_EQ(tooLarge.exitCode, 2);
    EXPECT_EQ(std::count(tooLarge.err.begin(), tooLarge.err.end(), '\n'), 1) << tooLarge.err;
    EXPECT_EQ(pasteboardTexts(transcriptOf("pasteboard")),
              (std::vector<std::string>{"a\nb", "name.txt"}));
}

TEST_F(Bus, PasteboardWithoutABusOrAServiceFailsWithOneLine) {
    PrivateBus empty;  // a session without the service's activation file
    const fs::path emptyFolder = home() / "empty-bus";
    fs::create_directories(emptyFolder);
    std::string error;
    ASSERT_TRUE(empty.start(emptyFolder, {}, error)) << error;
    for (const std::string& address :
         {empty.address(), "unix:path=" + (home() / "no-bus").string()}) {
        const ProcessResult result = pasteboard("text", {{"DBUS_SESSION_BUS_ADDRESS", address}});
        EXPECT_EQ(result.exitCode, 1) << address;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_TRUE(transcriptOf("pasteboard").empty());
}

// The built-in script pipes the item's name to `trackfolio-sync pasteboard`, which the service
// finds even when its folder is not on the user's PATH, and which calls back into the service
// while that runs the script.
TEST_F(Bus, TheBuiltInCopyItemNameScriptCopiesTheName) {
    const std::string oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    ::setenv("PATH", "/usr/bin:/bin", 1);
    startService();
    ::setenv("PATH", oldPath.c_str(), 1);
    const fs::path folder = files().mkdir("names");
    const fs::path file = files().write("names/My Notes.txt", "x");

    const MenuReply menu = getMenu(0, {uri(file)}, uri(folder));
    ASSERT_TRUE(menu.ok) << menu.error.toStdString();
    const std::int64_t tag =
        childTagByTitle(menu.menu, "Common Script", localized("Copy File (Folder) Name"));
    ASSERT_NE(tag, 0) << menu.json;
    ASSERT_TRUE(activate(menu.menuId, tag));
    ASSERT_TRUE(waitFor([&] { return !transcriptOf("pasteboard").empty(); }));
    EXPECT_EQ(pasteboardTexts(transcriptOf("pasteboard")),
              std::vector<std::string>{"My Notes.txt"});
    EXPECT_TRUE(transcriptOf("alert").empty());
}

}  // namespace
}  // namespace tf::test
