// The colour picker port on a desktop: the desktop portal's colour pick first (the sampler
// the desktop itself offers), and where no portal takes the request, our magnifier on X11.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>

#include "platform/colour_picker.h"

namespace tf {

class Magnifier;

class QtColourPicker : public QObject, public ColourPicker {
    Q_OBJECT

  public:
    static constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";

    // Tests hand in their own bus and portal name.
    explicit QtColourPicker(QDBusConnection bus = QDBusConnection::sessionBus(),
                            QString portalService = QString::fromLatin1(kPortalService));
    ~QtColourPicker() override;

    // A request made while one is under way is answered "cancelled" at once: the user is
    // already picking.
    void pickColour(ColourPickRequest request) override;

    // The magnifier while it shows, else null (tests drive it).
    Magnifier* magnifier() const;

  private Q_SLOTS:
    void portalResponse(uint response, const QVariantMap& results);

  private:
    void askPortal();
    void listenAt(const QString& path);
    void stopListening();
    void useMagnifier();
    void finish(ColourPick pick);

    QDBusConnection bus_;
    QString portalService_;
    QString requestPath_;
    std::optional<ColourPickRequest> request_;
    std::unique_ptr<Magnifier> magnifier_;
    unsigned tokens_ = 0;
};

}  // namespace tf
