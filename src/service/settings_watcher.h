// Notices when the shared settings file changes on disk, whoever wrote it.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace tf {

class SettingsWatcher : public QObject {
    Q_OBJECT

  public:
    // Bursts of changes closer together than `settle` give one notice.
    explicit SettingsWatcher(const std::filesystem::path& file,
                             std::chrono::milliseconds settle = std::chrono::milliseconds(200),
                             QObject* parent = nullptr);

  Q_SIGNALS:
    void changed();

  private:
    // What tells one version of the file from another without reading it.
    struct Stamp {
        bool exists = false;
        std::uintmax_t size = 0;
        std::filesystem::file_time_type modified;
        unsigned long inode = 0;
        bool operator==(const Stamp&) const = default;
    };

    Stamp stampNow() const;
    void rewatch();
    void settled();

    std::filesystem::path file_;
    QFileSystemWatcher watcher_;
    QTimer settle_;
    Stamp last_;
};

}  // namespace tf
