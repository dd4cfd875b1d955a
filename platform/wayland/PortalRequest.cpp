#include "platform/wayland/PortalRequest.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QTimer>
#include <memory>
#include <utility>

namespace platform {

namespace {

const QString noBus = QStringLiteral("Không có kết nối D-Bus của phiên làm việc");

// The desktops' own parts that ask the user on a portal's behalf: while one asks, it shows the
// question under the request's own path.
const QStringList askingServices = {
    QStringLiteral("org.gnome.Shell.Portal"),
    QStringLiteral("org.freedesktop.impl.portal.desktop.gnome"),
    QStringLiteral("org.freedesktop.impl.portal.desktop.gtk"),
    QStringLiteral("org.freedesktop.impl.portal.desktop.kde"),
};
constexpr auto questionCheckInterval = std::chrono::seconds(2);

}  // namespace

PortalRequest::PortalRequest(QString interface, PortalTexts texts, std::chrono::seconds limit,
                             std::function<void(Error)> failed, QObject* parent)
    : QObject(parent),
      interface(std::move(interface)),
      texts(std::move(texts)),
      failed(std::move(failed)),
      limit(limit),
      timeout(new QTimer(this)) {
    timeout->setSingleShot(true);
    // A question still before the user is waited for however long it stands: giving up would
    // leave it on screen, answered into the void, and in the way of the next attempt.
    connect(timeout, &QTimer::timeout, this, [this] { checkQuestion(); });
    // Answers come on request objects whose paths the caller knows beforehand; listening before
    // asking means an answer cannot slip past.
    QDBusConnection::sessionBus().connect(
        portalService, QString(), QStringLiteral("org.freedesktop.portal.Request"),
        QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap, QDBusMessage)));
    // A request object belongs to the portal that made it: once that leaves, no answer comes.
    // One the bus started for our call is the one answering it.
    connect(new QDBusServiceWatcher(portalService, QDBusConnection::sessionBus(),
                                    QDBusServiceWatcher::WatchForOwnerChange, this),
            &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString& formerOwner) {
                learn();
                if (!formerOwner.isEmpty() && !path.isEmpty()) {
                    fail(this->texts.silent);
                }
            });
    learn();
}

std::optional<QString> PortalRequest::unavailableReason() const {
    if (!QDBusConnection::sessionBus().isConnected()) {
        return noBus;
    }
    return known == false ? std::optional(texts.missing) : std::nullopt;
}

void PortalRequest::whenOffered(std::function<void(bool)> told) {
    if (known) {
        told(*known);
    } else {
        learners.push_back(std::move(told));
    }
}

void PortalRequest::learn() {
    known.reset();
    QDBusMessage version = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    version << interface << QStringLiteral("version");
    send(version, 5000, [this, asked = ++learning](const QDBusMessage& reply) {
        if (asked == learning) {
            known = reply.type() == QDBusMessage::ReplyMessage;
            for (const auto& told : std::exchange(learners, {})) {
                told(*known);
            }
        }
    });
}

void PortalRequest::ask(const QString& method, const QVariantList& arguments, QVariantMap options,
                        std::function<void(const QVariantMap&)> whenAnswered) {
    // Asked even where the desktop said no interface: it may have been starting then.
    if (!QDBusConnection::sessionBus().isConnected()) {
        fail(noBus);
        return;
    }
    answered = std::move(whenAnswered);
    const QString token = newToken();
    options.insert(QStringLiteral("handle_token"), token);
    path = objectPath(QStringLiteral("request"), token);
    call(method, arguments + QVariantList{options}, [](const QVariantList&) {});
    timeout->start(limit);
}

void PortalRequest::call(const QString& method, const QVariantList& arguments,
                         std::function<void(const QVariantList&)> replied) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(portalService, portalPath, interface, method);
    message.setArguments(arguments);
    send(message, -1, [this, asked = path, replied](const QDBusMessage& reply) {
        const QDBusError::ErrorType kind = QDBusError(reply).type();
        if (path != asked) {
            return;
        }
        const bool missing = kind == QDBusError::ServiceUnknown ||
                             kind == QDBusError::UnknownInterface ||
                             kind == QDBusError::UnknownMethod || kind == QDBusError::UnknownObject;
        if (kind == QDBusError::NoError) {
            replied(reply.arguments());
        } else {
            fail(missing ? texts.missing : reply.errorMessage());
        }
    });
}

void PortalRequest::checkQuestion() {
    const auto pending = std::make_shared<qsizetype>(askingServices.size());
    const auto standing = std::make_shared<bool>(false);
    for (const QString& service : askingServices) {
        QDBusMessage introspect = QDBusMessage::createMethodCall(
            service, path, QStringLiteral("org.freedesktop.DBus.Introspectable"),
            QStringLiteral("Introspect"));
        // Asking must not start a desktop's part that is not running.
        introspect.setAutoStartService(false);
        send(introspect, 5000, [this, pending, standing, asked = path](const QDBusMessage& reply) {
            *standing = *standing || (reply.type() == QDBusMessage::ReplyMessage &&
                                      reply.arguments().value(0).toString().contains(
                                          QStringLiteral("org.freedesktop.impl.portal.Request")));
            if (--*pending > 0 || path != asked || path.isEmpty()) {
                return;
            }
            if (*standing) {
                timeout->start(questionCheckInterval);
            } else {
                fail(texts.silent);
            }
        });
    }
}

void PortalRequest::send(const QDBusMessage& message, int limit,
                         std::function<void(const QDBusMessage&)> replied) {
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, limit), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, replied] {
        watcher->deleteLater();
        replied(watcher->reply());
    });
}

void PortalRequest::onResponse(uint code, const QVariantMap& results, const QDBusMessage& message) {
    if (path.isEmpty() || message.path() != path) {
        return;
    }
    if (code != 0) {
        fail(code == 1 ? texts.refused : texts.failed);
        return;
    }
    timeout->stop();
    path.clear();
    // Last: the answer may ask again, or end the client.
    std::exchange(answered, nullptr)(results);
}

void PortalRequest::fail(const QString& text) {
    timeout->stop();
    answered = nullptr;
    path.clear();
    failed(Error::platform(text));
}

QString PortalRequest::newToken() {
    static int tokens = 0;
    return QStringLiteral("quorvastelin%1").arg(++tokens);
}

QString PortalRequest::objectPath(const QString& kind, const QString& token) {
    const QString sender = QDBusConnection::sessionBus().baseService().mid(1).replace(
        QLatin1Char('.'), QLatin1Char('_'));
    return portalPath + QLatin1Char('/') + kind + QLatin1Char('/') + sender + QLatin1Char('/') +
           token;
}

void PortalRequest::closeSession(const QString& path) {
    QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(
        portalService, path, QStringLiteral("org.freedesktop.portal.Session"),
        QStringLiteral("Close")));
}

}  // namespace platform
