// The colour picker: the desktop portal's request and answer against a portal of our own on
// the test's private session bus, the fall-back where no portal answers, and (on an X11
// display) the magnifier picking from a window painted with known colours.
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>

#include "platform/qt/colour_picker.h"
#include "platform/qt/magnifier.h"
#include "platform/qt/windows_test_support.h"
#include "support/sandbox.h"

namespace tf {
namespace {

using test::waitFor;

constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";

// A portal's Screenshot.PickColor that answers as told.
class FakePortal : public QDBusVirtualObject {
  public:
    enum class Answer { Colour, Cancel, NoColourPicker, OwnRequestPath };

    Answer answer = Answer::Colour;
    ScreenColour colour;
    QString parentWindow;
    QVariantMap options;
    QString requestPath;

    QString introspect(const QString& /*path*/) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QLatin1String("PickColor") || message.arguments().size() != 2) {
            return false;
        }
        if (answer == Answer::NoColourPicker) {
            connection.send(message.createErrorReply(QDBusError::UnknownInterface, "no picker"));
            return true;
        }
        parentWindow = message.arguments()[0].toString();
        options = qdbus_cast<QVariantMap>(message.arguments()[1]);
        QString sender = message.service().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        requestPath = answer == Answer::OwnRequestPath
                          ? QStringLiteral("/org/freedesktop/portal/desktop/request/own/path")
                          : QStringLiteral("%1/request/%2/%3")
                                .arg(QLatin1String(kPortalPath), sender,
                                     options.value(QStringLiteral("handle_token")).toString());
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(requestPath))));
        // The user takes a moment to pick; long enough for a caller to follow a request path
        // it learns only from the reply.
        QTimer::singleShot(200, [this, connection] { respond(connection); });
        return true;
    }

  private:
    void respond(QDBusConnection connection) const {
        QDBusMessage signal = QDBusMessage::createSignal(
            requestPath, QStringLiteral("org.freedesktop.portal.Request"),
            QStringLiteral("Response"));
        QVariantMap results;
        if (answer != Answer::Cancel) {
            QDBusArgument value;
            value.beginStructure();
            value << colour.red << colour.green << colour.blue;
            value.endStructure();
            results.insert(QStringLiteral("color"), QVariant::fromValue(value));
        }
        signal << static_cast<uint>(answer == Answer::Cancel ? 1 : 0) << results;
        connection.send(signal);
    }
};

// The portal under a name of its own on a second connection, as another program would be.
class PortalFixture : public test::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        static int count = 0;
        connectionName = QStringLiteral("portal%1").arg(++count);
        serviceName = QStringLiteral("org.trackfolio.test.Portal%1").arg(count);
        QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
        ASSERT_TRUE(bus.isConnected()) << "the tests run on a private session bus";
        ASSERT_TRUE(bus.registerVirtualObject(QString::fromLatin1(kPortalPath), &portal));
        ASSERT_TRUE(bus.registerService(serviceName));
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus(connectionName);
        SandboxTest::TearDown();
    }

    // Picks with a picker pointed at `service`; nothing when no outcome came in time.
    std::optional<ColourPick> pickWith(const QString& service) {
        QtColourPicker picker(QDBusConnection::sessionBus(), service);
        std::optional<ColourPick> outcome;
        picker.pickColour(
            {[this] { ++magnifierTips; }, [&outcome](const ColourPick& pick) { outcome = pick; }});
        // A second request while picking is turned away at once.
        std::optional<ColourPick> second;
        picker.pickColour({nullptr, [&second](const ColourPick& pick) { second = pick; }});
        EXPECT_TRUE(second && second->status == ColourPickStatus::Cancelled);
        waitFor([&] { return outcome.has_value(); }, 10000);
        return outcome;
    }

    FakePortal portal;
    QString connectionName;
    QString serviceName;
    int magnifierTips = 0;
};

TEST_F(PortalFixture, TheDesktopSamplerAnswersThroughTheRequestObject) {
    portal.colour = {1.0, 0.5, 0.25};
    auto outcome = pickWith(serviceName);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->status, ColourPickStatus::Picked);
    EXPECT_EQ(outcome->sampler, ColourSampler::Desktop);
    EXPECT_DOUBLE_EQ(outcome->colour.red, 1.0);
    EXPECT_DOUBLE_EQ(outcome->colour.green, 0.5);
    EXPECT_DOUBLE_EQ(outcome->colour.blue, 0.25);
    EXPECT_EQ(portal.parentWindow, QString());
    EXPECT_TRUE(portal.options.value(QStringLiteral("handle_token"))
                    .toString()
                    .startsWith(QLatin1String("trackfolio")));

    // A portal that names the request object itself is followed there.
    portal.answer = FakePortal::Answer::OwnRequestPath;
    portal.colour = {0.0, 0.0, 1.0};
    outcome = pickWith(serviceName);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->status, ColourPickStatus::Picked);
    EXPECT_DOUBLE_EQ(outcome->colour.blue, 1.0);

    portal.answer = FakePortal::Answer::Cancel;
    outcome = pickWith(serviceName);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->status, ColourPickStatus::Cancelled);
    EXPECT_EQ(magnifierTips, 0);
}

TEST_F(PortalFixture, WithoutAPortalPickerTheMagnifierIsNextAndOffscreenNothingCanPick) {
    if (Magnifier::supported()) {
        GTEST_SKIP() << "the magnifier would show on this display";
    }
    // A portal without the colour pick, and no portal at all.
    portal.answer = FakePortal::Answer::NoColourPicker;
    for (const QString& service : {serviceName, QStringLiteral("org.trackfolio.test.NoOne")}) {
        const auto outcome = pickWith(service);
        ASSERT_TRUE(outcome) << service.toStdString();
        EXPECT_EQ(outcome->status, ColourPickStatus::Unavailable);
        EXPECT_EQ(outcome->sampler, ColourSampler::Magnifier);
    }
    // The tip belongs to a magnifier that shows.
    EXPECT_EQ(magnifierTips, 0);
}

// --- The magnifier on an X11 display (run under Xvfb) ---

// Screen pixels the test paints: a checkerboard, with one odd pixel to pick.
const QColor kLight(240, 200, 40);
const QColor kDark(30, 60, 160);
const QColor kTarget(200, 30, 90);
const QPoint kTargetAt(301, 201);

class PaintedScreen : public QWidget {
  public:
    PaintedScreen() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) {
        setGeometry(QGuiApplication::primaryScreen()->geometry());
    }

  protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        for (int y = 0; y < height(); y += 4) {
            for (int x = 0; x < width(); x += 4) {
                painter.fillRect(x, y, 4, 4, ((x + y) / 4) % 2 == 0 ? kLight : kDark);
            }
        }
        painter.fillRect(QRect(kTargetAt, QSize(1, 1)), kTarget);
    }
};

QColor onScreen(QPoint at) {
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, at.x(), at.y(), 1, 1)
        .toImage()
        .pixelColor(0, 0);
}

class MagnifierOnX11 : public test::SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        if (!Magnifier::supported()) {
            GTEST_SKIP() << "needs an X11 display";
        }
        ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            << "xdotool drives the pointer (scripts/install-deps)";
        screen.show();
        ASSERT_TRUE(waitFor([] { return onScreen(kTargetAt) == kTarget; }));
    }

    static void xdotool(const QStringList& arguments) {
        ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), arguments), 0)
            << arguments.join(u' ').toStdString();
    }
    // Starts a pick where no portal answers; the magnifier shows.
    void start() {
        const int tipsBefore = tips;
        outcome.reset();
        picker.pickColour({[this] { ++tips; }, [this](const ColourPick& pick) { outcome = pick; }});
        ASSERT_TRUE(waitFor([this] { return picker.magnifier() != nullptr; }));
        EXPECT_EQ(tips, tipsBefore + 1) << "the command's tip comes just before the magnifier";
    }
    // Moves the pointer and waits until the magnifier is centred on it.
    void moveTo(QPoint at) {
        xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())});
        ASSERT_TRUE(waitFor([&] {
            return picker.magnifier() && picker.magnifier()->pos() == at - QPoint(40, 40);
        }));
    }

    PaintedScreen screen;
    QtColourPicker picker{QDBusConnection::sessionBus(),
                          QStringLiteral("org.trackfolio.test.NoOne")};
    std::optional<ColourPick> outcome;
    int tips = 0;
};

TEST_F(MagnifierOnX11, AClickPicksThePixelUnderThePointer) {
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_NE(QGuiApplication::overrideCursor(), nullptr) << "the cursor hides while picking";
    ASSERT_NO_FATAL_FAILURE(moveTo(kTargetAt - QPoint(30, 20)));
    ASSERT_NO_FATAL_FAILURE(moveTo(kTargetAt));

    if (const char* folder = std::getenv("TRACKFOLIO_SCREENSHOT_DIR"); folder != nullptr) {
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(
            0, kTargetAt.x() - 60, kTargetAt.y() - 60, 120, 120);
        EXPECT_TRUE(shot.save(QDir(QString::fromLocal8Bit(folder)).filePath("magnifier.png")));
    }
    // The window shows the odd pixel enlarged in its middle, framed by the marks.
    const QImage shown = picker.magnifier()->grab().toImage();
    EXPECT_EQ(shown.pixelColor(40, 40), kTarget);
    EXPECT_EQ(shown.pixelColor(37, 40), QColor(233, 87, 71));

    xdotool({QStringLiteral("click"), QStringLiteral("1")});
    ASSERT_TRUE(waitFor([this] { return outcome.has_value(); }));
    EXPECT_EQ(outcome->status, ColourPickStatus::Picked);
    EXPECT_EQ(outcome->sampler, ColourSampler::Magnifier);
    EXPECT_EQ(QColor::fromRgbF(static_cast<float>(outcome->colour.red),
                               static_cast<float>(outcome->colour.green),
                               static_cast<float>(outcome->colour.blue)),
              kTarget);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(MagnifierOnX11, EscapeGivesTheCursorBackAndPicksNothing) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(moveTo(kTargetAt));
    EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    ASSERT_TRUE(waitFor([this] { return outcome.has_value(); }));
    EXPECT_EQ(outcome->status, ColourPickStatus::Cancelled);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
    EXPECT_EQ(picker.magnifier(), nullptr);
}

}  // namespace
}  // namespace tf
