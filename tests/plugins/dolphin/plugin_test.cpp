// The plugin as Dolphin loads it, against a menu service on a private bus: the stand-in that
// records every call, and the real `trackfolio-sync serve` when it is built.
#include <gtest/gtest.h>
#include <signal.h>

#include <KAbstractFileItemActionPlugin>
#include <KFileItemActions>
#include <KFileItemListProperties>
#include <KPluginFactory>
#include <QAction>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QPluginLoader>
#include <memory>

#include "harness.h"
#include "menu_request.h"
#include "support/sandbox.h"

namespace tf::test {
namespace {

using dolphin::fileUri;

class PluginTest : public ::testing::Test {
  protected:
    static void startService(const std::vector<std::string>& argv) {
        servicePid_ = spawnProgram(argv);
        serviceUp_ = servicePid_ > 0 && waitUntil(menuServiceOnBus, 10s);
    }

    static void stopService() {
        endProcess(servicePid_);
        servicePid_ = -1;
        waitUntil([] { return !menuServiceOnBus(); });
    }

    void SetUp() override {
        ASSERT_TRUE(serviceUp_) << "the menu service did not come up";
        QPluginLoader loader(QStringLiteral(TF_DOLPHIN_PLUGIN_FILE));
        auto* factory = qobject_cast<KPluginFactory*>(loader.instance());
        ASSERT_NE(factory, nullptr) << loader.errorString().toStdString();
        plugin_.reset(factory->create<KAbstractFileItemActionPlugin>());
        ASSERT_NE(plugin_, nullptr);
    }

    QList<QAction*> actionsFor(const std::filesystem::path& item, const ViewWindow& window) {
        return plugin_->actions(KFileItemListProperties({KFileItem(urlOf(item))}),
                                window.contextMenu());
    }

    bool untitledAppears() const {
        return waitUntil(
            [this] { return std::filesystem::exists(files_.path() / "Untitled.txt"); });
    }

    static inline pid_t servicePid_ = -1;
    static inline bool serviceUp_ = false;
    std::unique_ptr<KAbstractFileItemActionPlugin> plugin_;
    TempDir files_;
};

class Protocol : public PluginTest {
  protected:
    static void SetUpTestSuite() {
        logDir_ = std::make_unique<TempDir>();
        startService({TF_FAKE_SERVICE, (logDir_->path() / "calls.jsonl").string()});
    }
    static void TearDownTestSuite() {
        stopService();
        logDir_.reset();
    }
    void SetUp() override {
        PluginTest::SetUp();
        std::filesystem::resize_file(logDir_->path() / "calls.jsonl", 0);
    }

    static QList<QJsonObject> calls() {
        QFile file(QString::fromStdString((logDir_->path() / "calls.jsonl").string()));
        file.open(QIODevice::ReadOnly);
        QList<QJsonObject> result;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty()) {
                result.append(QJsonDocument::fromJson(line).object());
            }
        }
        return result;
    }

    static QJsonObject getMenu(int kind, const QStringList& selection, const QString& target) {
        return {{QStringLiteral("method"), QStringLiteral("GetMenu")},
                {QStringLiteral("kind"), kind},
                {QStringLiteral("selection"), QJsonArray::fromStringList(selection)},
                {QStringLiteral("target"), target}};
    }

    static inline std::unique_ptr<TempDir> logDir_;
};

TEST_F(Protocol, SelectedItemsGetTheItemsMenuWithItsWholeTree) {
    const auto file = files_.write("a.txt");
    const auto sub = files_.mkdir("sub");
    ViewWindow window(urlOf(files_.path()));

    EXPECT_EQ(outline(actionsFor(file, window)),
              QStringLiteral("Open in Terminal | --- | New File > [txt, Deep] | Trackfolio"));
    // A folder selected inside the view is an item, not the background.
    EXPECT_FALSE(actionsFor(sub, window).isEmpty());
    const QString folder = fileUri(urlOf(files_.path()));
    EXPECT_EQ(calls(), (QList<QJsonObject>{getMenu(0, {fileUri(urlOf(file))}, folder),
                                           getMenu(0, {fileUri(urlOf(sub))}, folder)}));
}

TEST_F(Protocol, TheShownFolderGetsTheBackgroundMenu) {
    ViewWindow window(urlOf(files_.path()));
    EXPECT_FALSE(actionsFor(files_.path(), window).isEmpty());
    EXPECT_EQ(calls(), QList<QJsonObject>{getMenu(1, {}, fileUri(urlOf(files_.path())))});
}

TEST_F(Protocol, OtherLocationsGetNoMenuAndNoCall) {
    ViewWindow window(QUrl(QStringLiteral("trash:/")));
    const KFileItem trashed(QUrl(QStringLiteral("trash:/0-a.txt")));
    EXPECT_TRUE(
        plugin_->actions(KFileItemListProperties({trashed}), window.contextMenu()).isEmpty());
    EXPECT_TRUE(calls().isEmpty());
}

TEST_F(Protocol, ClicksSendTheMenuIdAndTheExactTag) {
    ViewWindow window(urlOf(files_.path()));
    const QList<QAction*> actions = actionsFor(files_.path(), window);
    QAction* txt = findAction(actions, {QStringLiteral("New File"), QStringLiteral("txt")});
    QAction* deep = findAction(actions, {QStringLiteral("New File"), QStringLiteral("Deep")});
    ASSERT_NE(txt, nullptr);
    ASSERT_NE(deep, nullptr);
    txt->trigger();
    EXPECT_TRUE(untitledAppears());
    deep->trigger();
    findAction(actions, {QStringLiteral("Trackfolio")})->trigger();
    ASSERT_TRUE(waitUntil([] { return calls().size() == 4; }));
    const QList<QJsonObject> log = calls();
    const QJsonValue menuId = log[1][QStringLiteral("menuId")];
    EXPECT_EQ(log[1][QStringLiteral("tag")], QStringLiteral("301"));
    EXPECT_EQ(log[2][QStringLiteral("tag")], QStringLiteral("999999999999999999"));
    EXPECT_EQ(log[3][QStringLiteral("tag")], QStringLiteral("0"));
    EXPECT_EQ(log[2][QStringLiteral("menuId")], menuId);
    EXPECT_EQ(log[3][QStringLiteral("menuId")], menuId);
}

TEST_F(Protocol, DolphinsHostFindsThePluginForFilesAndFolders) {
    const auto file = files_.write("a.txt");
    ViewWindow window(urlOf(files_.path()));
    for (const auto& item : {file, files_.path()}) {
        KFileItemActions host;
        host.setParentWidget(window.contextMenu());
        host.setItemListProperties(KFileItemListProperties({KFileItem(urlOf(item))}));
        QMenu menu;
        host.addActionsTo(&menu, KFileItemActions::MenuActionSource::Plugins);
        EXPECT_TRUE(outline(menu.actions()).contains(QStringLiteral("New File > [txt, Deep]")))
            << outline(menu.actions()).toStdString();
    }
    EXPECT_EQ(calls().size(), 2);
    EXPECT_EQ(calls().value(1)[QStringLiteral("kind")], 1);
}

#ifdef TF_SYNC_EXE
class Service : public PluginTest {
  protected:
    static void SetUpTestSuite() {
        if (waitForExit(spawnProgram({TF_HOST_EXE, "setup"}), 30s) == 0) {
            startService({TF_SYNC_EXE, "serve"});
        }
    }
    static void TearDownTestSuite() { stopService(); }

    // The service's own answer, asked directly, in the shape of outline().
    static QString serviceOutline(int kind, const QStringList& selection, const QString& target) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.trackfolio.Trackfolio.extension"),
            QStringLiteral("/org/trackfolio/Trackfolio/extension"),
            QStringLiteral("org.trackfolio.Trackfolio.Extension"), QStringLiteral("GetMenu"));
        call << kind << selection << target;
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
        if (reply.arguments().size() != 2) {
            return {};
        }
        return outlineOf(QJsonDocument::fromJson(reply.arguments()[1].toString().toUtf8()).array());
    }

    static QString outlineOf(const QJsonArray& entries) {
        QStringList parts;
        for (const QJsonValue& value : entries) {
            const QJsonObject entry = value.toObject();
            if (entry[QStringLiteral("separator")].toBool()) {
                parts.append(QStringLiteral("---"));
            } else if (entry.contains(QStringLiteral("children"))) {
                parts.append(entry[QStringLiteral("title")].toString() + QStringLiteral(" > [") +
                             outlineOf(entry[QStringLiteral("children")].toArray())
                                 .replace(QStringLiteral(" | "), QStringLiteral(", ")) +
                             QLatin1Char(']'));
            } else {
                parts.append(entry[QStringLiteral("title")].toString());
            }
        }
        return parts.join(QStringLiteral(" | "));
    }
};

TEST_F(Service, FileAndBackgroundMenusShowWhatTheServiceSends) {
    const auto file = files_.write("a.txt");
    const QString folder = fileUri(urlOf(files_.path()));
    ViewWindow window(urlOf(files_.path()));

    const QString fileMenu = outline(actionsFor(file, window));
    EXPECT_TRUE(fileMenu.contains(QStringLiteral("New File > [")));
    EXPECT_EQ(fileMenu, serviceOutline(0, {fileUri(urlOf(file))}, folder));
    const QString background = outline(actionsFor(files_.path(), window));
    EXPECT_TRUE(background.contains(QStringLiteral("Text Document")));
    EXPECT_EQ(background, serviceOutline(1, {}, folder));
    const KFileItem trashed(QUrl(QStringLiteral("trash:/0-a.txt")));
    EXPECT_TRUE(
        plugin_->actions(KFileItemListProperties({trashed}), window.contextMenu()).isEmpty());
}

TEST_F(Service, NewFileTxtOnTheBackgroundCreatesUntitledTxt) {
    ViewWindow window(urlOf(files_.path()));
    const QList<QAction*> actions = actionsFor(files_.path(), window);
    QAction* txt =
        findAction(actions, {QStringLiteral("New File"), QStringLiteral("Text Document")});
    ASSERT_NE(txt, nullptr) << outline(actions).toStdString();
    txt->trigger();
    EXPECT_TRUE(untitledAppears());
}

// Stops the service, not ends it: it keeps its name on the bus and never answers.
TEST_F(Service, AFrozenServiceGivesNoActionsWithinTheTimeout) {
    const auto file = files_.write("a.txt");
    ViewWindow window(urlOf(files_.path()));
    ::kill(servicePid_, SIGSTOP);
    const auto start = std::chrono::steady_clock::now();
    const QList<QAction*> actions = actionsFor(file, window);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ::kill(servicePid_, SIGCONT);
    EXPECT_TRUE(actions.isEmpty());
    EXPECT_LT(elapsed, 3s);
}
#endif

}  // namespace
}  // namespace tf::test
