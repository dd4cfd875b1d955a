#include "platform/wayland/PortalHotKeys.h"

#include "platform/wayland/GnomeKeyboard.h"
#include "platform/wayland/PortalRequest.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QList>
#include <chrono>
#include <optional>

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

// GNOME offers the portal from version 48 on; before, its own keybindings serve, and so they
// do wherever the portal fails: another desktop's backend installed beside GNOME's offers the
// interface on GNOME's behalf and then cannot bind anything. Keys wanted before the desktop has
// said which go to the one chosen once it has.
class GnomeHotKeys : public PortalHotKeys {
  public:
    GnomeHotKeys() {
        keybindings.onFailure = [this](const QString& reason) { reportFailure(reason); };
    }
    void install(const std::vector<HotKey>& keys, std::function<void(int id)> onPress) override {
        request->whenOffered([this, keys, onPress, asked = ++installs](bool offered) {
            if (asked == installs) {
                wanted = keys;
                pressed = onPress;
                viaPortal = offered;
                offered ? PortalHotKeys::install(keys, onPress)
                        : keybindings.install(keys, onPress);
            }
        });
    }
    void uninstall() override {
        ++installs;
        if (viaPortal) {
            *viaPortal ? PortalHotKeys::uninstall() : keybindings.uninstall();
        }
        viaPortal.reset();
    }

  protected:
    void portalFailed(const QString&) override {
        if (viaPortal != true) {
            return;
        }
        PortalHotKeys::uninstall();
        viaPortal = false;
        keybindings.install(wanted, pressed);
    }

  private:
    GnomeCustomKeybindings keybindings;
    std::vector<HotKey> wanted;
    std::function<void(int id)> pressed;
    std::optional<bool> viaPortal;
    int installs = 0;
};

}  // namespace

std::shared_ptr<HotKeys> gnomeHotKeys() {
    return std::make_shared<GnomeHotKeys>();
}

PortalHotKeys::PortalHotKeys()
    : request(new PortalRequest(
          shortcutsInterface,
          {QStringLiteral("Máy tính để bàn này không có cổng phím tắt "
                          "(org.freedesktop.portal.GlobalShortcuts)"),
           QStringLiteral("Yêu cầu phím tắt đã bị từ chối"),
           QStringLiteral("Cổng phím tắt báo lỗi"), QStringLiteral("Cổng phím tắt không trả lời")},
          std::chrono::minutes(1),
          [this](const Error& failure) {
              if (installed) {
                  portalFailed(failure.description);
              }
          },
          this)) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    for (const QString& name : {QStringLiteral("Activated"), QStringLiteral("Deactivated")}) {
        QDBusConnection::sessionBus().connect(portalService, portalPath, shortcutsInterface, name,
                                              this, SLOT(onShortcutSignal(QDBusMessage)));
    }
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
    // Known before the session exists, so that a press the desktop reports before the answer
    // is not lost.
    sessionPath = PortalRequest::objectPath(QStringLiteral("session"), sessionToken);
    // KDE 5.27 registers the shortcuts handed to CreateSession and only opens its settings for
    // BindShortcuts; other desktops take them from BindShortcuts. Both get them.
    request->ask(QStringLiteral("CreateSession"), {},
                 {{QStringLiteral("session_handle_token"), sessionToken},
                  {QStringLiteral("shortcuts"), shortcutList()}},
                 [this](const QVariantMap&) { sessionCreated(); });
}

void PortalHotKeys::portalFailed(const QString& reason) {
    uninstall();
    reportFailure(reason);
}

void PortalHotKeys::uninstall() {
    if (!installed) {
        return;
    }
    installed = false;
    // A session still being created is closed once its answer comes.
    PortalRequest::closeSession(sessionPath);
    sessionPath.clear();
    onPress = nullptr;
    held.clear();
}

void PortalHotKeys::sessionCreated() {
    if (!installed) {
        PortalRequest::closeSession(
            PortalRequest::objectPath(QStringLiteral("session"), sessionToken));
        return;
    }
    request->ask(QStringLiteral("BindShortcuts"),
                 {QVariant::fromValue(QDBusObjectPath(sessionPath)), shortcutList(), QString()}, {},
                 [](const QVariantMap&) {});
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
