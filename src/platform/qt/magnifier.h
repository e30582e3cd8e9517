// Our own screen sampler for X11 desktops without one: a small round window that follows the
// pointer and shows the pixels around it enlarged; a click picks the pixel in its centre and
// Escape leaves without picking.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

namespace tf {

class Magnifier : public QWidget {
  public:
    // Window side, and the side of the square of screen pixels it shows (odd, so one pixel
    // sits in the middle; 80 / 11 is about sevenfold).
    static constexpr int kSide = 80;
    static constexpr int kSpan = 11;

    // `finished` gets the picked colour, or nothing when the user left with Escape.
    explicit Magnifier(std::function<void(std::optional<QColor>)> finished);
    ~Magnifier() override;

    // Whether this display lets us read the screen at all (X11 does; Wayland and the
    // offscreen platform do not).
    static bool supported();

    // Reads the screens, shows the window at the pointer and takes the pointer and the
    // keyboard; false (nothing shown) when the screen cannot be read.
    bool start();
    bool isPicking() const { return picking_; }
    // The screen as read when the magnifier started; invalid outside every screen.
    QColor colourAt(QPoint global) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    struct Shot {
        // Logical coordinates of the screen and its picture in device pixels.
        QRect geometry;
        QImage image;
        qreal ratio = 1.0;
    };

    void takeInput(int attemptsLeft);
    void follow(QPoint global);
    void finish(std::optional<QColor> colour);

    std::function<void(std::optional<QColor>)> finished_;
    std::vector<Shot> shots_;
    QPoint centre_;
    QImage around_;
    bool picking_ = false;
};

}  // namespace tf
