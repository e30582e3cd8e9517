#include "platform/qt/qt_progress_window.h"

#include <QApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/qt/qt_edge.h"
#include "util/strings.h"

namespace tf {
namespace {

constexpr int kBarSteps = 1000;

// Drawn rather than taken from the icon theme: the service may run where no theme has a
// check mark, and the mark must look the same everywhere.
QPixmap successMark(int size, qreal scale) {
    QPixmap pixmap(QSize(size, size) * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2e, 0xa0, 0x43));
    painter.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    QPainterPath tick;
    tick.moveTo(size * 0.28, size * 0.52);
    tick.lineTo(size * 0.44, size * 0.68);
    tick.lineTo(size * 0.74, size * 0.36);
    QPen pen(Qt::white, size * 0.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(tick);
    return pixmap;
}

QString percentText(double percent) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f%%", percent * 100.0);
    return QString::fromLatin1(buffer);
}

}  // namespace

QtProgressWindow::QtProgressWindow()
    : window_(new QWidget(nullptr, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                       Qt::WindowStaysOnTopHint)),
      mark_(new QLabel(window_)),
      message_(new QLabel(window_)),
      bar_(new QProgressBar(window_)),
      percentText_(new QLabel(window_)),
      cancel_(new QPushButton(qt::text(localized("Cancel")), window_)) {
    window_->setWindowTitle(qt::windowTitle());
    window_->setObjectName(QStringLiteral("progressWindow"));
    mark_->setObjectName(QStringLiteral("successMark"));
    message_->setObjectName(QStringLiteral("message"));
    bar_->setObjectName(QStringLiteral("progressBar"));
    percentText_->setObjectName(QStringLiteral("percentText"));
    cancel_->setObjectName(QStringLiteral("cancelButton"));

    const int markSize = 32;
    mark_->setPixmap(successMark(markSize, window_->devicePixelRatioF()));
    mark_->setFixedSize(markSize, markSize);
    message_->setWordWrap(true);
    message_->setTextFormat(Qt::PlainText);
    bar_->setTextVisible(false);
    cancel_->setAutoDefault(false);

    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->setSpacing(10);
    auto* top = new QHBoxLayout();
    top->setSpacing(12);
    top->addWidget(mark_, 0, Qt::AlignVCenter);
    top->addWidget(message_, 1);
    layout->addLayout(top);
    layout->addWidget(bar_);
    auto* bottom = new QHBoxLayout();
    bottom->addWidget(percentText_);
    bottom->addStretch(1);
    bottom->addWidget(cancel_);
    layout->addLayout(bottom);
    window_->setFixedWidth(340);

    QObject::connect(cancel_, &QPushButton::clicked, window_, [this] { pressCancel(); });
}

QtProgressWindow::~QtProgressWindow() {
    delete window_;
}

void QtProgressWindow::present() {
    window_->adjustSize();
    if (!window_->isVisible()) {
        // Where the user is working: the screen under the pointer.
        const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        if (screen == nullptr) {
            screen = QGuiApplication::primaryScreen();
        }
        if (screen != nullptr) {
            const QRect area = screen->availableGeometry();
            window_->move(area.center() - window_->rect().center());
        }
        window_->show();
    }
    window_->raise();
    window_->activateWindow();
}

void QtProgressWindow::open() {
    percent_ = 0.0;
    mark_->hide();
    message_->setText(qt::text(localized("Please Wait Tip")));
    message_->show();
    bar_->setRange(0, 0);
    bar_->show();
    percentText_->hide();
    cancel_->hide();
    present();
}

void QtProgressWindow::setPercent(double percent) {
    percent_ = std::clamp(percent, 0.0, 1.0);
    bar_->setRange(0, kBarSteps);
    bar_->setValue(static_cast<int>(percent_ * kBarSteps + 0.5));
    bar_->show();
    percentText_->setText(percentText(percent_));
    percentText_->show();
    cancel_->show();
}

void QtProgressWindow::close() {
    window_->hide();
}

void QtProgressWindow::showSuccess(const std::string& message, std::function<void()> complete) {
    bar_->hide();
    percentText_->hide();
    cancel_->hide();
    mark_->show();
    message_->setText(qt::text(message));
    message_->setVisible(!message.empty());
    present();
    // Closes even when new work opened the window meanwhile: the engine counts the window as
    // closed once `complete` runs, and a window it forgot about would never go away.
    QTimer::singleShot(successDelay_, window_, [this, complete = std::move(complete)] {
        close();
        if (complete) {
            complete();
        }
    });
}

void QtProgressWindow::setCancelHandler(std::function<void()> handler) {
    cancelHandler_ = std::move(handler);
}

void QtProgressWindow::pressCancel() {
    auto handler = std::exchange(cancelHandler_, nullptr);
    close();
    if (handler) {
        handler();
    }
}

}  // namespace tf
