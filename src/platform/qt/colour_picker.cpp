#include "platform/qt/colour_picker.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

#include <utility>

#include "platform/qt/magnifier.h"
#include "util/log.h"

namespace tf {

namespace {

constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";
// Long enough for the bus to start the portal on first use.
constexpr int kCallTimeoutMs = 15000;

// The "color" result: a structure of three doubles.
std::optional<ScreenColour> colourOf(const QVariantMap& results) {
    const QVariant value = results.value(QStringLiteral("color"));
    if (!value.canConvert<QDBusArgument>()) {
        return std::nullopt;
    }
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("(ddd)")) {
        return std::nullopt;
    }
    ScreenColour colour;
    argument.beginStructure();
    argument >> colour.red >> colour.green >> colour.blue;
    argument.endStructure();
    return colour;
}

// What a desktop without the portal's colour pick answers.
bool isAbsent(QDBusError::ErrorType type) {
    switch (type) {
        case QDBusError::ServiceUnknown:
        case QDBusError::UnknownObject:
        case QDBusError::UnknownInterface:
        case QDBusError::UnknownMethod:
        case QDBusError::NoServer:
        case QDBusError::Disconnected:
            return true;
        default:
            return false;
    }
}

}  // namespace

QtColourPicker::QtColourPicker(QDBusConnection bus, QString portalService)
    : bus_(std::move(bus)), portalService_(std::move(portalService)) {}

QtColourPicker::~QtColourPicker() {
    stopListening();
}

Magnifier* QtColourPicker::magnifier() const {
    return magnifier_ && magnifier_->isPicking() ? magnifier_.get() : nullptr;
}

void QtColourPicker::pickColour(ColourPickRequest request) {
    if (request_) {
        if (request.done) {
            request.done({ColourPickStatus::Cancelled, {}, ColourSampler::Desktop});
        }
        return;
    }
    request_ = std::move(request);
    askPortal();
}

void QtColourPicker::askPortal() {
    if (!bus_.isConnected()) {
        useMagnifier();
        return;
    }
    // The request object's path is known before the call, so the answer cannot slip past
    // between the reply and the subscription.
    const QString token = QStringLiteral("trackfolio%1").arg(++tokens_);
    QString sender = bus_.baseService();
    sender.remove(0, sender.startsWith(QLatin1Char(':')) ? 1 : 0);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    listenAt(QStringLiteral("%1/request/%2/%3").arg(QLatin1String(kPortalPath), sender, token));

    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService_, QString::fromLatin1(kPortalPath),
        QStringLiteral("org.freedesktop.portal.Screenshot"), QStringLiteral("PickColor"));
    call << QString() << QVariantMap{{QStringLiteral("handle_token"), token}};
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *finished;
                if (!request_) {
                    return;
                }
                if (reply.isError()) {
                    // No portal, or one without a colour picker: use our own. Only other
                    // failures are worth a line.
                    if (!isAbsent(reply.error().type())) {
                        logWarning("colour picker: the desktop portal failed: " +
                                   reply.error().message().toStdString());
                    }
                    stopListening();
                    useMagnifier();
                    return;
                }
                // Older portals name the request object themselves.
                if (const QString path = reply.value().path(); path != requestPath_) {
                    stopListening();
                    listenAt(path);
                }
            });
}

void QtColourPicker::listenAt(const QString& path) {
    requestPath_ = path;
    bus_.connect(portalService_, path, QString::fromLatin1(kRequestInterface),
                 QStringLiteral("Response"), this, SLOT(portalResponse(uint, QVariantMap)));
}

void QtColourPicker::stopListening() {
    if (!requestPath_.isEmpty()) {
        bus_.disconnect(portalService_, requestPath_, QString::fromLatin1(kRequestInterface),
                        QStringLiteral("Response"), this, SLOT(portalResponse(uint, QVariantMap)));
        requestPath_.clear();
    }
}

void QtColourPicker::portalResponse(uint response, const QVariantMap& results) {
    stopListening();
    if (!request_) {
        return;
    }
    ColourPick pick;
    pick.sampler = ColourSampler::Desktop;
    pick.status = ColourPickStatus::Cancelled;
    // 0: picked; 1: the user cancelled; 2: the sampler failed, which the user also sees
    // as the end of picking.
    if (response == 0) {
        if (const auto colour = colourOf(results)) {
            pick.status = ColourPickStatus::Picked;
            pick.colour = *colour;
        } else {
            logWarning("colour picker: the portal answered without a colour");
        }
    }
    finish(pick);
}

void QtColourPicker::useMagnifier() {
    if (!Magnifier::supported()) {
        finish({ColourPickStatus::Unavailable, {}, ColourSampler::Magnifier});
        return;
    }
    if (request_->beforeMagnifier) {
        request_->beforeMagnifier();
    }
    if (!magnifier_) {
        magnifier_ = std::make_unique<Magnifier>([this](std::optional<QColor> colour) {
            ColourPick pick;
            pick.sampler = ColourSampler::Magnifier;
            pick.status = colour ? ColourPickStatus::Picked : ColourPickStatus::Cancelled;
            if (colour) {
                pick.colour = {colour->redF(), colour->greenF(), colour->blueF()};
            }
            // After the window's own event handling has unwound.
            QTimer::singleShot(0, this, [this, pick] { finish(pick); });
        });
    }
    if (!magnifier_->start()) {
        finish({ColourPickStatus::Unavailable, {}, ColourSampler::Magnifier});
    }
}

void QtColourPicker::finish(ColourPick pick) {
    if (!request_) {
        return;
    }
    ColourPickRequest request = std::move(*request_);
    request_.reset();
    if (request.done) {
        request.done(pick);
    }
}

}  // namespace tf
