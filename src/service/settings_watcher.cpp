#include "service/settings_watcher.h"

#include <sys/stat.h>

#include <system_error>

namespace tf {

namespace {

QString toQString(const std::filesystem::path& path) {
    return QString::fromLocal8Bit(path.string());
}

}  // namespace

SettingsWatcher::SettingsWatcher(const std::filesystem::path& file,
                                 std::chrono::milliseconds settle, QObject* parent)
    : QObject(parent), file_(file) {
    settle_.setSingleShot(true);
    settle_.setInterval(settle);
    connect(&settle_, &QTimer::timeout, this, &SettingsWatcher::settled);
    // Writers replace the file by renaming a new one over it, which ends a watch on the file
    // itself; the folder's watch sees the rename, and the file is watched again each time.
    const auto restart = [this] { settle_.start(); };
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, restart);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, restart);
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    rewatch();
    last_ = stampNow();
}

SettingsWatcher::Stamp SettingsWatcher::stampNow() const {
    Stamp stamp;
    struct stat info {};
    if (::stat(file_.c_str(), &info) != 0) {
        return stamp;
    }
    stamp.exists = true;
    stamp.size = static_cast<std::uintmax_t>(info.st_size);
    stamp.inode = static_cast<unsigned long>(info.st_ino);
    std::error_code ec;
    stamp.modified = std::filesystem::last_write_time(file_, ec);
    return stamp;
}

void SettingsWatcher::rewatch() {
    const QString folder = toQString(file_.parent_path());
    const QString file = toQString(file_);
    if (!watcher_.directories().contains(folder)) {
        watcher_.addPath(folder);
    }
    if (!watcher_.files().contains(file) && std::filesystem::exists(file_)) {
        watcher_.addPath(file);
    }
}

void SettingsWatcher::settled() {
    rewatch();
    // The folder also holds the private settings, locks and temporary files; only a new
    // version of the shared file counts.
    const Stamp now = stampNow();
    if (now == last_) {
        return;
    }
    last_ = now;
    Q_EMIT changed();
}

}  // namespace tf
