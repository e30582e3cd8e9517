// One settings window per user and store: the first `trackfolio` listens on a local socket in
// the runtime folder; a later one hands its arguments to it and ends.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

namespace tf {

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    enum class Role {
        Primary,    // this process listens: it is the running instance
        Forwarded,  // a running instance took the arguments; this process can end
        Failed,     // neither: run alone (the window works, a second start opens another)
    };

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket of the store in use: one per user (runtime folder) and settings folder, so
    // a program started with another TRACKFOLIO_HOME gets a window of its own.
    static QString serverName();

    // Hands `arguments` to a running instance, or becomes it.
    Role start(const QStringList& arguments);

  signals:
    // A later start handed these over (possibly none): raise the window and act on them.
    void activated(const QStringList& arguments);

  private:
    bool forward(const QStringList& arguments) const;
    void acceptConnection();

    QLocalServer* server_ = nullptr;
};

}  // namespace tf
