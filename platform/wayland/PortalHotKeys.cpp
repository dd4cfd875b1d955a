#include "platform/wayland/PortalHotKeys.h"

#include "platform/wayland/PortalNames.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QList>

namespace platform {

namespace {

const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString sessionToken = QStringLiteral("quorvastelin");

// One entry of the portal's shortcut list, a(sa{sv}).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

// Each call's own name for the request object that answers it.
QString nextRequestToken() {
    static int requests = 0;
    return QStringLiteral("quorvastelin_shortcuts%1").arg(++requests);
}

// The portal's objects for a call of ours are named after our bus name and the call's token.
QString portalObjectPath(const QString& kind, const QString& token) {
    const QString sender = QDBusConnection::sessionBus().baseService().mid(1).replace(
        QLatin1Char('.'), QLatin1Char('_'));
    return portalPath + QLatin1Char('/') + kind + QLatin1Char('/') + sender + QLatin1Char('/') +
           token;
}

QDBusMessage portalCall(const QString& method) {
    return QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
}

void closeSession(const QString& path) {
    QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(
        portalService, path, QStringLiteral("org.freedesktop.portal.Session"),
        QStringLiteral("Close")));
}

}  // namespace

bool globalShortcutsOffered() {
    QDBusMessage version = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    version << shortcutsInterface << QStringLiteral("version");
    return QDBusConnection::sessionBus().call(version, QDBus::Block, 5000).type() ==
           QDBusMessage::ReplyMessage;
}

PortalHotKeys::PortalHotKeys() {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
}

PortalHotKeys::~PortalHotKeys() {
    uninstall();
}

void PortalHotKeys::install(const std::vector<HotKey>& wanted,
                            std::function<void(int id)> handler) {
    if (installed) {
        return;
    }
    keys = wanted;
    onPress = std::move(handler);
    installed = true;
    held.clear();
    releasesReported = false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
                SLOT(onShortcutSignal(QDBusMessage)));
    bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Deactivated"), this,
                SLOT(onShortcutSignal(QDBusMessage)));
    // The answer comes on a request object whose path is known beforehand; listening before
    // asking means it cannot slip past.
    const QString token = nextRequestToken();
    createRequestPath = portalObjectPath(QStringLiteral("request"), token);
    // Known before the session exists, so that a press the desktop reports before the answer
    // is not lost.
    sessionPath = portalObjectPath(QStringLiteral("session"), sessionToken);
    bus.connect(portalService, createRequestPath, requestInterface, QStringLiteral("Response"),
                this, SLOT(onSessionCreated(uint, QVariantMap)));
    // KDE 5.27 registers the shortcuts handed to CreateSession and only opens its settings for
    // BindShortcuts; other desktops take them from BindShortcuts. Both get them.
    QDBusMessage call = portalCall(QStringLiteral("CreateSession"));
    call << QVariantMap{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("session_handle_token"), sessionToken},
                        {QStringLiteral("shortcuts"), shortcutList()}};
    bus.send(call);
}

void PortalHotKeys::uninstall() {
    if (!installed) {
        return;
    }
    installed = false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.disconnect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
                   SLOT(onShortcutSignal(QDBusMessage)));
    bus.disconnect(portalService, portalPath, shortcutsInterface, QStringLiteral("Deactivated"),
                   this, SLOT(onShortcutSignal(QDBusMessage)));
    // A session still being created is closed once its answer comes.
    closeSession(sessionPath);
    sessionPath.clear();
    onPress = nullptr;
    held.clear();
}

void PortalHotKeys::onSessionCreated(uint code, const QVariantMap&) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.disconnect(portalService, createRequestPath, requestInterface, QStringLiteral("Response"),
                   this, SLOT(onSessionCreated(uint, QVariantMap)));
    if (code != 0) {
        return;
    }
    if (!installed) {
        closeSession(portalObjectPath(QStringLiteral("session"), sessionToken));
        return;
    }
    QDBusMessage call = portalCall(QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(sessionPath)) << shortcutList() << QString()
         << QVariantMap{{QStringLiteral("handle_token"), nextRequestToken()}};
    bus.send(call);
}

void PortalHotKeys::onShortcutSignal(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (!installed || arguments.size() < 2 ||
        qvariant_cast<QDBusObjectPath>(arguments[0]).path() != sessionPath) {
        return;
    }
    const QString shortcut = arguments[1].toString();
    if (message.member() == QStringLiteral("Activated")) {
        pressed(shortcut);
    } else {
        released(shortcut);
    }
}

void PortalHotKeys::pressed(const QString& shortcut) {
    // A held key may come again before its release; where the desktop reports releases, only
    // the first press counts.
    if (held.contains(shortcut)) {
        return;
    }
    if (releasesReported) {
        held.insert(shortcut);
    }
    for (const HotKey& key : keys) {
        if (hotKeyName(key) == shortcut) {
            QMetaObject::invokeMethod(
                this,
                [this, id = key.id] {
                    if (installed && onPress) {
                        const auto handler = onPress;
                        handler(id);
                    }
                },
                Qt::QueuedConnection);
        }
    }
}

void PortalHotKeys::released(const QString& shortcut) {
    releasesReported = true;
    held.remove(shortcut);
}

QVariant PortalHotKeys::shortcutList() const {
    QList<PortalShortcut> shortcuts;
    for (const HotKey& key : keys) {
        shortcuts.append({hotKeyName(key),
                          {{QStringLiteral("description"), key.description},
                           {QStringLiteral("preferred_trigger"),
                            QStringLiteral("CTRL+") + QString::fromLatin1(key.keySymbol)}}});
    }
    return QVariant::fromValue(shortcuts);
}

}  // namespace platform
