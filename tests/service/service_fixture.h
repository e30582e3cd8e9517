// The built `trackfolio-sync serve` on a private session bus, headless, in a sandboxed home.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "private_bus.h"
#include "support/sandbox.h"

namespace tf::test {

// Counts a D-Bus signal.
class SignalCounter : public QObject {
    Q_OBJECT

  public:
    int count() const { return count_; }

  public Q_SLOTS:
    void receive() { ++count_; }

  private:
    int count_ = 0;
};

struct MenuReply {
    bool ok = false;
    QString error;  // the D-Bus error name when not ok
    std::uint64_t menuId = 0;
    std::string json;
    nlohmann::json menu;
};

class ServiceTest : public SandboxTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts `trackfolio-sync serve` and waits until it owns the name.
    void startService();
    bool serviceOwnsName();
    // Quits the service, whoever started it, and waits until it has left the bus.
    void quitService();
    // Runs the event loop until `done` holds or the timeout passes.
    static bool waitFor(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Calls give up after `timeout`, as a plugin's do after two seconds.
    QDBusMessage call(const QString& method, const QList<QVariant>& args = {},
                      std::chrono::milliseconds timeout = std::chrono::seconds(10));
    MenuReply getMenu(int kind, const QStringList& selection, const QString& target,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool activate(std::uint64_t menuId, std::int64_t tag);
    std::vector<nlohmann::json> transcriptOf(const std::string& type) const;

    static QString uri(const std::filesystem::path& path);

    QDBusConnection& bus() { return *connection_; }
    ChildProcess& service() { return service_; }
    PrivateBus& privateBus() { return privateBus_; }
    std::filesystem::path transcriptFile() const { return home() / "transcript.jsonl"; }
    std::filesystem::path answersFile() const { return home() / "answers.jsonl"; }

  private:
    PrivateBus privateBus_;
    ChildProcess service_;
    std::unique_ptr<QDBusConnection> connection_;
    QString connectionName_;
};

// The tag of the child `childKey` of the top-level entry `parentKey`; 0 when absent.
std::int64_t childTag(const nlohmann::json& menu, const std::string& parentKey,
                      const std::string& childKey);

}  // namespace tf::test
