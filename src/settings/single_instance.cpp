#include "settings/single_instance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "model/menu_manager.h"
#include "platform/qt/qt_edge.h"

namespace tf {
namespace {

constexpr int kAnswerMs = 3000;
constexpr char kReceived = '1';

// Held while deciding between "connect" and "listen", so two programs started together do
// not both listen (the second would remove the first one's socket).
class StartLock {
  public:
    explicit StartLock(const QString& path) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_EX);
        }
    }
    ~StartLock() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    StartLock(const StartLock&) = delete;
    StartLock& operator=(const StartLock&) = delete;

  private:
    int fd_ = -1;
};

}  // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName() {
    const std::string folder = RCMenuManager::sharedInstance().paths().configFolder.string();
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(folder), QCryptographicHash::Sha1)
            .toHex()
            .left(12);
    const QString name = QStringLiteral("trackfolio-settings-") + QString::fromLatin1(digest);
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(QFile::decodeName(runtime)).exists()) {
        return QFile::decodeName(runtime) + QLatin1Char('/') + name;
    }
    // The shared temporary folder: the user's id in the name, the socket readable by the user.
    return QDir::tempPath() + QStringLiteral("/%1-%2").arg(name).arg(::getuid());
}

SingleInstance::Role SingleInstance::start(const QStringList& arguments) {
    const QString name = serverName();
    const StartLock lock(name + QStringLiteral(".lock"));
    if (forward(arguments)) {
        return Role::Forwarded;
    }
    // Nobody answered: a socket file left there belongs to a program that ended.
    QLocalServer::removeServer(name);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name)) {
        delete server_;
        server_ = nullptr;
        return Role::Failed;
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
    return Role::Primary;
}

bool SingleInstance::forward(const QStringList& arguments) const {
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(kAnswerMs)) {
        return false;
    }
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << arguments;
    socket.write(message);
    if (!socket.waitForBytesWritten(kAnswerMs)) {
        return false;
    }
    // Only an answer says the running window took them; without one this program goes on.
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(kAnswerMs)) {
            return false;
        }
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == kReceived;
}

void SingleInstance::acceptConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            QDataStream in(socket);
            in.startTransaction();
            QStringList arguments;
            in >> arguments;
            if (!in.commitTransaction()) {
                return;  // the rest is still on its way
            }
            socket->putChar(kReceived);
            socket->flush();
            emit activated(arguments);
        });
    }
}

}  // namespace tf
