#pragma once

#include "platform/Error.h"

#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

class QTimer;

namespace platform {

// Where xdg-desktop-portal answers on the session bus.
inline const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");

// What a client tells the user when its portal is not there, the user refuses, the portal
// gives up, or it does not answer in time.
struct PortalTexts {
    QString missing, refused, failed, silent;
};

// One client's calls of a portal interface, none waiting on the bus; a call that fails goes to
// failed with the client's text. Whether the desktop offers the interface is asked at first,
// and again whenever another process answers for the portal.
class PortalRequest : public QObject {
    Q_OBJECT
  public:
    PortalRequest(QString interface, PortalTexts texts, std::chrono::seconds limit,
                  std::function<void(Error)> failed, QObject* parent);

    // Why no call can be made: no bus, or the desktop has said it does not offer the interface.
    std::optional<QString> unavailableReason() const;
    void whenOffered(std::function<void(bool)> told);
    // A method that answers on a request object. One waits at a time; a new one drops it.
    void ask(const QString& method, const QVariantList& arguments, QVariantMap options,
             std::function<void(const QVariantMap&)> answered);
    // A method that answers at once.
    void call(const QString& method, const QVariantList& arguments,
              std::function<void(const QVariantList&)> replied);

    static QString newToken();
    // The object the portal makes for a call of ours that carried token.
    static QString objectPath(const QString& kind, const QString& token);
    static void closeSession(const QString& path);

  private Q_SLOTS:
    void onResponse(uint code, const QVariantMap& results, const QDBusMessage& message);

  private:
    void learn();
    void send(const QDBusMessage& message, int timeout,
              std::function<void(const QDBusMessage&)> replied);
    void fail(const QString& text);
    // Past the limit: waits on while the desktop still asks the user, else gives up.
    void checkQuestion();

    QString interface;
    PortalTexts texts;
    std::function<void(Error)> failed;
    std::optional<bool> known;
    int learning = 0;
    std::vector<std::function<void(bool)>> learners;
    std::function<void(const QVariantMap&)> answered;
    QString path;
    std::chrono::milliseconds limit;
    QTimer* timeout;
};

}  // namespace platform
