#include "platform/qt/info_window.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>

#include <filesystem>
#include <utility>

#include "platform/pasteboard.h"
#include "platform/qt/qt_edge.h"
#include "util/digests.h"
#include "util/strings.h"

namespace tf {

namespace {

// How often the window looks at the reading thread; a file read within the first tick never
// shows a progress bar at all.
constexpr int kTickMs = 100;
constexpr int kProgressSteps = 1000;
// Wide enough for a SHA-256; a SHA-512 scrolls in its field (Copy takes all of it).
constexpr int kFieldDigits = 64;

QString fieldLabel(FileInfoWindow::Field field) {
    switch (field) {
        case FileInfoWindow::MD5:
            return QStringLiteral("MD5");
        case FileInfoWindow::SHA1:
            return QStringLiteral("SHA1");
        case FileInfoWindow::SHA256:
            return QStringLiteral("SHA256");
        case FileInfoWindow::SHA512:
            return QStringLiteral("SHA512");
        case FileInfoWindow::CRC32Decimal:
            return QStringLiteral("CRC32 (%1)").arg(qt::text(localized("Decimal")));
        case FileInfoWindow::CRC32Hexadecimal:
        case FileInfoWindow::FieldCount:
            break;
    }
    return QStringLiteral("CRC32 (%1)").arg(qt::text(localized("Hexadecimal")));
}

}  // namespace

FileInfoWindow::FileInfoWindow(std::string path, Pasteboard& pasteboard, QWidget* parent)
    : QWidget(parent, Qt::Window),
      path_(std::move(path)),
      pasteboard_(pasteboard),
      progress_(new QProgressBar(this)),
      status_(new QLabel(this)),
      ticker_(new QTimer(this)),
      job_(std::make_shared<Job>()) {
    setWindowTitle(qt::pathText(std::filesystem::path(path_).filename().string()));
    setObjectName(QStringLiteral("fileInfoWindow"));

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QString copyTitle = qt::text(localized("Copy"));
    for (int i = 0; i < FieldCount; ++i) {
        const auto field = static_cast<Field>(i);
        auto* label = new QLabel(fieldLabel(field), this);
        auto* text = new QLineEdit(this);
        text->setReadOnly(true);
        // Focus starts on nothing in particular; Tab goes from one Copy to the next.
        text->setFocusPolicy(Qt::ClickFocus);
        text->setFont(fixed);
        text->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QString(kFieldDigits, '0')) +
                              16);
        auto* button = new QPushButton(copyTitle, this);
        button->setEnabled(false);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, field] { copy(field); });
        label->setBuddy(text);
        grid->addWidget(label, i, 0, Qt::AlignRight);
        grid->addWidget(text, i, 1);
        grid->addWidget(button, i, 2);
        fields_[static_cast<std::size_t>(i)] = text;
        copies_[static_cast<std::size_t>(i)] = button;
    }

    progress_->setRange(0, kProgressSteps);
    progress_->setTextVisible(true);
    // One line below the fields: where the file is, the reading's progress in its place while
    // a large file is read, and why nothing could be read.
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setForegroundRole(QPalette::PlaceholderText);
    status_->setText(qt::pathText(path_));
    bottom_ = new QStackedLayout;
    bottom_->addWidget(status_);
    bottom_->addWidget(progress_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(bottom_);

    ticker_->setInterval(kTickMs);
    connect(ticker_, &QTimer::timeout, this, &FileInfoWindow::showProgress);
}

FileInfoWindow::~FileInfoWindow() {
    stop();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void FileInfoWindow::start() {
    if (worker_.joinable()) {
        return;
    }
    job_->running = true;
    FileInfoWindow* window = this;
    // The thread holds the job; the window waits for the thread before it goes, so `window`
    // outlives every use of it here.
    worker_ = std::thread([job = job_, path = path_, window] {
        const FileDigests digests = fileDigests(path, DigestSet::all(), {},
                                                [&job](std::uint64_t done, std::uint64_t total) {
                                                    job->done = done;
                                                    job->total = total;
                                                    return !job->stop.load();
                                                });
        if (!digests.stopped) {
            std::array<std::string, FieldCount> texts;
            texts[MD5] = digests.md5.value_or("");
            texts[SHA1] = digests.sha1.value_or("");
            texts[SHA256] = digests.sha256.value_or("");
            texts[SHA512] = digests.sha512.value_or("");
            texts[CRC32Decimal] = crc32DecimalText(digests.crc32);
            texts[CRC32Hexadecimal] = crc32HexadecimalText(texts[CRC32Decimal]);
            const bool readable = digests.readable();
            // Runs on the window's thread; Qt drops it if the window is deleted first.
            QMetaObject::invokeMethod(
                window, [window, texts, readable] { window->fill(texts, readable); },
                Qt::QueuedConnection);
        }
        job->running = false;
    });
    ticker_->start();
}

bool FileInfoWindow::computing() const {
    return job_->running.load();
}

QString FileInfoWindow::fieldText(Field field) const {
    return fields_[field]->text();
}

void FileInfoWindow::closeEvent(QCloseEvent* event) {
    stop();
    QWidget::closeEvent(event);
}

void FileInfoWindow::stop() {
    // The reading ends within one buffer; the destructor waits for that.
    job_->stop = true;
    ticker_->stop();
}

void FileInfoWindow::showProgress() {
    if (!computing()) {
        ticker_->stop();
        return;
    }
    const std::uint64_t total = job_->total;
    if (total == 0) {
        // Size unknown: a busy bar.
        progress_->setRange(0, 0);
    } else {
        const double share = static_cast<double>(job_->done.load()) / static_cast<double>(total);
        progress_->setValue(static_cast<int>(share * kProgressSteps));
    }
    bottom_->setCurrentWidget(progress_);
}

void FileInfoWindow::fill(const std::array<std::string, FieldCount>& texts, bool readable) {
    ticker_->stop();
    bottom_->setCurrentWidget(status_);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        fields_[i]->setText(qt::text(texts[i]));
        fields_[i]->setCursorPosition(0);
        copies_[i]->setEnabled(!texts[i].empty());
    }
    if (!readable) {
        status_->setText(qt::text(localized("Error Common Tip")));
        status_->setForegroundRole(QPalette::WindowText);
    }
    Q_EMIT filled();
}

void FileInfoWindow::copy(Field field) {
    copyToPasteboard(pasteboard_, qt::text(fieldText(field)));
}

QtFileInfoWindows::~QtFileInfoWindows() {
    for (auto& [path, window] : windows_) {
        delete window.data();
    }
}

void QtFileInfoWindows::open(const std::string& path) {
    QPointer<FileInfoWindow>& slot = windows_[path];
    if (!slot) {
        slot = new FileInfoWindow(path, pasteboard_);
        slot->setAttribute(Qt::WA_DeleteOnClose);
        slot->start();
    }
    // Forget the windows closed meanwhile.
    std::erase_if(windows_, [](const auto& entry) { return entry.second.isNull(); });
    qt::bringToFront(slot);
    slot->show();
}

std::vector<FileInfoWindow*> QtFileInfoWindows::windows() const {
    std::vector<FileInfoWindow*> open;
    for (const auto& [path, window] : windows_) {
        if (window) {
            open.push_back(window.data());
        }
    }
    return open;
}

}  // namespace tf
