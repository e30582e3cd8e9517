// The file information window: the MD5, SHA-1, SHA-256, SHA-512 and CRC-32 (decimal and
// hexadecimal) of one file, each with a Copy button. The digests are computed in one read of
// the file on a thread of the window's own; a large file shows how far the reading is, and
// closing the window stops it.
#pragma once

#include <QPointer>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_info_window.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedLayout;
class QTimer;

namespace tf {

class Pasteboard;

class FileInfoWindow : public QWidget {
    Q_OBJECT

  public:
    // The fields, top to bottom.
    enum Field { MD5, SHA1, SHA256, SHA512, CRC32Decimal, CRC32Hexadecimal, FieldCount };

    FileInfoWindow(std::string path, Pasteboard& pasteboard, QWidget* parent = nullptr);
    // Stops the reading and waits for the thread, which notices within one buffer.
    ~FileInfoWindow() override;
    FileInfoWindow(const FileInfoWindow&) = delete;
    FileInfoWindow& operator=(const FileInfoWindow&) = delete;

    const std::string& path() const { return path_; }
    // Starts the reading; once.
    void start();
    // Whether the reading thread is still at work.
    bool computing() const;
    QString fieldText(Field field) const;
    QPushButton* copyButton(Field field) const { return copies_[field]; }
    QProgressBar* progressBar() const { return progress_; }
    QLabel* statusLine() const { return status_; }

  Q_SIGNALS:
    // The fields are filled (or the file could not be read).
    void filled();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // What the reading thread shares with the window; it outlives neither.
    struct Job {
        std::atomic<bool> stop{false};
        std::atomic<bool> running{false};
        std::atomic<std::uint64_t> done{0};
        std::atomic<std::uint64_t> total{0};
    };

    void stop();
    void showProgress();
    void fill(const std::array<std::string, FieldCount>& texts, bool readable);
    void copy(Field field);

    std::string path_;
    Pasteboard& pasteboard_;
    std::array<QLineEdit*, FieldCount> fields_{};
    std::array<QPushButton*, FieldCount> copies_{};
    QProgressBar* progress_;
    QLabel* status_;
    QStackedLayout* bottom_ = nullptr;
    QTimer* ticker_;
    std::shared_ptr<Job> job_;
    std::thread worker_;
};

// The port: one window per file, any number of files at once.
class QtFileInfoWindows : public FileInfoWindows {
  public:
    explicit QtFileInfoWindows(Pasteboard& pasteboard) : pasteboard_(pasteboard) {}
    ~QtFileInfoWindows() override;
    QtFileInfoWindows(const QtFileInfoWindows&) = delete;
    QtFileInfoWindows& operator=(const QtFileInfoWindows&) = delete;

    void open(const std::string& path) override;
    // The windows still open, for tests.
    std::vector<FileInfoWindow*> windows() const;

  private:
    Pasteboard& pasteboard_;
    std::map<std::string, QPointer<FileInfoWindow>> windows_;
};

}  // namespace tf
