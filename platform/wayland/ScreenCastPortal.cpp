#include "platform/wayland/ScreenCastPortal.h"

#include "platform/wayland/PortalNames.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <chrono>

namespace platform {

namespace {

using namespace std::chrono_literals;

const QString screenCastInterface = QStringLiteral("org.freedesktop.portal.ScreenCast");
// A desktop may ask the user which monitor to share; give them time to answer.
constexpr auto responseLimit = 60s;

enum : uint { monitorSource = 1, embeddedCursor = 2, persistUntilRevoked = 2 };

QString newToken() {
    static int tokens = 0;
    return QStringLiteral("quorvastelin_cast%1").arg(++tokens);
}

Error portalMissing() {
    return Error::platform(QStringLiteral(
        "Máy tính để bàn này không có cổng quay màn hình (org.freedesktop.portal.ScreenCast)"));
}

std::optional<QPoint> pairAt(const QVariantMap& properties, const QString& key) {
    if (!properties.contains(key)) {
        return std::nullopt;
    }
    const auto pair = qvariant_cast<QDBusArgument>(properties.value(key));
    int first = 0;
    int second = 0;
    pair.beginStructure();
    pair >> first >> second;
    pair.endStructure();
    return QPoint(first, second);
}

}  // namespace

ScreenCastPortal::ScreenCastPortal() : timeout(new QTimer(this)) {
    timeout->setSingleShot(true);
    connect(timeout, &QTimer::timeout, this, [this] {
        finish(Error::platform(QStringLiteral("Cổng quay màn hình không trả lời")));
    });
}

ScreenCastPortal::~ScreenCastPortal() {
    forgetRequest();
    if (!sessionPath.isEmpty()) {
        QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(
            portalService, sessionPath, QStringLiteral("org.freedesktop.portal.Session"),
            QStringLiteral("Close")));
    }
}

void ScreenCastPortal::open(std::optional<QString> restoreToken,
                            std::function<void(Result<ScreenCastGrant>)> whenDone) {
    done = std::move(whenDone);
    if (!QDBusConnection::sessionBus().isConnected()) {
        finish(Error::platform(QStringLiteral("Không có kết nối D-Bus của phiên làm việc")));
        return;
    }
    ask(QStringLiteral("CreateSession"), {}, {{QStringLiteral("session_handle_token"), newToken()}},
        [this, restoreToken](const QVariantMap& results) {
            sessionCreated(results, restoreToken);
        });
}

void ScreenCastPortal::sessionCreated(const QVariantMap& results,
                                      std::optional<QString> restoreToken) {
    // A string in the portal's first versions, an object path in later ones.
    const QVariant session = results.value(QStringLiteral("session_handle"));
    sessionPath = session.userType() == qMetaTypeId<QDBusObjectPath>()
                      ? session.value<QDBusObjectPath>().path()
                      : session.toString();
    QVariantMap options{{QStringLiteral("types"), uint(monitorSource)},
                        {QStringLiteral("multiple"), false},
                        {QStringLiteral("cursor_mode"), uint(embeddedCursor)},
                        {QStringLiteral("persist_mode"), uint(persistUntilRevoked)}};
    if (restoreToken) {
        options.insert(QStringLiteral("restore_token"), *restoreToken);
    }
    const QVariantList handle{QVariant::fromValue(QDBusObjectPath(sessionPath))};
    ask(QStringLiteral("SelectSources"), handle, options, [this, handle](const QVariantMap&) {
        ask(QStringLiteral("Start"), handle + QVariantList{QString()}, {},
            [this](const QVariantMap& results) { started(results); });
    });
}

void ScreenCastPortal::started(const QVariantMap& results) {
    const Error nothingShared =
        Error::platform(QStringLiteral("Cổng quay màn hình không chia sẻ màn hình nào"));
    if (!results.contains(QStringLiteral("streams"))) {
        finish(nothingShared);
        return;
    }
    ScreenCastGrant grant;
    const auto streams = qvariant_cast<QDBusArgument>(results.value(QStringLiteral("streams")));
    streams.beginArray();
    if (streams.atEnd()) {
        finish(nothingShared);
        return;
    }
    QVariantMap properties;
    streams.beginStructure();
    streams >> grant.node >> properties;
    streams.endStructure();
    grant.position = pairAt(properties, QStringLiteral("position"));
    if (const auto size = pairAt(properties, QStringLiteral("size"))) {
        grant.size = QSize(size->x(), size->y());
    }
    if (results.contains(QStringLiteral("restore_token"))) {
        grant.restoreToken = results.value(QStringLiteral("restore_token")).toString();
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, portalPath, screenCastInterface, QStringLiteral("OpenPipeWireRemote"));
    call << QVariant::fromValue(QDBusObjectPath(sessionPath)) << QVariantMap();
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, grant]() mutable {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
        if (reply.isError()) {
            finish(Error::platform(reply.error().message()));
            return;
        }
        grant.remote = reply.value();
        finish(grant);
    });
}

void ScreenCastPortal::ask(const QString& method, const QVariantList& arguments,
                           QVariantMap options, Answer whenAnswered) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = newToken();
    options.insert(QStringLiteral("handle_token"), token);
    // The answer comes on a request object whose path the caller can know beforehand; listening
    // before asking means an answer cannot slip past.
    const QString sender = bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    requestPath = portalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    bus.connect(portalService, requestPath, requestInterface, QStringLiteral("Response"), this,
                SLOT(onResponse(uint, QVariantMap)));
    answer = std::move(whenAnswered);
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, screenCastInterface, method);
    call.setArguments(arguments + QVariantList{options});
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, path = requestPath] {
        watcher->deleteLater();
        if (!watcher->isError() || requestPath != path || !done) {
            return;
        }
        const QDBusError::ErrorType kind = watcher->error().type();
        const bool missing = kind == QDBusError::ServiceUnknown ||
                             kind == QDBusError::UnknownInterface ||
                             kind == QDBusError::UnknownMethod || kind == QDBusError::UnknownObject;
        finish(missing ? portalMissing() : Error::platform(watcher->error().message()));
    });
    timeout->start(responseLimit);
}

void ScreenCastPortal::onResponse(uint code, const QVariantMap& results) {
    forgetRequest();
    if (!done) {
        return;
    }
    if (code != 0) {
        finish(Error::platform(code == 1 ? QStringLiteral("Yêu cầu quay màn hình đã bị từ chối")
                                         : QStringLiteral("Cổng quay màn hình báo lỗi")));
        return;
    }
    auto next = std::move(answer);
    answer = nullptr;
    next(results);
}

void ScreenCastPortal::finish(Result<ScreenCastGrant> result) {
    forgetRequest();
    auto whenDone = std::move(done);
    done = nullptr;
    if (whenDone) {
        whenDone(std::move(result));
    }
}

void ScreenCastPortal::forgetRequest() {
    timeout->stop();
    if (!requestPath.isEmpty()) {
        QDBusConnection::sessionBus().disconnect(portalService, requestPath, requestInterface,
                                                 QStringLiteral("Response"), this,
                                                 SLOT(onResponse(uint, QVariantMap)));
    }
    requestPath.clear();
}

}  // namespace platform
