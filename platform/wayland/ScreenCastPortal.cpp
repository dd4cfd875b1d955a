#include "platform/wayland/ScreenCastPortal.h"

#include "platform/wayland/PortalRequest.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <chrono>
#include <utility>

namespace platform {

namespace {

using namespace std::chrono_literals;

const QString screenCastInterface = QStringLiteral("org.freedesktop.portal.ScreenCast");
// A desktop may ask the user which monitor to share; give them time to answer.
constexpr auto responseLimit = 60s;

enum : uint { monitorSource = 1, embeddedCursor = 2, persistUntilRevoked = 2 };

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

ScreenCastPortal::ScreenCastPortal()
    : request(new PortalRequest(
          screenCastInterface,
          {QStringLiteral("Máy tính để bàn này không có cổng quay màn hình "
                          "(org.freedesktop.portal.ScreenCast)"),
           QStringLiteral("Yêu cầu quay màn hình đã bị từ chối"),
           QStringLiteral("Cổng quay màn hình báo lỗi"),
           QStringLiteral("Cổng quay màn hình không trả lời")},
          responseLimit, [this](Error failure) { finish(failure); }, this)) {}

ScreenCastPortal::~ScreenCastPortal() {
    if (!sessionPath.isEmpty()) {
        PortalRequest::closeSession(sessionPath);
    }
}

void ScreenCastPortal::open(std::optional<QString> restoreToken,
                            std::function<void(Result<ScreenCastGrant>)> whenDone) {
    done = std::move(whenDone);
    request->ask(QStringLiteral("CreateSession"), {},
                 {{QStringLiteral("session_handle_token"), PortalRequest::newToken()}},
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
    request->ask(QStringLiteral("SelectSources"), handle, options,
                 [this, handle](const QVariantMap&) {
                     request->ask(QStringLiteral("Start"), handle + QVariantList{QString()}, {},
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
    request->call(QStringLiteral("OpenPipeWireRemote"),
                  {QVariant::fromValue(QDBusObjectPath(sessionPath)), QVariantMap()},
                  [this, grant](const QVariantList& reply) mutable {
                      grant.remote = qvariant_cast<QDBusUnixFileDescriptor>(reply.value(0));
                      finish(grant);
                  });
}

void ScreenCastPortal::finish(Result<ScreenCastGrant> result) {
    if (const auto whenDone = std::exchange(done, nullptr)) {
        whenDone(std::move(result));
    }
}

}  // namespace platform
