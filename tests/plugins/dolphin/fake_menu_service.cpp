// A stand-in menu service for the plugin tests: answers GetMenu with a fixed tree, writes every
// call it receives as a JSON line into the file named by its argument, and creates
// Untitled.txt in the menu's folder when "New File" > "txt" is clicked.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace {

constexpr qlonglong kTxtTag = 301;

// Written out by hand: Qt 5 prints 64-bit integers through a double. "Deep" has more digits
// than a double holds, to catch a plugin that reads tags as doubles.
QString menuJson() {
    return QStringLiteral(
        R"([{"key":"open","title":"Open in Terminal","icon":"utilities-terminal","tag":1,)"
        R"("separator":false},{"key":"","title":"","icon":"","tag":2,"separator":true},)"
        R"({"key":"new","title":"New File","icon":"document-new","tag":3,"separator":false,)"
        R"("children":[{"key":"txt","title":"txt","icon":"","tag":301,"separator":false},)"
        R"({"key":"deep","title":"Deep","icon":"","tag":999999999999999999,"separator":false}]},)"
        R"({"key":"fold","title":"Trackfolio","icon":"","tag":0,"separator":false,)"
        R"("action":"settings"}])");
}

class FakeService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.trackfolio.Trackfolio.Extension")

  public:
    explicit FakeService(const QString& logPath) : log_(logPath) {
        log_.open(QIODevice::WriteOnly | QIODevice::Append);
    }

  public Q_SLOTS:
    qulonglong GetMenu(int kind, const QStringList& selection, const QString& target,
                       QString& menu) {
        record({{QStringLiteral("method"), QStringLiteral("GetMenu")},
                {QStringLiteral("kind"), kind},
                {QStringLiteral("selection"), QJsonArray::fromStringList(selection)},
                {QStringLiteral("target"), target}});
        targets_.insert(++lastMenuId_, target);
        menu = menuJson();
        return lastMenuId_;
    }

    bool Activate(qulonglong menuId, qlonglong tag) {
        record({{QStringLiteral("method"), QStringLiteral("Activate")},
                {QStringLiteral("menuId"), QString::number(menuId)},
                {QStringLiteral("tag"), QString::number(tag)}});
        if (tag == kTxtTag && targets_.contains(menuId)) {
            QFile file(QDir(QUrl(targets_.value(menuId)).toLocalFile())
                           .filePath(QStringLiteral("Untitled.txt")));
            file.open(QIODevice::WriteOnly);
        }
        return targets_.contains(menuId);
    }

  private:
    void record(const QJsonObject& call) {
        log_.write(QJsonDocument(call).toJson(QJsonDocument::Compact) + '\n');
        log_.flush();
    }

    QFile log_;
    QHash<qulonglong, QString> targets_;
    qulonglong lastMenuId_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        return 2;
    }
    FakeService service(QString::fromLocal8Bit(argv[1]));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/trackfolio/Trackfolio/extension"), &service,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.trackfolio.Trackfolio.extension"))) {
        return 1;
    }
    return QCoreApplication::exec();
}

#include "fake_menu_service.moc"
