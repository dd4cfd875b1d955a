#pragma once

#include "platform/Error.h"

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <optional>

namespace platform {

class PortalRequest;

// What the desktop shares: a PipeWire connection and the node on it showing the monitor, where
// the desktop says that monitor lies, and a token that shares the same monitor again without
// asking the user.
struct ScreenCastGrant {
    QDBusUnixFileDescriptor remote;
    quint32 node = 0;
    std::optional<QPoint> position;
    std::optional<QSize> size;
    std::optional<QString> restoreToken;
};

// One screen-sharing session of the desktop's ScreenCast portal, for one monitor with the
// pointer drawn in. Lives on the GUI thread; destroying it ends the sharing.
class ScreenCastPortal : public QObject {
    Q_OBJECT
  public:
    ScreenCastPortal();
    ~ScreenCastPortal() override;

    // Asks for a monitor (the one restoreToken names, when the desktop still knows it) and
    // calls done once with the grant or the reason there is none.
    void open(std::optional<QString> restoreToken,
              std::function<void(Result<ScreenCastGrant>)> done);

  private:
    void sessionCreated(const QVariantMap& results, std::optional<QString> restoreToken);
    void started(const QVariantMap& results);
    void finish(Result<ScreenCastGrant> result);

    PortalRequest* request;
    std::function<void(Result<ScreenCastGrant>)> done;
    QString sessionPath;
};

}  // namespace platform
