#include "platform/qt/magnifier.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cmath>
#include <utility>

namespace tf {

namespace {

const QColor kMarkColour(233, 87, 71);

}  // namespace

Magnifier::Magnifier(std::function<void(std::optional<QColor>)> finished)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint),
      finished_(std::move(finished)),
      around_(kSpan, kSpan, QImage::Format_RGB32) {
    setFixedSize(kSide, kSide);
    // Round without relying on a compositor for transparency.
    setMask(QRegion(rect(), QRegion::Ellipse));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    around_.fill(Qt::black);
}

Magnifier::~Magnifier() {
    if (picking_) {
        finished_ = nullptr;
        finish(std::nullopt);
    }
}

bool Magnifier::supported() {
    // An X11 client in a Wayland session reads only the other X11 windows, not the screen.
    return QGuiApplication::platformName() == QLatin1String("xcb") &&
           qEnvironmentVariable("XDG_SESSION_TYPE") != QLatin1String("wayland");
}

bool Magnifier::start() {
    if (picking_) {
        return true;
    }
    if (!supported()) {
        return false;
    }
    // The screens are read once, before the window shows: X11 cannot read what lies below
    // a window of our own, and the window would otherwise magnify itself.
    shots_.clear();
    for (QScreen* screen : QGuiApplication::screens()) {
        const QImage image = screen->grabWindow(0).toImage();
        if (!image.isNull()) {
            shots_.push_back({screen->geometry(), image.convertToFormat(QImage::Format_RGB32),
                              screen->devicePixelRatio()});
        }
    }
    if (shots_.empty()) {
        return false;
    }
    picking_ = true;
    follow(QCursor::pos());
    show();
    raise();
    activateWindow();
    QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    grabMouse();
    grabKeyboard();
    takeInput(40);
    return true;
}

// The menu the command was chosen from may still hold the pointer for a moment; without the
// grab the window would lose the pointer on a quick move and never see Escape.
void Magnifier::takeInput(int attemptsLeft) {
    QWindow* window = windowHandle();
    const bool taken = window != nullptr && window->setMouseGrabEnabled(true) &&
                       window->setKeyboardGrabEnabled(true);
    if (!taken && attemptsLeft > 0) {
        QTimer::singleShot(50, this, [this, attemptsLeft] {
            if (picking_) {
                takeInput(attemptsLeft - 1);
            }
        });
    }
}

QColor Magnifier::colourAt(QPoint global) const {
    for (const Shot& shot : shots_) {
        if (shot.geometry.contains(global)) {
            const QPoint local = global - shot.geometry.topLeft();
            const QPoint pixel(static_cast<int>(std::floor(local.x() * shot.ratio)),
                               static_cast<int>(std::floor(local.y() * shot.ratio)));
            if (shot.image.rect().contains(pixel)) {
                return shot.image.pixelColor(pixel);
            }
        }
    }
    return {};
}

void Magnifier::follow(QPoint global) {
    centre_ = global;
    const int half = kSpan / 2;
    for (int y = 0; y < kSpan; ++y) {
        for (int x = 0; x < kSpan; ++x) {
            const QColor colour = colourAt(global + QPoint(x - half, y - half));
            around_.setPixelColor(x, y, colour.isValid() ? colour : QColor(Qt::black));
        }
    }
    move(global - QPoint(kSide / 2, kSide / 2));
    update();
}

void Magnifier::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    QPainterPath circle;
    circle.addEllipse(QRectF(rect()));
    painter.setClipPath(circle);
    // Hard pixel edges: the point is to tell neighbouring pixels apart.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(rect(), around_);

    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(kMarkColour, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(width() / 2 - 3, height() / 2 - 3, 6, 6));

    painter.setClipping(false);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(kMarkColour, 2));
    painter.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
}

void Magnifier::mouseMoveEvent(QMouseEvent* event) {
    if (picking_) {
        follow(event->globalPosition().toPoint());
    }
}

void Magnifier::mousePressEvent(QMouseEvent* event) {
    if (!picking_ || event->button() != Qt::LeftButton) {
        return;
    }
    follow(event->globalPosition().toPoint());
    const QColor colour = colourAt(centre_);
    finish(colour.isValid() ? std::optional<QColor>(colour) : std::nullopt);
}

void Magnifier::keyPressEvent(QKeyEvent* event) {
    if (picking_ && event->key() == Qt::Key_Escape) {
        finish(std::nullopt);
    }
}

void Magnifier::finish(std::optional<QColor> colour) {
    picking_ = false;
    releaseKeyboard();
    releaseMouse();
    QGuiApplication::restoreOverrideCursor();
    hide();
    shots_.clear();
    if (auto finished = finished_) {
        finished(colour);
    }
}

}  // namespace tf
